# The functions that build a panel and register its scenario tests. The same
# file serves the in-tree build and the installed zarn_script_frame package,
# so a panel builds the same way in both.
include_guard(GLOBAL)

# Found again at call time, from whichever directory the caller is in.
set_property(GLOBAL PROPERTY ZARN_PANEL_EXPORTS_MAP "${CMAKE_CURRENT_LIST_DIR}/panel_exports.map")
set(ZARN_HOST_EXECUTABLE "" CACHE FILEPATH "zarn_host run by the panel tests when there is no zarn_host target")

# Stops the configuration, naming the call, when the arguments parsed under
# <prefix> hold unknown ones or lack a required keyword.
macro(_zarn_check_arguments call prefix)
  if(${prefix}_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "${call}: unknown arguments ${${prefix}_UNPARSED_ARGUMENTS}")
  endif()
  foreach(_zarn_required ${ARGN})
    if(NOT ${prefix}_${_zarn_required})
      message(FATAL_ERROR "${call}: ${_zarn_required} is required")
    endif()
  endforeach()
endmacro()

# Sets <variable> to the zarn_host a panel test runs: the zarn::zarn_host
# target (this build's or the installed package's) by name, so that a cross
# build runs it through its CROSSCOMPILING_EMULATOR; else ZARN_HOST_EXECUTABLE.
function(_zarn_host_command variable call)
  if(TARGET zarn::zarn_host)
    set(${variable} zarn::zarn_host PARENT_SCOPE)
  elseif(ZARN_HOST_EXECUTABLE)
    set(${variable} ${ZARN_HOST_EXECUTABLE} PARENT_SCOPE)
  else()
    message(FATAL_ERROR "${call}: zarn_host is not part of this build or package")
  endif()
endfunction()

# zarn_add_panel(<name> SOURCES ... [VERSION_RESOURCE <file.rc>])
#
# A loadable panel library named after the panel. It links the string library
# and the script frame statically and exports load_zarn_client_script alone.
# VERSION_RESOURCE is compiled into the library on Windows and ignored
# elsewhere.
function(zarn_add_panel name)
  cmake_parse_arguments(PARSE_ARGV 1 PANEL "" "VERSION_RESOURCE" "SOURCES")
  _zarn_check_arguments("zarn_add_panel(${name})" PANEL SOURCES)
  add_library(${name} SHARED ${PANEL_SOURCES})
  add_library(zarn::${name} ALIAS ${name})
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_compile_features(${name} PRIVATE cxx_std_17)
  target_link_libraries(${name} PRIVATE zarn::script_frame)
  # The project's own warning settings, when built inside the project.
  if(TARGET zarn::compile_options)
    target_link_libraries(${name} PRIVATE zarn::compile_options)
  endif()

  if(WIN32)
    # Windows: <name>.dll without a prefix, the C++ runtime linked in so it
    # imports system DLLs only. The linker exports the dllexport entry point
    # alone, and a PE link fails on unresolved symbols anyway. The version
    # resource carries the panel's file description.
    set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "")
    if(MSVC)
      # Microsoft's compiler or clang-cl: the static C and C++ runtime.
      set_target_properties(${name} PROPERTIES MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    else()
      target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
    if(PANEL_VERSION_RESOURCE)
      target_sources(${name} PRIVATE ${PANEL_VERSION_RESOURCE})
    endif()
  else()
    # A version script keeps every symbol but the entry point local.
    get_property(exports_map GLOBAL PROPERTY ZARN_PANEL_EXPORTS_MAP)
    set_target_properties(${name} PROPERTIES PREFIX "lib" LINK_DEPENDS ${exports_map})
    target_link_options(${name} PRIVATE "LINKER:--version-script=${exports_map}")
    # Unresolved symbols fail at link time, not in the host. Clang's sanitizer
    # runtimes live in the executable, so the check is left out there.
    if(NOT (ZARN_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
      target_link_options(${name} PRIVATE "LINKER:-z,defs")
    endif()
  endif()
endfunction()

# zarn_add_panel_scenario(<test name> PANEL <target> FACILITY <file> SCENARIO <file>
#                         [WORKING_DIRECTORY <dir>] [ARGS <zarn_host option>...])
#
# A CTest test that runs the scenario against the panel under zarn_host. It
# passes when every expectation holds and the panel keeps the protocol (the
# host exits 0). Relative paths are taken from WORKING_DIRECTORY, by default
# the calling directory's source folder; the host hands the facility file's
# folder to the panel as it was written.
function(zarn_add_panel_scenario name)
  cmake_parse_arguments(PARSE_ARGV 1 RUN "" "PANEL;FACILITY;SCENARIO;WORKING_DIRECTORY" "ARGS")
  _zarn_check_arguments("zarn_add_panel_scenario(${name})" RUN PANEL FACILITY SCENARIO)
  _zarn_host_command(host "zarn_add_panel_scenario(${name})")
  if(NOT RUN_WORKING_DIRECTORY)
    set(RUN_WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  add_test(NAME ${name}
    COMMAND ${host} --panel $<TARGET_FILE:${RUN_PANEL}> --facility ${RUN_FACILITY}
            --scenario ${RUN_SCENARIO} ${RUN_ARGS}
    WORKING_DIRECTORY ${RUN_WORKING_DIRECTORY})
endfunction()
