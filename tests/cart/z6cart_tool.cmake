# z6cart from a shell: info and convert on stored and damaged text carts, and
# PNG carts' labels between z6cart and the player.
if(TARGET z6cart AND TARGET zibo6)
    z6_add_script_test(cart_z6cart_tool
        sh ${CMAKE_CURRENT_SOURCE_DIR}/z6cart_tool.sh $<TARGET_FILE:z6cart>
           ${CMAKE_CURRENT_SOURCE_DIR}/carts $<TARGET_FILE:zibo6>)
endif()
