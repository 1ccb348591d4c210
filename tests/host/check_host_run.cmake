# Runs zarn_host and checks the run. Variables:
#   HOST           the zarn_host executable
#   ARGS           its arguments, separated by "|"
#   EXPECT_EXIT    the exit code expected
#   EXPECT_OUTPUT  optional regular expression the output (stdout and stderr) must match
#   INPUT          optional file piped to standard input
#   TRACE, GOLDEN  optional: the trace written by the run is compared with the golden file;
#                  with UPDATE_GOLDEN=ON the golden file is replaced instead.
string(REPLACE "|" ";" args "${ARGS}")
set(input)
if(DEFINED INPUT)
  set(input INPUT_FILE ${INPUT})
endif()
execute_process(COMMAND ${HOST} ${args} ${input} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc STREQUAL EXPECT_EXIT)
  message(FATAL_ERROR "zarn_host exited with ${rc}, expected ${EXPECT_EXIT}\n${out}\n${err}")
endif()
if(DEFINED EXPECT_OUTPUT AND NOT "${out}${err}" MATCHES "${EXPECT_OUTPUT}")
  message(FATAL_ERROR "output does not match \"${EXPECT_OUTPUT}\":\n${out}\n${err}")
endif()
if(DEFINED GOLDEN)
  if(UPDATE_GOLDEN)
    file(COPY_FILE "${TRACE}" "${GOLDEN}")
    message(STATUS "updated ${GOLDEN}")
  else()
    execute_process(COMMAND diff -u "${GOLDEN}" "${TRACE}" RESULT_VARIABLE differs OUTPUT_VARIABLE diff)
    if(differs)
      message(FATAL_ERROR "the trace differs from ${GOLDEN} (regenerate with the target "
                          "host_golden_update if the change is intended):\n${diff}")
    endif()
  endif()
endif()
