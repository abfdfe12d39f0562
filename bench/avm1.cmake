# zf-avm1-bench: interpreter throughput on tight ActionScript loops.
add_executable(zf-avm1-bench ${CMAKE_CURRENT_SOURCE_DIR}/avm1_interpreter.cpp)
target_link_libraries(zf-avm1-bench PRIVATE zf_avm1 benchmark::benchmark_main)
