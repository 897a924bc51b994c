# The boot screen and the launcher in a real window on the real data.pod, with disk audio.
if(TARGET zibo6 AND TARGET windowcmp)
    z6_add_script_test(shell_launcher_window
        sh ${CMAKE_CURRENT_SOURCE_DIR}/launcher_window.sh $<TARGET_FILE:zibo6>
           ${CMAKE_BINARY_DIR}/data.pod $<TARGET_FILE:windowcmp> ${CMAKE_SOURCE_DIR})
endif()
