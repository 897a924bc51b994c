# The cart readers' fuzz corpus (fuzz_corpus/<entry>/), each folder through its entry;
# the any-format loader's corpus is large and each of its inputs is saved in every
# form, hence the shards.
z6_fuzz_replay(cart_fuzz_corpus_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus
               ${CMAKE_SOURCE_DIR}/tools/fuzz/cart_inputs.cpp SHARDS 3)
