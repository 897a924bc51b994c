# Cycle counts of straight-line programs against their stock listings, and
# the same totals when a budget splits them into slices.
if(TARGET z6vm)
    z6_add_script_test(vm_cycles_listing
        sh ${CMAKE_CURRENT_SOURCE_DIR}/cycles_listing.sh $<TARGET_FILE:z6vm_batch> luac5.2 ${CMAKE_CURRENT_BINARY_DIR}/cycles_listing)
    set_tests_properties(vm_cycles_listing PROPERTIES SKIP_RETURN_CODE 77)
endif()
