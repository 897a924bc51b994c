# Compiler tests driven through the VM runner (tools/z6vm).
z6_add_script_test(vm_listings
    sh ${CMAKE_CURRENT_SOURCE_DIR}/compare_listings.sh $<TARGET_FILE:z6vm_batch> ${CMAKE_CURRENT_SOURCE_DIR}/listings)
z6_add_script_test(vm_listings_generated
    sh ${CMAKE_CURRENT_SOURCE_DIR}/compare_listings.sh $<TARGET_FILE:z6vm_batch> ${CMAKE_CURRENT_SOURCE_DIR}/listings generated)
z6_add_script_test(vm_z6vm_cli
    sh ${CMAKE_CURRENT_SOURCE_DIR}/z6vm_cli.sh $<TARGET_FILE:z6vm> $<TARGET_FILE:z6vm_batch>)

# libFuzzer target for program-text loading (clang only, set up as in
# tools/fuzz/CMakeLists.txt); the corpus replay runs in every build as
# vm_test_load_fuzz:
#   cmake --build build-fuzz --target fuzz_load
#   mkdir -p /tmp/z6fuzz && build-fuzz/tests/vm/fuzz_load /tmp/z6fuzz tests/vm/fuzz/corpus
# (libFuzzer adds what it finds to the first folder: keep it out of the tree
# and copy only inputs worth keeping into the corpus.)
if(ZIBO6_FUZZ)
    # fuzz_run: cart programs run under a cycle budget and a memory cap (replayed by
    # vm_test_run_fuzz from tests/vm/fuzz/run_corpus).
    foreach(target fuzz_load fuzz_run)
        z6_fuzz_program(${target} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/${target}.cpp)
    endforeach()
endif()

# Syntax error texts of stock-syntax programs match the stock interpreter's.
z6_add_script_test(vm_syntax_errors
    sh ${CMAKE_CURRENT_SOURCE_DIR}/compare_errors.sh $<TARGET_FILE:z6vm_batch> ${CMAKE_CURRENT_SOURCE_DIR}/syntax_errors.txt)
