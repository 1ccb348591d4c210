# With BUILD_DIR: installs that build into PREFIX (emptied first).
# With TEMPLATE: copies the panel template to WORK, configures it against the
# package in PREFIX with the compiler CXX, builds it and runs its tests.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${result}): ${command}")
  endif()
endfunction()

if(BUILD_DIR)
  file(REMOVE_RECURSE ${PREFIX})
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
  return()
endif()

file(REMOVE_RECURSE ${WORK})
file(COPY ${TEMPLATE}/ DESTINATION ${WORK}/source)
run(${CMAKE_COMMAND} -S ${WORK}/source -B ${WORK}/build -DCMAKE_PREFIX_PATH=${PREFIX}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK}/build)
run(${CMAKE_CTEST_COMMAND} --test-dir ${WORK}/build --output-on-failure)
