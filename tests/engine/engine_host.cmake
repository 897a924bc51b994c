# engine_host end to end: log.txt, config.txt across runs, perf reports, hostile files.
if(TARGET engine_host)
    z6_add_script_test(engine_host_script
        sh ${CMAKE_CURRENT_SOURCE_DIR}/engine_host_test.sh $<TARGET_FILE:engine_host>)
endif()
