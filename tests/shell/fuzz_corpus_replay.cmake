# The shell's seed corpus (tests/shell/fuzz_corpus/<reader>/) replayed through its
# hostile-input entries, with the engine's replay program.
add_executable(shell_fuzz_replay ${CMAKE_SOURCE_DIR}/tests/engine/fuzz_corpus_replay.cpp
               ${CMAKE_SOURCE_DIR}/tools/fuzz/shell_inputs.cpp)
target_link_libraries(shell_fuzz_replay PRIVATE z6_libs)
z6_add_script_test(shell_fuzz_corpus_replay
    $<TARGET_FILE:shell_fuzz_replay> ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus)
