# Runs zarn_host validate on a broken panel and checks that exactly the
# expected test failed, that it left a scenario, and (with REPLAY) that
# zarn_host fails with a fault or a crash, not a usage error, when it replays
# that scenario. Variables: HOST, PANEL, EXPECT_FAILED, REPLAY, WORK;
# optional EMULATOR (the program that runs HOST, wine for a Windows build),
# ARGS (more arguments, separated by "|"), EXPECT_CAUSE (a regular
# expression the failure's cause matches), EXPECT_OUTPUT (one the report
# matches), REPLAY_SHOWS (without REPLAY: the replay runs, and its trace
# matches this regular expression) and FACILITY (the facility file, for the
# validator and the replay).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
string(REPLACE "|" ";" args "${ARGS}")
set(facility)
if(DEFINED FACILITY)
  set(facility --facility ${FACILITY})
endif()
execute_process(COMMAND ${EMULATOR} ${HOST} validate ${PANEL} ${facility} --only-failed --json ${WORK}/results.json --repro-dir ${WORK} ${args}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc STREQUAL 1)
  message(FATAL_ERROR "zarn_host validate exited with ${rc}, expected 1\n${out}")
endif()
file(READ ${WORK}/results.json json)
string(JSON count LENGTH "${json}" tests)
math(EXPR last "${count} - 1")
set(failed)
foreach(i RANGE ${last})
  string(JSON result GET "${json}" tests ${i} result)
  if(result STREQUAL "fail")
    string(JSON name GET "${json}" tests ${i} name)
    string(JSON cause GET "${json}" tests ${i} cause)
    list(APPEND failed ${name})
  endif()
endforeach()
if(NOT failed STREQUAL EXPECT_FAILED)
  message(FATAL_ERROR "expected ${EXPECT_FAILED} alone to fail; failed: ${failed}\n${out}")
endif()
if(DEFINED EXPECT_CAUSE AND NOT cause MATCHES "${EXPECT_CAUSE}")
  message(FATAL_ERROR "${EXPECT_FAILED} failed for \"${cause}\", expected \"${EXPECT_CAUSE}\"\n${out}")
endif()
if(DEFINED EXPECT_OUTPUT AND NOT out MATCHES "${EXPECT_OUTPUT}")
  message(FATAL_ERROR "the report does not match \"${EXPECT_OUTPUT}\"\n${out}")
endif()
set(scenario ${WORK}/validate-${EXPECT_FAILED}.scenario)
if(NOT EXISTS ${scenario} OR NOT out MATCHES "reproduce: zarn_host ")
  message(FATAL_ERROR "no reproduction of ${EXPECT_FAILED}\n${out}")
endif()
if(REPLAY)
  execute_process(COMMAND ${EMULATOR} ${HOST} --quiet --panel ${PANEL} ${facility} --scenario ${scenario}
    RESULT_VARIABLE replay OUTPUT_VARIABLE replay_out ERROR_VARIABLE replay_err)
  if(replay STREQUAL 0)
    message(FATAL_ERROR "replaying ${scenario} passed; it should fail as the test did\n${replay_out}")
  endif()
  # 2 is a usage, load or scenario error: the replay never reached the fault.
  if(replay STREQUAL 2)
    message(FATAL_ERROR "replaying ${scenario} did not run\n${replay_out}\n${replay_err}")
  endif()
endif()
if(DEFINED REPLAY_SHOWS)
  execute_process(COMMAND ${EMULATOR} ${HOST} --panel ${PANEL} --scenario ${scenario}
    RESULT_VARIABLE replay OUTPUT_VARIABLE replay_out ERROR_VARIABLE replay_err)
  if(replay STREQUAL 2 OR NOT "${replay_out}${replay_err}" MATCHES "${REPLAY_SHOWS}")
    message(FATAL_ERROR "replaying ${scenario} does not show \"${REPLAY_SHOWS}\"\n${replay_out}\n${replay_err}")
  endif()
endif()
message(STATUS "${EXPECT_FAILED} failed alone:\n${out}")
