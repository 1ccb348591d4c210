# Header layout of the libraries. Public headers are a HEADERS file set of
# their target under <lib>/include/zarn/ (included as <zarn/...>); the
# installed headers, the package's include directory and the API reference
# all come from those file sets. Private headers stay beside their sources.
include_guard(GLOBAL)

# zarn_add_compat_headers(<target> <path>...)
#
# Forwarding headers at their 1.0 paths (compat/include/<path>), the file set
# "compat" of <target>: installed with it, so that panels written against
# 1.0 keep building. Not part of the API reference.
function(zarn_add_compat_headers target)
  list(TRANSFORM ARGN PREPEND ${PROJECT_SOURCE_DIR}/compat/include/ OUTPUT_VARIABLE files)
  get_target_property(type ${target} TYPE)
  set(scope PUBLIC)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  endif()
  target_sources(${target} ${scope}
    FILE_SET compat TYPE HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR}/compat/include FILES ${files})
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
