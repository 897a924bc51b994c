# The exporter end to end through z6cart export: folders, files, zips and refusals,
# then a data file with runtime programs; two tests that run side by side.
if(TARGET z6cart AND TARGET podtool)
    foreach(part carts runtime)
        z6_add_script_test(cart_export_tool_${part}
            python3 ${CMAKE_CURRENT_SOURCE_DIR}/export_tool.py $<TARGET_FILE:z6cart>
                    $<TARGET_FILE:podtool> ${CMAKE_BINARY_DIR}/data.pod
                    ${CMAKE_CURRENT_SOURCE_DIR}/carts ${part})
    endforeach()
endif()
