# Shared part of the mingw-w64 toolchain files; ZARN_MINGW_TRIPLE names the target.
set(CMAKE_C_COMPILER ${ZARN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARN_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${ZARN_MINGW_TRIPLE}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${ZARN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine; its prefix lives in the build folder so a
# build never touches the user's own.
# A 64-bit program runs through wine64 where there is one: Debian's wine
# script hands it to a second process, which a stop signal (Ctrl+C, a test's
# end) never reaches.
if(ZARN_MINGW_TRIPLE MATCHES "^x86_64")
  find_program(ZARN_WINE64 wine64 PATHS /usr/lib/wine)
  set(zarn_wine ${ZARN_WINE64})
endif()
if(NOT zarn_wine)
  find_program(ZARN_WINE wine)
  set(zarn_wine ${ZARN_WINE})
endif()
if(zarn_wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${zarn_wine})
endif()
