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
find_program(ZARN_WINE wine)
if(ZARN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZARN_WINE})
endif()
