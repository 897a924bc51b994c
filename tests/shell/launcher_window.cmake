# The launcher in a real window on the real data.pod, with disk audio. It
# needs load() of embedded carts: while that is still the stand-in under
# tools/standins the test is not registered, and it turns on by itself when
# the stand-in goes.
set(z6_run_standins_file ${CMAKE_SOURCE_DIR}/tools/standins/console_run_standins.cpp)
set(z6_embedded_load_standin -1)
if(EXISTS ${z6_run_standins_file})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${z6_run_standins_file})
    file(READ ${z6_run_standins_file} z6_run_standins)
    string(FIND "${z6_run_standins}" "z6_standin_load_embedded_cart" z6_embedded_load_standin)
endif()
if(TARGET zibo6 AND z6_embedded_load_standin EQUAL -1)
    z6_add_script_test(shell_launcher_window
        sh ${CMAKE_CURRENT_SOURCE_DIR}/launcher_window.sh $<TARGET_FILE:zibo6>
           ${CMAKE_BINARY_DIR}/data.pod ${CMAKE_SOURCE_DIR})
endif()
