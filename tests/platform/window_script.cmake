# engine_host in a window: SIGINT exit under the dummy driver, and a screenshot
# of a real window under Xvfb (skipped with a message where Xvfb is missing).
if(TARGET engine_host)
    z6_add_script_test(platform_window_script
        sh ${CMAKE_CURRENT_SOURCE_DIR}/window_test.sh $<TARGET_FILE:engine_host>)
endif()
