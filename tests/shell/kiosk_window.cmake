# -kiosk in a real window: the boot enters the cart browser and a button quits.
if(TARGET zibo6)
    z6_add_script_test(shell_kiosk_window
        sh ${CMAKE_CURRENT_SOURCE_DIR}/kiosk_window.sh $<TARGET_FILE:zibo6>
           ${CMAKE_BINARY_DIR}/data.pod ${CMAKE_SOURCE_DIR})
endif()
