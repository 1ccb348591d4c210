# The Windows SDK zip: made by cpack from BUILD_DIR, unpacked in WORK, a
# panel started from its template by the zip's zarn_host.exe new-panel (run
# by EMULATOR, Wine), configured against the unpacked package alone with the
# zip's own toolchain file (TOOLCHAIN names the one of this build, for its
# compiler), built, and its tests run (under Wine, through the zip's
# zarn_host.exe). Then the same panel with ZARN_BUILD_FROM_SOURCE: the zip's
# library sources built by the consumer's compiler (mingw-w64 standing in
# for Microsoft's), its scenario run; and, with CLANG_CL, the zip's library
# sources and the panel compiled (not linked: no Microsoft C++ library here)
# by clang-cl in Microsoft's mode at /W4 /WX, against the mingw-w64 C++ and
# C headers (MINGW_HEADERS), which need three shims in that mode (below).
# NAME: the zip's name without .zip.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${result}): ${command}\n${out}\n${err}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/unpacked)
run(cpack --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK})
run(${CMAKE_COMMAND} -E chdir ${WORK}/unpacked ${CMAKE_COMMAND} -E tar xf ${WORK}/${NAME}.zip)
set(sdk ${WORK}/unpacked/${NAME})
foreach(file bin/zarn_host.exe lib/libzarn_string.a lib/libzarn_script_frame.a include/zarn/zarn_client.h
        lib/cmake/zarn_script_frame/zarn_script_frameConfig.cmake share/zarn_script_frame/panel_template/CMakeLists.txt
        share/doc/zarn-script-frame-dev/WRITING_A_PANEL.md lib/cmake/zarn_script_frame/ZarnFromSource.cmake
        share/zarn_script_frame/src/zarn_string/zarn_string.cpp share/zarn_script_frame/src/script_frame/frame_internal.h)
  if(NOT EXISTS ${sdk}/${file})
    message(FATAL_ERROR "the zip has no ${file}")
  endif()
endforeach()
get_filename_component(toolchain ${TOOLCHAIN} NAME)
run(${EMULATOR} ${sdk}/bin/zarn_host.exe new-panel studio_x ${WORK}/source)
# The package is named by its folder: a cross build finds packages under its
# target's root only.
run(${CMAKE_COMMAND} -S ${WORK}/source -B ${WORK}/build -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_TOOLCHAIN_FILE=${sdk}/share/zarn_script_frame/toolchains/${toolchain}
    -Dzarn_script_frame_DIR=${sdk}/lib/cmake/zarn_script_frame)
run(${CMAKE_COMMAND} --build ${WORK}/build)
run(${CMAKE_CTEST_COMMAND} --test-dir ${WORK}/build --output-on-failure)

# The libraries from the zip's sources, built with the panel.
run(${CMAKE_COMMAND} -S ${WORK}/source -B ${WORK}/from_source -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_TOOLCHAIN_FILE=${sdk}/share/zarn_script_frame/toolchains/${toolchain}
    -Dzarn_script_frame_DIR=${sdk}/lib/cmake/zarn_script_frame -DZARN_BUILD_FROM_SOURCE=ON)
run(${CMAKE_COMMAND} --build ${WORK}/from_source)
if(NOT EXISTS ${WORK}/from_source/libzarn_sdk_script_frame.a OR NOT EXISTS ${WORK}/from_source/libzarn_sdk_zarn_string.a)
  message(FATAL_ERROR "ZARN_BUILD_FROM_SOURCE built no libraries in ${WORK}/from_source")
endif()
run(${CMAKE_CTEST_COMMAND} --test-dir ${WORK}/from_source --output-on-failure -R "[.]demo$")

if(CLANG_CL)
  # (-- ends the options: a path such as /work/... would read as /w.)
  # The mingw-w64 headers expect GCC: __GNUC__ (-fgnuc-version), the strict
  # mode clang-cl does not announce, and __declspec as a macro, which GCC has
  # and clang-cl has as a keyword.
  set(shims /clang:-fgnuc-version=12 -D__STRICT_ANSI__ "-D__declspec(x)=__declspec(x)")
  string(REPLACE "|" ";" MINGW_HEADERS "${MINGW_HEADERS}")
  set(headers)
  foreach(dir ${MINGW_HEADERS})
    list(APPEND headers -imsvc ${dir})
  endforeach()
  set(src ${sdk}/share/zarn_script_frame/src)
  file(GLOB sources ${src}/zarn_string/*.cpp ${src}/script_frame/*.cpp)
  list(APPEND sources ${WORK}/source/studio_x.cpp)
  file(MAKE_DIRECTORY ${WORK}/clang_cl)
  foreach(source ${sources})
    get_filename_component(folder ${source} DIRECTORY)
    run(${CLANG_CL} --target=${CLANG_CL_TARGET} /nologo /c /W4 /WX /std:c++17 /EHsc ${shims} ${headers}
        -I${sdk}/include -I${folder} /Fo${WORK}/clang_cl/ -- ${source})
  endforeach()
  list(LENGTH sources count)
  message(STATUS "clang-cl /W4 /WX (${CLANG_CL_TARGET}): ${count} sources compiled")
endif()
