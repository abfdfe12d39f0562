# SWF reader benchmarks: header probe and full parse.
add_executable(zf-swf-bench ${CMAKE_CURRENT_LIST_DIR}/swf_bench.cpp)
target_link_libraries(zf-swf-bench PRIVATE zf_swf zf_swfbuilder benchmark::benchmark)
