# save() on a disk that fills up part-way keeps the old cart and its backup whole.
if(TARGET zibo6)
    z6_add_script_test(cart_save_full_disk sh ${CMAKE_CURRENT_SOURCE_DIR}/save_full_disk.sh
                       $<TARGET_FILE:zibo6>)
endif()
