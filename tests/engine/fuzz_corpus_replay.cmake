# The hostile-input corpus (tests/engine/fuzz_corpus/<reader>/) replayed through
# every reader the fuzz targets drive, in the normal build and its sanitizers.
add_executable(engine_fuzz_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus_replay.cpp
               ${CMAKE_SOURCE_DIR}/tools/fuzz/hostile_inputs.cpp)
# The controllers reader is the SDL back end's.
target_link_libraries(engine_fuzz_replay PRIVATE z6_sdl)
z6_add_script_test(engine_fuzz_corpus_replay
    $<TARGET_FILE:engine_fuzz_replay> ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus)
