# The layout of the project. A library's public headers are a HEADERS file
# set of its target under <library>/include/zarn/ (included as <zarn/...>);
# the installed headers, the package's include directory and the API
# reference all come from those file sets. Private headers stay beside their
# sources.
include_guard(GLOBAL)

# zarn_library_headers(<target> HEADERS <name>... [COMPAT <1.0 path>...])
#
# The public headers of <target>: include/zarn/<name> beside the calling
# CMakeLists.txt, its HEADERS file set, included as <zarn/<name>>. COMPAT
# lists forwarding headers at their 1.0 paths (compat/include/<path>), the
# file set "compat": installed with the target so that panels written against
# 1.0 keep building, left out of the API reference.
function(zarn_library_headers target)
  cmake_parse_arguments(PARSE_ARGV 1 LIB "" "" "HEADERS;COMPAT")
  get_target_property(type ${target} TYPE)
  set(scope PUBLIC)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  endif()
  list(TRANSFORM LIB_HEADERS PREPEND include/zarn/)
  target_sources(${target} ${scope} FILE_SET HEADERS BASE_DIRS include FILES ${LIB_HEADERS})
  if(LIB_COMPAT)
    set(compat_dir ${PROJECT_SOURCE_DIR}/compat/include)
    list(TRANSFORM LIB_COMPAT PREPEND ${compat_dir}/)
    target_sources(${target} ${scope} FILE_SET compat TYPE HEADERS BASE_DIRS ${compat_dir} FILES ${LIB_COMPAT})
  endif()
endfunction()

# zarn_add_subdirectories(<folder>...): those of the folders that hold a
# CMakeLists.txt.
function(zarn_add_subdirectories)
  foreach(folder IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/CMakeLists.txt)
      add_subdirectory(${folder})
    endif()
  endforeach()
endfunction()

# zarn_public_headers(<files variable> <base dirs variable> <target>...)
#
# The absolute paths of the public headers (the HEADERS file sets) of the
# targets and of the folders they are included from, for the API reference.
function(zarn_public_headers files_variable dirs_variable)
  set(files)
  set(dirs)
  foreach(target IN LISTS ARGN)
    get_target_property(source_dir ${target} SOURCE_DIR)
    foreach(property HEADER_SET HEADER_DIRS)
      get_target_property(paths ${target} ${property})
      list(TRANSFORM paths PREPEND ${source_dir}/ REGEX "^[^/]")
      if(property STREQUAL "HEADER_SET")
        list(APPEND files ${paths})
      else()
        list(APPEND dirs ${paths})
      endif()
    endforeach()
  endforeach()
  set(${files_variable} ${files} PARENT_SCOPE)
  set(${dirs_variable} ${dirs} PARENT_SCOPE)
endfunction()
