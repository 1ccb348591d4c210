# The host's header-only libraries for a Windows cross build. Debian installs
# them for the build machine under /usr/include; putting that folder on the
# include path would mix the build machine's C library headers into the
# Windows build, so a folder holding links to just these two libraries
# stands in for it.
set(zarn_cross_include ${CMAKE_BINARY_DIR}/cross-include)
foreach(folder nlohmann CLI)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: install nlohmann-json3-dev and libcli11-dev")
  endif()
  file(MAKE_DIRECTORY ${zarn_cross_include})
  file(CREATE_LINK /usr/include/${folder} ${zarn_cross_include}/${folder} SYMBOLIC)
endforeach()
foreach(library nlohmann_json::nlohmann_json CLI11::CLI11)
  if(NOT TARGET ${library})
    add_library(${library} INTERFACE IMPORTED)
    set_target_properties(${library} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${zarn_cross_include})
  endif()
endforeach()
