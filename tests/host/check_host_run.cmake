# Runs zarn_host and checks the run. Variables:
#   HOST           the zarn_host executable
#   EMULATOR       optional program that runs HOST (wine for a Windows build)
#   ARGS           its arguments, separated by "|"
#   EXPECT_EXIT    the exit code expected
#   EXPECT_OUTPUT  optional regular expression the output (stdout and stderr) must match
#   INPUT          optional file piped to standard input
#   TRACE, GOLDEN  optional: the trace written by the run is compared with the golden file;
#                  with UPDATE_GOLDEN=ON the golden file is replaced instead.
#   TRACE_RENAME   optional "<from>|<to>": the panel library's file name in the trace is
#                  replaced before the comparison (k7_mon.dll stands for libk7_mon.so)
string(REPLACE "|" ";" args "${ARGS}")
set(input)
if(DEFINED INPUT)
  set(input INPUT_FILE ${INPUT})
endif()
execute_process(COMMAND ${EMULATOR} ${HOST} ${args} ${input} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
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
    if(DEFINED TRACE_RENAME)
      string(REPLACE "|" ";" rename "${TRACE_RENAME}")
      list(GET rename 0 from)
      list(GET rename 1 to)
      file(READ "${TRACE}" content)
      string(REPLACE "<- load ${from} " "<- load ${to} " content "${content}")
      file(WRITE "${TRACE}" "${content}")
    endif()
    execute_process(COMMAND diff -u "${GOLDEN}" "${TRACE}" RESULT_VARIABLE differs OUTPUT_VARIABLE diff)
    if(differs)
      message(FATAL_ERROR "the trace differs from ${GOLDEN} (regenerate with the target "
                          "host_golden_update if the change is intended):\n${diff}")
    endif()
  endif()
endif()
