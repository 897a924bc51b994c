# The text cart seed corpus (tests/cart/fuzz_corpus/<reader>/) replayed through the
# cart readers' hostile-input entries, with the engine's replay program.
add_executable(cart_fuzz_replay ${CMAKE_SOURCE_DIR}/tests/engine/fuzz_corpus_replay.cpp
               ${CMAKE_SOURCE_DIR}/tools/fuzz/cart_inputs.cpp)
target_link_libraries(cart_fuzz_replay PRIVATE z6_libs)
z6_add_script_test(cart_fuzz_corpus_replay
    $<TARGET_FILE:cart_fuzz_replay> ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus)
