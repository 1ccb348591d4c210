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
include(${CMAKE_CURRENT_LIST_DIR}/ZarnPanel.cmake)

function(zarn_add_panel_validation name)
  cmake_parse_arguments(PARSE_ARGV 1 VALIDATE "" "PANEL;FACILITY;PANEL_DIR" "ARGS")
  _zarn_check_arguments("zarn_add_panel_validation(${name})" VALIDATE PANEL)
  _zarn_host_command(host "zarn_add_panel_validation(${name})")
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
