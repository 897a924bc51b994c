# The shell's seed corpus replayed through its fuzz entries, in every build.
add_executable(shell_fuzz_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus_replay.cpp
               ${CMAKE_SOURCE_DIR}/tools/fuzz/shell_inputs.cpp)
target_link_libraries(shell_fuzz_replay PRIVATE z6_libs)
add_dependencies(shell_fuzz_replay datapod)
z6_add_script_test(shell_fuzz_corpus_replay
    $<TARGET_FILE:shell_fuzz_replay> ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus ${CMAKE_BINARY_DIR}/data.pod)
