# The exporter end to end through z6cart export: folders, files, zips and refusals.
if(TARGET z6cart AND TARGET podtool)
    z6_add_script_test(cart_export_tool
        python3 ${CMAKE_CURRENT_SOURCE_DIR}/export_tool.py $<TARGET_FILE:z6cart>
                $<TARGET_FILE:podtool> ${CMAKE_BINARY_DIR}/data.pod
                ${CMAKE_CURRENT_SOURCE_DIR}/carts)
endif()
