# Golden screens: every tests/carts/gfx_*.z6 runs headless through zibo6 -x. Its
# printed lines (the screen dump aside) must equal NAME.expected, and the screen
# it dumps must equal NAME.png through the display palette; a failing compare
# leaves NAME.actual.png beside the expected picture.
if(TARGET zibo6 AND TARGET screencmp)
    file(GLOB gfx_carts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/carts/gfx_*.z6)
    foreach(cart ${gfx_carts})
        get_filename_component(name ${cart} NAME_WE)
        z6_add_script_test(console_screen_${name} sh ${CMAKE_CURRENT_SOURCE_DIR}/screen_test.sh
                           $<TARGET_FILE:zibo6> $<TARGET_FILE:screencmp> ${cart}
                           ${CMAKE_SOURCE_DIR}/assets/palette.txt)
    endforeach()
endif()
