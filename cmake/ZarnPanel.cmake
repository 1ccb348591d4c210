# zarn_add_panel(<name> SOURCES ...): a loadable panel library named after the
# panel. It links the string library and the script frame statically and
# exports load_zarn_client_script alone (version script + hidden visibility).
function(zarn_add_panel name)
  cmake_parse_arguments(PANEL "" "" "SOURCES" ${ARGN})
  add_library(${name} SHARED ${PANEL_SOURCES})
  add_library(zarn::${name} ALIAS ${name})
  set_target_properties(${name} PROPERTIES
    PREFIX "lib"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/panel_exports.map)
  target_link_libraries(${name} PRIVATE zarn::script_frame zarn::compile_options)
  if(WIN32)
    zarn_windows_panel(${name})
    return()
  endif()
  target_link_options(${name} PRIVATE
    "LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/panel_exports.map")
  # Unresolved symbols fail at link time, not in the host. Clang's sanitizer
  # runtimes live in the executable, so the check is left out there.
  if(NOT (ZARN_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
    target_link_options(${name} PRIVATE "LINKER:-z,defs")
  endif()
endfunction()

# The Windows form of a panel: <name>.dll without a prefix, the C++ runtime
# linked in so it imports system DLLs only. The linker exports the dllexport
# entry point alone, and a PE link fails on unresolved symbols anyway.
function(zarn_windows_panel name)
  set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "")
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()
