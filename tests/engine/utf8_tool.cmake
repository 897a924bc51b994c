# Text services: the engine_tool conversions driven from a shell.
if(TARGET engine_tool)
    z6_add_script_test(engine_utf8_tool
        sh ${CMAKE_CURRENT_SOURCE_DIR}/utf8_tool.sh $<TARGET_FILE:engine_tool>)
endif()
