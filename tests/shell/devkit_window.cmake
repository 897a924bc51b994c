# The devkit keyboard and mouse in a real window under Xvfb: typed characters,
# the mouse position and its buttons reach a cart through stat.
if(TARGET zibo6 AND TARGET mkdatapod AND TARGET windowcmp)
    z6_add_script_test(shell_devkit_window
        sh ${CMAKE_CURRENT_SOURCE_DIR}/devkit_window.sh $<TARGET_FILE:zibo6>
        $<TARGET_FILE:mkdatapod> $<TARGET_FILE:windowcmp> ${CMAKE_SOURCE_DIR})
endif()
