# zf-filters-bench: bitmap filter passes on stage-sized images.
add_executable(zf-filters-bench ${CMAKE_CURRENT_LIST_DIR}/filters_bench.cpp)
target_link_libraries(zf-filters-bench PRIVATE zf_raster benchmark::benchmark_main)
