cmake_policy(VERSION 3.20)
# zarn_host new-panel: a panel from the template under a new name, renamed in
# file names and contents, and its usage errors. Variables: HOST, TEMPLATE,
# WORK; optional EMULATOR (wine for a Windows build).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
function(run expect_rc)
  execute_process(COMMAND ${EMULATOR} ${HOST} new-panel ${ARGN} --template ${TEMPLATE}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc STREQUAL expect_rc)
    message(FATAL_ERROR "zarn_host new-panel ${ARGN}: exit ${rc}, expected ${expect_rc}\n${out}${err}")
  endif()
  if(NOT expect_rc STREQUAL 0 AND NOT err MATCHES "^zarn_host new-panel: [^\n]+\n$")
    message(FATAL_ERROR "zarn_host new-panel ${ARGN}: no one-line diagnostic\n${err}")
  endif()
endfunction()

run(0 studio_x ${WORK}/studio_x)
foreach(file studio_x.cpp studio_x.zarn_ui CMakeLists.txt README.md demo.scenario facility.json)
  if(NOT EXISTS ${WORK}/studio_x/${file})
    message(FATAL_ERROR "new-panel made no ${file}")
  endif()
endforeach()
file(GLOB_RECURSE made RELATIVE ${WORK}/studio_x ${WORK}/studio_x/*)
foreach(file ${made})
  if(file MATCHES "my_panel")
    message(FATAL_ERROR "new-panel left the name my_panel in ${file}")
  endif()
  file(READ ${WORK}/studio_x/${file} text)
  if(text MATCHES "my_panel")
    message(FATAL_ERROR "new-panel left my_panel in the text of ${file}")
  endif()
endforeach()
# The README is the new panel's, not the template's.
file(READ ${WORK}/studio_x/README.md readme)
if(NOT readme MATCHES "^# studio_x\nA panel of its own, made with `zarn_host new-panel`" OR readme MATCHES "<!--|Panel template|renamed")
  message(FATAL_ERROR "new-panel did not write the README for studio_x:\n${readme}")
endif()
# The lines that must agree with the renamed files.
# (Written with the semicolon apart: it would split a CMake list.)
set(semicolon ";")
set(expected
  "studio_x.cpp|constexpr char panelFile[] = \"studio_x.zarn_ui\"<semicolon>"
  "CMakeLists.txt|zarn_add_panel(studio_x SOURCES studio_x.cpp)"
  "CMakeLists.txt|zarn_add_panel_validation(studio_x.validate PANEL studio_x FACILITY facility.json)")
foreach(pair ${expected})
  string(FIND "${pair}" "|" bar)
  string(SUBSTRING "${pair}" 0 ${bar} file)
  math(EXPR bar "${bar} + 1")
  string(SUBSTRING "${pair}" ${bar} -1 line)
  string(REPLACE "<semicolon>" "${semicolon}" line "${line}")
  file(READ ${WORK}/studio_x/${file} text)
  string(FIND "\n${text}" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${file} lacks the line: ${line}")
  endif()
endforeach()

# Refused: a folder already holding files, names that cannot name a class
# and a target, a template folder without a template.
run(2 studio_x ${WORK}/studio_x)
foreach(name 9lives a-b "a b" "x/../y")
  run(2 "${name}" ${WORK}/refused)
endforeach()
if(EXISTS ${WORK}/refused)
  message(FATAL_ERROR "a refused name left ${WORK}/refused behind")
endif()
execute_process(COMMAND ${EMULATOR} ${HOST} new-panel studio_y ${WORK}/studio_y --template ${WORK}
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc STREQUAL 2 OR NOT err MATCHES "no panel template in")
  message(FATAL_ERROR "a folder without a template: exit ${rc}\n${err}")
endif()
