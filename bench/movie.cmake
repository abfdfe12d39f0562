# zf-movie-bench: building a movie definition and the header-only probe.
add_executable(zf-movie-bench ${CMAKE_CURRENT_LIST_DIR}/movie_bench.cpp)
target_link_libraries(zf-movie-bench PRIVATE zflash zf_movie zf_swfbuilder benchmark::benchmark_main)
