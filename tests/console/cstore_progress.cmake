# A cart's progress stored with cstore() survives every restart of the player.
if(TARGET zibo6)
    z6_add_script_test(console_cstore_progress sh ${CMAKE_CURRENT_SOURCE_DIR}/cstore_progress.sh
                       $<TARGET_FILE:zibo6> ${CMAKE_SOURCE_DIR}/tests/carts/cstore_count.z6)
endif()
