# cmake -DBUILD_DIR=... -DDEB=... -P build_package.cmake
# A fresh package each time, so that a test never looks at an old one.
file(REMOVE_RECURSE "${BUILD_DIR}/package")
execute_process(COMMAND cpack --config "${BUILD_DIR}/CPackConfig.cmake" -B "${BUILD_DIR}/package"
                WORKING_DIRECTORY "${BUILD_DIR}" COMMAND_ERROR_IS_FATAL ANY)
if(NOT EXISTS "${DEB}")
  message(FATAL_ERROR "cpack did not make ${DEB}")
endif()
