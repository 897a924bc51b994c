# Screenshots and GIFs a cart asks for: the display drawn on, the fixed name,
# the desktop folder made when missing.
if(TARGET zibo6)
    z6_add_script_test(cart_capture_targets
        sh ${CMAKE_CURRENT_SOURCE_DIR}/capture_targets.sh $<TARGET_FILE:zibo6> ${CMAKE_CURRENT_SOURCE_DIR})
endif()
