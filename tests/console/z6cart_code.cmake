# z6cart from a shell: tokens and preprocess on small text carts.
if(TARGET z6cart)
    z6_add_script_test(console_z6cart_code
        sh ${CMAKE_CURRENT_SOURCE_DIR}/z6cart_code.sh $<TARGET_FILE:z6cart>)
endif()
