# cmake -DSTAGE_DIR=... -DBUILD_DIR=... -P stage_product.cmake
# A fresh stage each time, so that files the build no longer installs do not
# linger in every host.  A host holds the product and the stand-ins of the
# platform; a plain install lays out only the product, so both components
# are named.
file(REMOVE_RECURSE "${STAGE_DIR}")
file(MAKE_DIRECTORY "${STAGE_DIR}")
foreach(component zarncfg hostsim)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${STAGE_DIR}" ${CMAKE_COMMAND} --install "${BUILD_DIR}"
            --component ${component}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# A host takes /usr from the real system, so the product's manual page and
# completion there would be hidden in it anyway; the package tests cover them.
file(REMOVE_RECURSE "${STAGE_DIR}/usr")
