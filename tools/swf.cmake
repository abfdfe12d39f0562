# zf-swf-scan: parses every tag of every movie under the given folders.
add_executable(zf-swf-scan ${CMAKE_CURRENT_LIST_DIR}/swf-scan.cpp)
target_link_libraries(zf-swf-scan PRIVATE zf_swf)

# zf-swf-dump: tags and disassembled scripts of one movie, for debugging.
add_executable(zf-swf-dump ${CMAKE_CURRENT_LIST_DIR}/swf-dump.cpp)
target_link_libraries(zf-swf-dump PRIVATE zf_swf)
