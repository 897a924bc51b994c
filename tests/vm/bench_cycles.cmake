# The benchmark programs at one round: cycle totals against the stored ones,
# checksums against stock Lua when it is installed.
if(TARGET z6vm)
    find_program(Z6_LUA52 lua5.2)
    set(stock "")
    if(Z6_LUA52)
        set(stock ${Z6_LUA52})
    endif()
    z6_add_script_test(vm_bench_cycles
        sh ${CMAKE_CURRENT_SOURCE_DIR}/bench_cycles.sh $<TARGET_FILE:z6vm_batch>
           ${CMAKE_SOURCE_DIR}/bench/vm_vs_lua ${stock})
endif()
