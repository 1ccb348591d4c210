# What `cmake --install` installs: the public headers (the targets' header
# file sets, under include/zarn/, with the 1.0 paths forwarding to them), the
# static string library and script frame, zarn_host, the panel functions, the
# panel template and the guides; together the CMake package
# zarn_script_frame. Also the `docs` target (API reference) and the .deb.
include(CMakePackageConfigHelpers)

# The libraries a panel or a host builds against; their HEADERS file sets are
# the public headers, everything else stays inside the libraries.
set(zarn_library_targets zarn_boundary zarn_string script_frame)

set(zarn_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/zarn_script_frame)
set(zarn_package_targets ${zarn_library_targets})
if(TARGET zarn_host)
  list(APPEND zarn_package_targets zarn_host)
endif()
install(TARGETS ${zarn_package_targets} EXPORT zarn_script_frame_targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILE_SET compat DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT zarn_script_frame_targets
  NAMESPACE zarn::
  FILE zarn_script_frameTargets.cmake
  DESTINATION ${zarn_package_dir})

configure_package_config_file(cmake/zarn_script_frameConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/zarn_script_frameConfig.cmake
  INSTALL_DESTINATION ${zarn_package_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zarn_script_frameConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/zarn_script_frameConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/zarn_script_frameConfigVersion.cmake
  cmake/ZarnPanel.cmake
  cmake/ZarnValidate.cmake
  cmake/panel_exports.map
  DESTINATION ${zarn_package_dir})

set(zarn_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/zarn-script-frame-dev)
install(DIRECTORY templates/panel/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zarn_script_frame/panel_template)
install(FILES docs/WRITING_A_PANEL.md docs/VALIDATE.md DESTINATION ${zarn_doc_dir})
install(FILES host/README.md DESTINATION ${zarn_doc_dir} RENAME zarn_host.md)

# API reference of the public headers; any undocumented public type or
# operation fails the build.
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  # The reference names each header as a panel includes it: <zarn/...>.
  zarn_public_headers(ZARN_DOXYGEN_INPUT ZARN_DOXYGEN_INCLUDE_DIRS ${zarn_library_targets})
  list(JOIN ZARN_DOXYGEN_INPUT " " ZARN_DOXYGEN_INPUT)
  list(JOIN ZARN_DOXYGEN_INCLUDE_DIRS " " ZARN_DOXYGEN_INCLUDE_DIRS)
  set(ZARN_DOXYGEN_OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/api)
  configure_file(docs/Doxyfile.in ${CMAKE_CURRENT_BINARY_DIR}/Doxyfile @ONLY)
  add_custom_target(docs
    COMMAND ${DOXYGEN_EXECUTABLE} ${CMAKE_CURRENT_BINARY_DIR}/Doxyfile
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "API reference in ${ZARN_DOXYGEN_OUTPUT}/html"
    VERBATIM)
  # Shipped when it was built before installing.
  install(DIRECTORY ${ZARN_DOXYGEN_OUTPUT}/html/ DESTINATION ${zarn_doc_dir}/api OPTIONAL)
endif()

# `cpack` in the build folder: zarn-script-frame-dev_<version>_<arch>.deb,
# installing under /usr. Its shared-library dependencies (zarn_host's) come
# from dpkg-shlibdeps; a panel build needs a compiler and CMake besides.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME zarn-script-frame-dev)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "Script frame for facility panel libraries: headers, static libraries, CMake package, zarn_host")
  set(CPACK_PACKAGE_CONTACT "ZARN panel frame maintainers <zarn-panels@example.org>")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "cmake (>= 3.20), g++ (>= 4:12)")
  include(CPack)
endif()
