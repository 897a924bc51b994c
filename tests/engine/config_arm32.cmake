# The configuration tests once more with the 32-bit ARM branches compiled in:
# config.cpp and vull.cpp are built into the program itself, so its objects win over the
# engine library's.
z6_add_test(engine_test_config_arm32
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_config.cpp ${CMAKE_SOURCE_DIR}/engine/config.cpp
            ${CMAKE_SOURCE_DIR}/engine/vull.cpp)
target_compile_definitions(engine_test_config_arm32 PRIVATE ZIBO6_ARM32=1)
