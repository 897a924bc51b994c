# engine_tool's picture commands, driven from a shell script.
if(TARGET engine_tool)
    z6_add_script_test(engine_tool_pictures sh ${CMAKE_CURRENT_SOURCE_DIR}/e3_engine_tool.sh $<TARGET_FILE:engine_tool>)
endif()

# The math test references only vmath, so library members pulled later for
# gtest's own symbols would miss the stand-ins: take the stand-ins in whole.
if(TARGET engine_test_vmath AND TARGET z6_standins)
    get_target_property(standins_type z6_standins TYPE)
    if(standins_type STREQUAL "STATIC_LIBRARY")
        target_link_options(engine_test_vmath PRIVATE
            "LINKER:--whole-archive" $<TARGET_FILE:z6_standins> "LINKER:--no-whole-archive")
        add_dependencies(engine_test_vmath z6_standins)
    endif()
endif()
