# zarn_add_panel_validation(<test name> PANEL <target> [FACILITY <file>] [PANEL_DIR <dir>]
#                           [ARGS <zarn_host validate option>...])
#
# A CTest test that runs "zarn_host validate" on the panel library built by
# <target>: it passes when the panel passes every test of the battery. Without
# FACILITY the validator's built-in facility answers the look-ups. Relative
# paths are taken from the calling directory's source folder. The host is the
# zarn::zarn_host target (this build's or the installed package's), else
# ZARN_HOST_EXECUTABLE. Failed tests leave their scenarios in the calling
# directory's binary folder.
set(ZARN_HOST_EXECUTABLE "" CACHE FILEPATH "zarn_host used by zarn_add_panel_validation without a zarn_host target")

function(zarn_add_panel_validation name)
  cmake_parse_arguments(PARSE_ARGV 1 VALIDATE "" "PANEL;FACILITY;PANEL_DIR" "ARGS")
  if(VALIDATE_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zarn_add_panel_validation(${name}): unknown arguments ${VALIDATE_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT VALIDATE_PANEL)
    message(FATAL_ERROR "zarn_add_panel_validation(${name}): PANEL is required")
  endif()
  if(TARGET zarn::zarn_host)
    # By target name, so that a cross build runs it through its CROSSCOMPILING_EMULATOR.
    set(host zarn::zarn_host)
  elseif(ZARN_HOST_EXECUTABLE)
    set(host ${ZARN_HOST_EXECUTABLE})
  else()
    message(FATAL_ERROR "zarn_add_panel_validation(${name}): zarn_host is not part of this build or package")
  endif()
  set(args)
  if(VALIDATE_FACILITY)
    get_filename_component(facility ${VALIDATE_FACILITY} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND args --facility ${facility})
  endif()
  if(VALIDATE_PANEL_DIR)
    get_filename_component(panel_dir ${VALIDATE_PANEL_DIR} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND args --panel-dir ${panel_dir})
  endif()
  add_test(NAME ${name}
    COMMAND ${host} validate $<TARGET_FILE:${VALIDATE_PANEL}> --only-failed ${args} ${VALIDATE_ARGS}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
