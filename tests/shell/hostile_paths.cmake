# Cart paths that are no cart, and SIGTERM during a long step.
if(TARGET zibo6 AND TARGET z6cart)
    z6_add_script_test(shell_hostile_paths
        sh ${CMAKE_CURRENT_SOURCE_DIR}/hostile_paths.sh $<TARGET_FILE:zibo6>
           $<TARGET_FILE:z6cart> ${CMAKE_CURRENT_SOURCE_DIR})
endif()
