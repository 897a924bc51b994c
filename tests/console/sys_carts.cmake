# System carts: every tests/carts/sys_*.z6 runs headless through zibo6 -x; its
# printed lines must equal NAME.expected and NAME.after's checks must pass.
if(TARGET zibo6)
    file(GLOB sys_carts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/carts/sys_*.z6)
    foreach(cart ${sys_carts})
        get_filename_component(name ${cart} NAME_WE)
        z6_add_script_test(console_cart_${name} sh ${CMAKE_CURRENT_SOURCE_DIR}/sys_cart_test.sh
                           $<TARGET_FILE:zibo6> ${cart})
    endforeach()
endif()
