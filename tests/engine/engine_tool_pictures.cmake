# engine_tool's picture commands, driven from a shell script.
if(TARGET engine_tool)
    z6_add_script_test(engine_tool_pictures
        sh ${CMAKE_CURRENT_SOURCE_DIR}/engine_tool_pictures.sh $<TARGET_FILE:engine_tool>)
endif()

