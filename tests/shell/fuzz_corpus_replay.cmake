# The shell readers' fuzz corpus (fuzz_corpus/<entry>/), each folder through its entry.
z6_fuzz_replay(shell_fuzz_corpus_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus
               ${CMAKE_SOURCE_DIR}/tools/fuzz/shell_inputs.cpp)
