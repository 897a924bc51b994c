# The console picture in a real window under Xvfb: the window shows the head
# cart at a whole scale, and Escape opens and closes the pause menu over it.
if(TARGET zibo6 AND TARGET mkdatapod AND TARGET windowcmp)
    z6_add_script_test(shell_screen_window
        sh ${CMAKE_CURRENT_SOURCE_DIR}/screen_window.sh $<TARGET_FILE:zibo6>
        $<TARGET_FILE:mkdatapod> $<TARGET_FILE:windowcmp> ${CMAKE_SOURCE_DIR})
endif()
