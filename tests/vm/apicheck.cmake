# The object-model tests once more against an API built with its argument
# checks turned into asserts (LUA_USE_APICHECK): the objects holding checks are
# compiled into the program, so the vm archive's copies are never pulled in.
set(apicheck_sources
    ${CMAKE_CURRENT_SOURCE_DIR}/test_table.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_string.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_gc.cpp
    ${CMAKE_SOURCE_DIR}/vm/lapi.cpp
    ${CMAKE_SOURCE_DIR}/vm/ldo.cpp
    ${CMAKE_SOURCE_DIR}/vm/ldebug.cpp
    ${CMAKE_SOURCE_DIR}/vm/lstate.cpp)
z6_add_test(vm_apicheck SOURCES ${apicheck_sources})
target_compile_definitions(vm_apicheck PRIVATE LUA_USE_APICHECK)
