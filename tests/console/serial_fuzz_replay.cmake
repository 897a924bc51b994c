# The serial channels' fuzz seeds (fuzz_corpus/serial) replayed under the sanitizers.
add_executable(console_serial_replay ${CMAKE_CURRENT_SOURCE_DIR}/serial_fuzz_replay.cpp
               ${CMAKE_SOURCE_DIR}/tools/fuzz/serial_inputs.cpp)
target_link_libraries(console_serial_replay PRIVATE z6_libs)
z6_add_script_test(console_serial_fuzz_replay
    $<TARGET_FILE:console_serial_replay> ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus/serial)
