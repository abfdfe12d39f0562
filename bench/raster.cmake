# zf-raster-bench: renderer fill rates, strokes and a typical animation frame.
add_executable(zf-raster-bench ${CMAKE_CURRENT_LIST_DIR}/raster_bench.cpp)
target_link_libraries(zf-raster-bench PRIVATE zf_raster benchmark::benchmark_main)
