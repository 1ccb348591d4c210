# The host's header-only libraries for a Windows cross build. Debian installs
# them for the build machine under /usr/include; putting that folder on the
# include path would mix the build machine's C library headers into the
# Windows build, so a folder holding links to just these libraries stands in
# for it.
set(zarn_cross_include ${CMAKE_BINARY_DIR}/cross-include)
file(MAKE_DIRECTORY ${zarn_cross_include})
foreach(folder nlohmann CLI)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: install nlohmann-json3-dev and libcli11-dev")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${zarn_cross_include}/${folder} SYMBOLIC)
endforeach()
# Standalone Asio, for the bridges: its folder and its one header beside it.
foreach(entry asio asio.hpp)
  if(NOT EXISTS /usr/include/${entry})
    message(FATAL_ERROR "/usr/include/${entry} is missing: install libasio-dev")
  endif()
  file(CREATE_LINK /usr/include/${entry} ${zarn_cross_include}/${entry} SYMBOLIC)
endforeach()
set(ZARN_CROSS_ASIO_INCLUDE ${zarn_cross_include})
foreach(library nlohmann_json::nlohmann_json CLI11::CLI11)
  if(NOT TARGET ${library})
    add_library(${library} INTERFACE IMPORTED)
    set_target_properties(${library} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${zarn_cross_include})
  endif()
endforeach()

# The HTTP library of the front-end: Debian's header holds only declarations
# (the rest is a Linux library), so the whole header of the same source
# package stands in for it (tools/install-httplib-windows.sh installs it).
# Without it zarn_host.exe is built without the front-end.
set(ZARN_CROSS_HTTPLIB_DIR /usr/local/share/zarn/cross-httplib
    CACHE PATH "Folder with the whole httplib.h for the Windows builds (tools/install-httplib-windows.sh)")
set(ZARN_CROSS_HTTPLIB_FOUND OFF)
if(EXISTS ${ZARN_CROSS_HTTPLIB_DIR}/httplib.h)
  set(ZARN_CROSS_HTTPLIB_FOUND ON)
  file(CREATE_LINK ${ZARN_CROSS_HTTPLIB_DIR}/httplib.h ${zarn_cross_include}/httplib.h SYMBOLIC)
  if(NOT TARGET zarn_cross_httplib)
    add_library(zarn_cross_httplib INTERFACE IMPORTED GLOBAL)
    set_target_properties(zarn_cross_httplib PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${zarn_cross_include}
                          INTERFACE_LINK_LIBRARIES "ws2_32;mswsock")
  endif()
endif()
