# The Windows SDK zip: made by cpack from BUILD_DIR, unpacked in WORK, a
# panel started from its template by the zip's zarn_host.exe new-panel (run
# by EMULATOR, Wine), configured against the unpacked package alone with the
# zip's own toolchain file (TOOLCHAIN names the one of this build, for its
# compiler), built, and its tests run (under Wine, through the zip's
# zarn_host.exe). NAME: the zip's name without .zip.
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
        share/doc/zarn-script-frame-dev/WRITING_A_PANEL.md)
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
