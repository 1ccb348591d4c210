# Checks every #include "..." of the host's sources against the folders each
# folder may use. A folder sees itself and what its row names; the codecs
# see only themselves; nothing below the web front-end and the bridges' I/O
# sees them. The subfolders of bridges/ and web/ are rows of their own: the
# bridges' runtime sees no codec and no protocol, a protocol sees the runtime
# and the codecs but no other protocol, and bridges/ itself (the table of
# protocols) sees the runtime and the protocols; the web's plumbing sees only
# texts. A row's "X/api" is X's one header the others may see. Run with
# -DHOST=<the host folder> -DPROTOCOLS=<the bridges' protocols, comma-separated>.
#
# folder              may include
set(allowed_text        "")
set(allowed_platform    "text")
set(allowed_model       "text")
set(allowed_sim         "text;platform;model")
set(allowed_scenario    "text;platform;model;sim")
set(allowed_run         "text;platform;model;sim;scenario;bridges/api")
set(allowed_validate    "text;platform;model;sim;scenario")
set(allowed_bridges     "text;platform;model;sim;bridges/api;bridges/runtime")
set(allowed_bridges/runtime "text;platform;model;sim;bridges/api")
# A row a protocol, from -DPROTOCOLS (comma-separated, as the build declares
# them with zarn_bridge_protocol); the table of protocols sees each.
string(REPLACE "," ";" protocols "${PROTOCOLS}")
if(NOT protocols)
  message(FATAL_ERROR "no protocols given (-DPROTOCOLS=swp08,...)")
endif()
foreach(protocol IN LISTS protocols)
  set(allowed_bridges/${protocol} "text;platform;model;sim;bridges/api;bridges/codecs;bridges/runtime")
  list(APPEND allowed_bridges bridges/${protocol})
endforeach()
set(allowed_web         "text;platform;model;sim;scenario;run;bridges/api;web")
set(allowed_app         "text;platform;model;sim;scenario;run;validate;bridges/api;web")
# The web front-end's rooms: the HTTP plumbing sees only texts; the page's
# server sees the plumbing; the supervisor sees both. Both implement web/'s
# own header, what app/ calls.
set(allowed_web/http           "text")
set(allowed_web/page_server    "text;platform;model;sim;scenario;run;bridges/api;web/api;web/http")
set(allowed_web/supervisor     "text;platform;model;sim;scenario;run;bridges/api;web/api;web/http;web/page_server")
# The bridges' interface, what the rest of the host may see of them.
set(bridges_api "bridges/bridges.h")
# The web front-end's, what the program's command line calls.
set(web_api "web/serve.h")

file(GLOB_RECURSE sources RELATIVE ${HOST} ${HOST}/*.cpp ${HOST}/*.h)
set(faults "")
# The folder (the row) of a path: bridges/<sub>/ and web/<sub>/ for their
# subfolders, else the top folder.
function(host_folder path out)
  if(path MATCHES "^((bridges|web)/[^/]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  else()
    string(REGEX MATCH "^[^/]+" top "${path}")
    set(${out} ${top} PARENT_SCOPE)
  endif()
endfunction()

foreach(source IN LISTS sources)
  host_folder(${source} folder)
  if(source MATCHES "^bridges/codecs/")
    set(allowed "bridges/codecs")
  elseif(DEFINED allowed_${folder})
    set(allowed ${allowed_${folder}})
  else()
    list(APPEND faults "${source}: not in a folder of the host's table")
    continue()
  endif()
  file(STRINGS ${HOST}/${source} includes REGEX "^#include \"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" included "${line}")
    if(NOT included MATCHES "/")
      list(APPEND faults "${source}: \"${included}\" is not written from the host's root")
      continue()
    endif()
    # A folder sees itself.
    host_folder(${included} included_folder)
    set(seen NO)
    if(included_folder STREQUAL folder)
      set(seen YES)
    endif()
    foreach(ok IN LISTS allowed)
      if(ok MATCHES "^([^/]+)/api$")
        if(included STREQUAL ${CMAKE_MATCH_1}_api)
          set(seen YES)
        endif()
      elseif(included MATCHES "^${ok}/")
        set(seen YES)
      endif()
    endforeach()
    if(NOT seen)
      list(APPEND faults "${source}: includes \"${included}\", which ${folder}/ may not see")
    endif()
  endforeach()
endforeach()
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "the host's folders break their dependency table:\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "the includes of the host's ${count} sources keep to their folders' table")
