# zarn_add_panel_validation(NAME <test> PANEL <target> [FACILITY <file>] [PANEL_DIR <dir>] [ARGS ...]):
# a CTest test that runs "zarn_host validate" on the panel library built by
# <target>. The host is the zarn_host target when the build has one, else
# ZARN_HOST_EXECUTABLE. Failed tests leave their scenarios in the test's
# binary folder.
set(ZARN_HOST_EXECUTABLE "" CACHE FILEPATH "zarn_host used by zarn_add_panel_validation without a zarn_host target")

function(zarn_add_panel_validation)
  cmake_parse_arguments(VALIDATE "" "NAME;PANEL;FACILITY;PANEL_DIR" "ARGS" ${ARGN})
  if(NOT VALIDATE_NAME OR NOT VALIDATE_PANEL)
    message(FATAL_ERROR "zarn_add_panel_validation needs NAME and PANEL")
  endif()
  if(TARGET zarn_host)
    set(host $<TARGET_FILE:zarn_host>)
  elseif(ZARN_HOST_EXECUTABLE)
    set(host ${ZARN_HOST_EXECUTABLE})
  else()
    message(STATUS "zarn_add_panel_validation: no zarn_host; ${VALIDATE_NAME} left out")
    return()
  endif()
  set(args)
  if(VALIDATE_FACILITY)
    list(APPEND args --facility ${VALIDATE_FACILITY})
  endif()
  if(VALIDATE_PANEL_DIR)
    list(APPEND args --panel-dir ${VALIDATE_PANEL_DIR})
  endif()
  add_test(NAME ${VALIDATE_NAME}
    COMMAND ${host} validate $<TARGET_FILE:${VALIDATE_PANEL}> --only-failed ${args} ${VALIDATE_ARGS}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${VALIDATE_NAME} PROPERTIES TIMEOUT 600)
endfunction()
