# Common compile settings for every target of the project. Warnings are
# errors with CMake's own CMAKE_COMPILE_WARNING_AS_ERROR (the presets set it;
# `cmake --compile-no-warning-as-error` lifts it for one build).
add_library(zarn_compile_options INTERFACE)
add_library(zarn::compile_options ALIAS zarn_compile_options)
target_compile_options(zarn_compile_options INTERFACE -Wall -Wextra)
if(ZARN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
