# GIF recording end to end through the player and a plain decoder.
if(TARGET zibo6)
    z6_add_script_test(cart_gif_capture
        sh ${CMAKE_CURRENT_SOURCE_DIR}/gif_capture.sh $<TARGET_FILE:zibo6> ${CMAKE_CURRENT_SOURCE_DIR})
endif()
