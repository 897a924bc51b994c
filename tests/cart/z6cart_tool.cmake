# z6cart from a shell: info and convert on stored and damaged text carts.
if(TARGET z6cart)
    z6_add_script_test(cart_z6cart_tool
        sh ${CMAKE_CURRENT_SOURCE_DIR}/z6cart_tool.sh $<TARGET_FILE:z6cart>
           ${CMAKE_CURRENT_SOURCE_DIR}/carts)
endif()
