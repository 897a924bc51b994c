# The cart code seeds (tests/console/fuzz_corpus/) replayed through every hostile-input
# entry, the token count and the preprocessor among them, under the sanitizers.
add_executable(console_fuzz_replay ${CMAKE_SOURCE_DIR}/tests/engine/fuzz_corpus_replay.cpp
               ${CMAKE_SOURCE_DIR}/tools/fuzz/hostile_inputs.cpp)
# The controllers reader among the hostile inputs is the SDL back end's.
target_link_libraries(console_fuzz_replay PRIVATE z6_sdl)
z6_add_script_test(console_fuzz_corpus_replay
    $<TARGET_FILE:console_fuzz_replay> ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus)
