# Fails unless load_zarn_client_script is the only dynamic symbol LIBRARY
# defines, apart from those the toolchain and the sanitizer runtimes add.
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(ours "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
    set(symbol "${CMAKE_MATCH_1}")
    if(NOT symbol MATCHES "^(_init|_fini|__bss_start|_edata|_end|__end__)$"
       AND NOT symbol MATCHES "^__(asan|ubsan|lsan|sanitizer|interceptor)_")
      list(APPEND ours "${symbol}")
    endif()
  endif()
endforeach()
if(NOT ours STREQUAL "load_zarn_client_script")
  message(FATAL_ERROR "${LIBRARY} exports [${ours}], expected only load_zarn_client_script")
endif()
