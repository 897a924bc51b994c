# The cart readers' fuzz corpus (fuzz_corpus/<entry>/), each folder through its entry;
# the any-format loader's carts (every test and asset cart in every form) in a test of
# their own, so that the two run side by side, and in shards: each of its inputs is
# saved in every form.
z6_fuzz_replay(cart_fuzz_corpus_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus
               ${CMAKE_SOURCE_DIR}/tools/fuzz/cart_inputs.cpp text_cart pxa_block png_cart
               bbs_code base64 export_framework export_program)
z6_fuzz_replay(cart_any_fuzz_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus
               ${CMAKE_SOURCE_DIR}/tools/fuzz/cart_inputs.cpp SHARDS 3 cart_any)
