# What `cmake --install` puts down and what the Debian package holds: the
# shared library (with its SONAME link and the development link), the
# `corabind` command with its helper and modules, the one public header, a CMake package
# (find_package(Corabind) gives Corabind::corabind), a pkg-config file, the
# README and the docs.
include(CMakePackageConfigHelpers)

install(TARGETS corabind_shared EXPORT CorabindTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS corabind_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The HTML parser helper that the library and the command start.
install(TARGETS corabind_html_parse RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/corabind)
# The modules the command opens when it needs them.
install(TARGETS corabind_smtp LIBRARY DESTINATION ${CORABIND_MODULE_DIR})
if(TARGET corabind_qt_module)
  install(TARGETS corabind_qt_module LIBRARY DESTINATION ${CORABIND_MODULE_DIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/include/corabind/corabind.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corabind)

set(CORABIND_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Corabind)
install(EXPORT CorabindTargets NAMESPACE Corabind:: DESTINATION ${CORABIND_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CorabindConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/CorabindConfig.cmake
                              INSTALL_DESTINATION ${CORABIND_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CorabindConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CorabindConfig.cmake
              ${PROJECT_BINARY_DIR}/CorabindConfigVersion.cmake
        DESTINATION ${CORABIND_CMAKE_DIR})

# The .pc file names its directories below ${prefix}, so a tree installed
# elsewhere with --prefix is found with --define-variable=prefix=...
configure_file(${PROJECT_SOURCE_DIR}/cmake/corabind.pc.in ${PROJECT_BINARY_DIR}/corabind.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/corabind.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Named after the package, as Debian keeps documentation.
set(CORABIND_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/corabind)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CORABIND_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CORABIND_DOC_DIR})

# `scripts/dev package`: one Debian package with the library, the command and
# the development files. Its run-time dependencies are read off the installed
# binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corabind)
set(CPACK_PACKAGE_VENDOR "Corabind developers")
set(CPACK_PACKAGE_CONTACT "Corabind developers <corabind@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for libcorabind.so.1 and the ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The development files need the pkg-config tool only to be found by it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pkg-config")
# The dialogs on a desktop need Qt's platform plugins and the faces they are
# drawn in; runs without a screen (ui scripts, compose, automate) do not.
if(TARGET corabind_qt_module)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, fonts-nanum, fonts-dejavu-core")
endif()
include(CPack)
