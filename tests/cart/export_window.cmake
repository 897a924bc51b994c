# An exported Linux program started in a real window under Xvfb.
if(TARGET z6cart AND TARGET mkdatapod AND TARGET zibo6 AND TARGET windowcmp)
    if(ZIBO6_SANITIZE)
        set(sanitized 1)
    else()
        set(sanitized 0)
    endif()
    z6_add_script_test(cart_export_window
        sh ${CMAKE_CURRENT_SOURCE_DIR}/export_window.sh $<TARGET_FILE:z6cart>
           $<TARGET_FILE:mkdatapod> $<TARGET_FILE:zibo6> ${CMAKE_BINARY_DIR}/data.pod
           $<TARGET_FILE:windowcmp> ${CMAKE_SOURCE_DIR} ${sanitized})
endif()
