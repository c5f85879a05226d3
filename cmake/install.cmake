# What `cmake --install` puts down and what the Debian package holds: the
# shared library (with its SONAME link and the development link), the
# `corabind` command with its helper and modules, the one public header, a CMake package
# (find_package(Corabind) gives Corabind::corabind), a pkg-config file, the
# README and the docs, the manual page and the bash completion.
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

# The manual page and the bash completion of the command.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/corabind.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/bash-completion/corabind
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)

# The Debian packages are made from this installed tree by
# packaging/debian/make-debs (`scripts/dev package`).
