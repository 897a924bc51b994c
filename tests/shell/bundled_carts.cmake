# The carts that come with the player: within the machine's limits, and each
# plays a few hundred frames without errors and inside its CPU budget.
if(TARGET zibo6 AND TARGET z6cart)
    z6_add_script_test(shell_bundled_carts
        sh ${CMAKE_CURRENT_SOURCE_DIR}/bundled_carts.sh $<TARGET_FILE:zibo6>
           $<TARGET_FILE:z6cart> ${CMAKE_SOURCE_DIR}/assets/carts)
endif()
