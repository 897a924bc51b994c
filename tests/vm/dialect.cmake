# End-to-end programs in the console's dialect (tests/vm/dialect), each run
# in cart mode without a budget and under small budgets against its expected
# output.
if(TARGET z6vm)
    z6_add_script_test(vm_dialect
        sh ${CMAKE_CURRENT_SOURCE_DIR}/dialect_run.sh $<TARGET_FILE:z6vm_batch> ${CMAKE_CURRENT_SOURCE_DIR}/dialect)
endif()
