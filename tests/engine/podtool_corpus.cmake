# POD files: the hostile corpus through podtool (each must be refused with a
# message), in shards: every file is a podtool start, most of whose time is the
# sanitizers' start and leak check. Then podtool's own round trip.
if(TARGET podtool)
    z6_add_sharded_script_test(engine_podtool_corpus 4
        sh ${CMAKE_CURRENT_SOURCE_DIR}/pod_corpus/podtool_test.sh $<TARGET_FILE:podtool>
           ${CMAKE_CURRENT_SOURCE_DIR}/pod_corpus corpus)
    z6_add_script_test(engine_podtool_round_trip
        sh ${CMAKE_CURRENT_SOURCE_DIR}/pod_corpus/podtool_test.sh $<TARGET_FILE:podtool>
           ${CMAKE_CURRENT_SOURCE_DIR}/pod_corpus round_trip)
endif()
