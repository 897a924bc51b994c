# Running carts end to end: every tests/carts/run_*.z6 runs headless through
# zibo6 -x and must print exactly its NAME.expected (main-loop order, stop,
# syntax and runtime error reports with line and tab).
if(TARGET zibo6)
    file(GLOB run_carts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/carts/run_*.z6)
    foreach(cart ${run_carts})
        get_filename_component(name ${cart} NAME_WE)
        z6_add_script_test(console_cart_${name} sh ${CMAKE_CURRENT_SOURCE_DIR}/cart_output_test.sh
                           $<TARGET_FILE:zibo6> ${cart})
    endforeach()
endif()
