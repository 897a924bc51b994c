# The window tests of window_cases.txt, one test each, driven by the player's
# input script so that they cannot race the machine's speed.
if(TARGET zibo6 AND TARGET mkdatapod AND TARGET windowcmp)
    foreach(case screen launcher devkit kiosk rate60)
        z6_add_script_test(shell_${case}_window
            sh ${CMAKE_CURRENT_SOURCE_DIR}/window_case.sh $<TARGET_FILE:zibo6>
               ${CMAKE_BINARY_DIR}/data.pod $<TARGET_FILE:mkdatapod> $<TARGET_FILE:windowcmp>
               ${CMAKE_SOURCE_DIR} ${case})
    endforeach()
endif()
