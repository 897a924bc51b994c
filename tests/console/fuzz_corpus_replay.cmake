# The console's fuzz corpus (fuzz_corpus/<entry>/): cart code, whole runs and API
# programs, and the serial channels, each folder through its entry.
z6_fuzz_replay(console_fuzz_corpus_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus
               ${CMAKE_SOURCE_DIR}/tools/fuzz/console_inputs.cpp)
z6_fuzz_replay(console_serial_fuzz_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus
               ${CMAKE_SOURCE_DIR}/tools/fuzz/serial_inputs.cpp)
