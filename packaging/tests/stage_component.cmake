# cmake -DSTAGE_DIR=... -DBUILD_DIR=... -DCOMPONENT=... -P stage_component.cmake
# Lays out one install component alone, as on a host, in a fresh folder.
file(REMOVE_RECURSE "${STAGE_DIR}")
file(MAKE_DIRECTORY "${STAGE_DIR}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${STAGE_DIR}" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --component "${COMPONENT}"
  COMMAND_ERROR_IS_FATAL ANY)
