# zf-swf-scan: parses every tag of every movie under the given folders.
add_executable(zf-swf-scan ${CMAKE_CURRENT_LIST_DIR}/swf-scan.cpp)
target_link_libraries(zf-swf-scan PRIVATE zf_swf)
