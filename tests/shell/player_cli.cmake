# The player from the command line: headless runs, refusals, config.txt.
if(TARGET zibo6)
    z6_add_script_test(shell_player_cli
        sh ${CMAKE_CURRENT_SOURCE_DIR}/player_cli.sh $<TARGET_FILE:zibo6> ${CMAKE_CURRENT_SOURCE_DIR})
endif()
# The player in a real window (under Xvfb when it is installed), typed into
# through the X server.
if(TARGET zibo6)
    z6_add_script_test(shell_player_window
        sh ${CMAKE_CURRENT_SOURCE_DIR}/player_window.sh $<TARGET_FILE:zibo6> ${CMAKE_SOURCE_DIR})
endif()
