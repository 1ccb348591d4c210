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
# Two export sets: the boundary header and zarn_host (zarn_script_frameTargets.cmake),
# and the two static libraries (zarn_script_frameLibraries.cmake), which a
# package with the libraries' sources can build with the consumer's compiler
# instead (ZarnFromSource.cmake).
set(zarn_package_targets zarn_boundary)
if(TARGET zarn_host)
  list(APPEND zarn_package_targets zarn_host)
endif()
set(zarn_install_destinations
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILE_SET compat DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS ${zarn_package_targets} EXPORT zarn_script_frame_targets ${zarn_install_destinations})
install(TARGETS zarn_string script_frame EXPORT zarn_script_frame_libraries ${zarn_install_destinations})
install(EXPORT zarn_script_frame_targets NAMESPACE zarn:: FILE zarn_script_frameTargets.cmake
  DESTINATION ${zarn_package_dir})
install(EXPORT zarn_script_frame_libraries NAMESPACE zarn:: FILE zarn_script_frameLibraries.cmake
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
set(zarn_data_dir ${CMAKE_INSTALL_DATADIR}/zarn_script_frame)
# The panel file schema: beside the template's panel file, whose "$schema"
# names it, so that a copied template finds it too.
install(DIRECTORY templates/panel/ DESTINATION ${zarn_data_dir}/panel_template)
install(FILES schema/zarn_ui.schema.json DESTINATION ${zarn_data_dir})
install(FILES schema/zarn_ui.schema.json DESTINATION ${zarn_data_dir}/panel_template)
# The installed guides name only installed files (tools/check-installed-docs.sh).
install(FILES docs/WRITING_A_PANEL.md docs/VALIDATE.md docs/PANEL_FILE.md docs/GLOSSARY.md DESTINATION ${zarn_doc_dir})
install(FILES host/README.md DESTINATION ${zarn_doc_dir} RENAME zarn_host.md)

# zarn_host's manual page and the package's changelog, compressed as Debian
# wants them (gzip -9n: no name, no time stamp, the same bytes every build).
find_program(ZARN_GZIP gzip)
# The Debian packaging revision of this version (the .deb's version is
# <version>-<revision>).
set(ZARN_DEB_RELEASE 1)
if(TARGET zarn_host_man AND ZARN_GZIP AND NOT WIN32)
  set(ZARN_DEB_VERSION ${PROJECT_VERSION}-${ZARN_DEB_RELEASE})
  set(zarn_package_files ${CMAKE_CURRENT_BINARY_DIR}/package)
  configure_file(debian/changelog.in ${zarn_package_files}/changelog.Debian @ONLY)
  # The man page's synopsis, options and exit statuses come from zarn_host's
  # own command-line definitions, written by zarn_host_man.
  add_custom_command(OUTPUT ${zarn_package_files}/zarn_host.1
    COMMAND zarn_host_man ${PROJECT_SOURCE_DIR}/docs/zarn_host.1.in ${zarn_package_files}/zarn_host.1
            ${PROJECT_VERSION}
    DEPENDS zarn_host_man ${PROJECT_SOURCE_DIR}/docs/zarn_host.1.in
    VERBATIM)
  foreach(file zarn_host.1 changelog.Debian)
    add_custom_command(OUTPUT ${zarn_package_files}/${file}.gz
      COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$1.gz\"" ${ZARN_GZIP} ${file}
      DEPENDS ${zarn_package_files}/${file}
      WORKING_DIRECTORY ${zarn_package_files}
      VERBATIM)
  endforeach()
  add_custom_target(zarn_package_files ALL
    DEPENDS ${zarn_package_files}/zarn_host.1.gz ${zarn_package_files}/changelog.Debian.gz)
  install(FILES ${zarn_package_files}/zarn_host.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${zarn_package_files}/changelog.Debian.gz debian/copyright DESTINATION ${zarn_doc_dir})
  # What lintian is told to accept in the package, each with its reason.
  install(FILES debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME zarn-script-frame-dev)
endif()

# API reference of the public headers; any undocumented public type or
# operation fails the build.
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  # The reference names each header as a panel includes it: <zarn/...>.
  zarn_public_headers(ZARN_DOXYGEN_INPUT ZARN_DOXYGEN_INCLUDE_DIRS ${zarn_library_targets})
  # The guide is the main page; beside it the panel file reference, the
  # validator, the glossary, the groups and the template as an example.
  foreach(page WRITING_A_PANEL.md PANEL_FILE.md VALIDATE.md GLOSSARY.md api.dox)
    list(APPEND ZARN_DOXYGEN_INPUT ${PROJECT_SOURCE_DIR}/docs/${page})
  endforeach()
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
  # Packaging revision 1 of the upstream version: the changelog is
  # changelog.Debian.gz, and the file zarn-script-frame-dev_<version>-1_<arch>.deb.
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${ZARN_DEB_RELEASE})
  # Without debug symbols: cpack installs with install/strip.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zarn-panels.example.org/")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SDK for building panel libraries of a facility control system")
  # The extended description; CPack puts the summary line before it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Everything needed to build, run and check a panel library outside the
facility: the public headers of the script frame and its string library,
the static libraries zarn_string and zarn_script_frame, the CMake package
zarn_script_frame with the functions zarn_add_panel,
zarn_add_panel_scenario and zarn_add_panel_validation, and zarn_host, a
simulated panel host that runs a panel against a model facility, plays
scenarios and validates a library's use of the host protocol. Also the
panel template, the panel file schema, the guides and the API reference.")
  set(CPACK_PACKAGE_CONTACT "ZARN panel frame maintainers <zarn-panels@example.org>")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "cmake (>= 3.20), g++ (>= 4:12)")
  include(CPack)
elseif(WIN32)
  # `cpack` in a Windows build folder: zarn-script-frame-sdk-<version>-win32.zip
  # (or -win64), the same install unpacked anywhere: bin/zarn_host.exe, the
  # static libraries for this compiler, include/, the CMake package under
  # lib/cmake/zarn_script_frame, the template, the guides, and the mingw-w64
  # toolchain files for a cross build of a panel.
  install(FILES cmake/toolchains/mingw-common.cmake cmake/toolchains/mingw-i686.cmake
          cmake/toolchains/mingw-x86_64.cmake DESTINATION ${zarn_data_dir}/toolchains)
  # The two libraries' sources with their private headers, for a compiler the
  # static libraries are not for (Microsoft's): ZARN_BUILD_FROM_SOURCE in the
  # package builds them (ZarnFromSource.cmake).
  foreach(library zarn_string script_frame)
    get_target_property(sources ${library} SOURCES)
    get_target_property(source_dir ${library} SOURCE_DIR)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    list(TRANSFORM sources PREPEND ${source_dir}/ REGEX "^[^/]")
    file(GLOB private_headers ${source_dir}/*.h)
    install(FILES ${sources} ${private_headers} DESTINATION ${zarn_data_dir}/src/${library})
  endforeach()
  file(RELATIVE_PATH ZARN_SOURCES_FROM_PACKAGE /prefix/${zarn_package_dir} /prefix/${zarn_data_dir}/src)
  configure_file(cmake/ZarnFromSource.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/ZarnFromSource.cmake @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ZarnFromSource.cmake DESTINATION ${zarn_package_dir})
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(zarn_windows win64)
  else()
    set(zarn_windows win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME zarn-script-frame-sdk)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_FILE_NAME zarn-script-frame-sdk-${PROJECT_VERSION}-${zarn_windows})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
endif()
