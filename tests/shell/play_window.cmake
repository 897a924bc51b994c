# scripts/play.sh: a cart played in a real window under Xvfb, twice.
if(TARGET zibo6 AND TARGET z6cart AND TARGET windowcmp)
    z6_add_script_test(shell_play_window
        sh ${CMAKE_CURRENT_SOURCE_DIR}/play_window.sh ${CMAKE_BINARY_DIR}
           $<TARGET_FILE:windowcmp> ${CMAKE_SOURCE_DIR})
endif()
