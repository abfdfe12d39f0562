# GUI tests: the real main window driven with QTest events (offscreen under
# ctest); fixture movies are written with the SWF builder.
if(TARGET zf_swfbuilder)
  zf_add_test(NAME gui_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui_test_support.cpp
            ${CMAKE_CURRENT_LIST_DIR}/main_window_test.cpp
    LIBS zentiq_gui zf_swfbuilder Qt6::Test)
  target_include_directories(gui_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  set_target_properties(gui_tests PROPERTIES AUTOMOC ON)
endif()

# Seek latency, opening time and a screenshot of the window: measured, never
# asserted in a test.
if(TARGET zf_swfbuilder)
  add_executable(zentiq-gui-measure ${CMAKE_CURRENT_LIST_DIR}/gui_measure.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/gui_test_support.cpp)
  target_link_libraries(zentiq-gui-measure PRIVATE zentiq_gui zf_swfbuilder Qt6::Test)
  target_include_directories(zentiq-gui-measure PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
endif()
