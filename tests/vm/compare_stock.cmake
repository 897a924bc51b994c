# The libraries against stock Lua 5.2: each program under tests/vm/compare
# (but those in known_failures.txt) must print the same under
# `z6vm --stock-libs` as under lua5.2.
if(TARGET z6vm)
    find_program(Z6_LUA52 lua5.2)
    if(Z6_LUA52)
        z6_add_script_test(vm_compare_stock
            sh ${CMAKE_CURRENT_SOURCE_DIR}/compare_stock.sh $<TARGET_FILE:z6vm_batch> ${Z6_LUA52}
               ${CMAKE_CURRENT_SOURCE_DIR}/compare)
    else()
        message(STATUS "lua5.2 not found: vm_compare_stock is not registered")
    endif()
endif()

# The runner's cart and stock library sets.
if(TARGET z6vm)
    z6_add_script_test(vm_z6vm_modes sh ${CMAKE_CURRENT_SOURCE_DIR}/z6vm_modes.sh $<TARGET_FILE:z6vm_batch>)
endif()
