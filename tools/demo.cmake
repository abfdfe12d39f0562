# zf-make-demo writes the demo movie; `demo-asset` regenerates assets/demo.swf
# (the file is kept in the repository, so normal builds never rewrite it).
add_executable(zf-make-demo ${CMAKE_CURRENT_LIST_DIR}/make_demo.cpp)
target_link_libraries(zf-make-demo PRIVATE zf_swfbuilder)
add_custom_target(demo-asset
  COMMAND zf-make-demo ${PROJECT_SOURCE_DIR}/assets/demo.swf
  DEPENDS zf-make-demo
  COMMENT "Writing assets/demo.swf")
