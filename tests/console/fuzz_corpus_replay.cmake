# The console's fuzz corpus (fuzz_corpus/<entry>/), each folder through its entry: cart
# code and whole runs, the API programs (a test of their own: each input is a whole run),
# and the serial channels.
z6_fuzz_replay(console_fuzz_corpus_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus
               ${CMAKE_SOURCE_DIR}/tools/fuzz/console_inputs.cpp SHARDS 3 cart_code run_program)
z6_fuzz_replay(console_api_fuzz_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus
               ${CMAKE_SOURCE_DIR}/tools/fuzz/console_inputs.cpp api)
z6_fuzz_replay(console_serial_fuzz_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus
               ${CMAKE_SOURCE_DIR}/tools/fuzz/serial_inputs.cpp)

# The dictionary the program-text targets fuzz with is what its generator writes
# from the API's and the tokenizer's tables today.
add_executable(program_dict ${CMAKE_SOURCE_DIR}/tools/fuzz/program_dict.cpp)
target_link_libraries(program_dict PRIVATE console)
z6_add_script_test(console_fuzz_dictionary sh -c "\"$1\" | cmp - \"$2\"" dict
                   $<TARGET_FILE:program_dict> ${CMAKE_SOURCE_DIR}/tools/fuzz/program.dict)
