# The player booting by itself: boot sequence, boot sound, head cart, shutdown.
if(TARGET zibo6 AND TARGET mkdatapod)
    z6_add_script_test(shell_boot_head_cart
        sh ${CMAKE_CURRENT_SOURCE_DIR}/boot_head_cart.sh $<TARGET_FILE:zibo6>
           $<TARGET_FILE:mkdatapod> ${CMAKE_SOURCE_DIR}/assets)
endif()
