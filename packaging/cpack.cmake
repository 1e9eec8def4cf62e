# The Debian package: install component zarncfg only, so the stand-ins of
# the simulated hosts never reach it.  Build it with
#   cpack --config <build>/CPackConfig.cmake -B <build>/package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarncfg)
set(CPACK_PACKAGE_VENDOR "Zarn")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration program of the Zarn host-security product")
# The extended description, in lines short enough for package tools.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "zarncfg joins a host to a Varden Policy Server and configures the Zarn"
  "daemons: their configuration files, the registration of the security"
  "daemon, the default policy, the run-level links and the login policy. It"
  "also reconfigures, deletes settings and configures the log router daemon."
  "The package holds the program, its policy command files, the init scripts,"
  "the manual page, the explanation of every message, bash completion and log"
  "rotation.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL zarncfg)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

set(CPACK_DEBIAN_PACKAGE_NAME zarncfg)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zarn packaging <packaging@zarn.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: the shared libraries the program links, found by dpkg-shlibdeps;
# libpq, which it loads only for a store on PostgreSQL, so that
# dpkg-shlibdeps does not see it; and adduser for the maintainer script that
# creates the brevik account.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libpq5")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "logrotate")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/debian/conffiles ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles COPYONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst ${CMAKE_CURRENT_BINARY_DIR}/debian/postinst COPYONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm ${CMAKE_CURRENT_BINARY_DIR}/debian/postrm COPYONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles
    ${CMAKE_CURRENT_BINARY_DIR}/debian/postinst
    ${CMAKE_CURRENT_BINARY_DIR}/debian/postrm)

include(CPack)
