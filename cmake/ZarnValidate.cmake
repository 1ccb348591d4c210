# zarn_add_panel_validation(NAME <test> PANEL <target> [FACILITY <file>] [PANEL_DIR <dir>] [ARGS ...]):
# a CTest test that runs "zarn_host validate" on the panel library built by
# <target>. The host is the zarn::zarn_host target (this build's or the
# installed package's), else ZARN_HOST_EXECUTABLE. Relative FACILITY and
# PANEL_DIR are taken from the calling directory's source folder. Failed tests
# leave their scenarios in the test's binary folder.
set(ZARN_HOST_EXECUTABLE "" CACHE FILEPATH "zarn_host used by zarn_add_panel_validation without a zarn_host target")

function(zarn_add_panel_validation)
  cmake_parse_arguments(VALIDATE "" "NAME;PANEL;FACILITY;PANEL_DIR" "ARGS" ${ARGN})
  if(NOT VALIDATE_NAME OR NOT VALIDATE_PANEL)
    message(FATAL_ERROR "zarn_add_panel_validation needs NAME and PANEL")
  endif()
  if(TARGET zarn::zarn_host)
    # By target name, so that a cross build runs it through its CROSSCOMPILING_EMULATOR.
    set(host zarn::zarn_host)
  elseif(ZARN_HOST_EXECUTABLE)
    set(host ${ZARN_HOST_EXECUTABLE})
  else()
    message(STATUS "zarn_add_panel_validation: no zarn_host; ${VALIDATE_NAME} left out")
    return()
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
  add_test(NAME ${VALIDATE_NAME}
    COMMAND ${host} validate $<TARGET_FILE:${VALIDATE_PANEL}> --only-failed ${args} ${VALIDATE_ARGS}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${VALIDATE_NAME} PROPERTIES TIMEOUT 600)
endfunction()
