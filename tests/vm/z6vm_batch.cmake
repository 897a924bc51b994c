# The script tests' runner of many z6vm command lines in one program.
add_executable(z6vm_batch ${CMAKE_CURRENT_SOURCE_DIR}/z6vm_batch.cpp)
target_link_libraries(z6vm_batch PRIVATE z6vm_runner)
