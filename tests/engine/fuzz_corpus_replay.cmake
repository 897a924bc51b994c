# The engine readers' fuzz corpus (fuzz_corpus/<entry>/), each folder through its entry.
z6_fuzz_replay(engine_fuzz_corpus_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus
               ${CMAKE_SOURCE_DIR}/tools/fuzz/hostile_inputs.cpp)
