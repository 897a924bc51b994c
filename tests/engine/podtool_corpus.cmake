# POD files: the hostile corpus through podtool (each must be refused with a message).
if(TARGET podtool)
    z6_add_script_test(engine_podtool_corpus
        sh ${CMAKE_CURRENT_SOURCE_DIR}/pod_corpus/podtool_test.sh $<TARGET_FILE:podtool>
           ${CMAKE_CURRENT_SOURCE_DIR}/pod_corpus)
endif()
