# The Qt program: flash/, app/, playback/, library/, chrome/.
# zentiq_gui holds everything but main() so that the GUI tests link it.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

# Headers with Q_OBJECT classes are listed so that AUTOMOC finds them.
add_library(zentiq_gui STATIC
  flash/shockwave_flash.h playback/playback.h library/library.h app/main_window.h app/app_p.h
  flash/shockwave_flash.cpp flash/key_codes.cpp
  playback/frame_bar.cpp playback/number_rule.cpp playback/opening.cpp
  playback/transport.cpp playback/view_options.cpp
  library/play_list.cpp library/movie_list_view.cpp library/movie_list.cpp
  app/main_window.cpp app/message_hook.cpp app/size_panel.cpp app/dialogs.cpp
  chrome/menus.cpp)
set_target_properties(zentiq_gui PROPERTIES AUTOMOC ON)
target_include_directories(zentiq_gui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zentiq_gui PUBLIC zflash Qt6::Widgets)

add_executable(zentiq app/main.cpp)
target_link_libraries(zentiq PRIVATE zentiq_gui)

# Unit tests of the pure pieces, beside their code.
zf_add_test(NAME gui_unit_tests
  SOURCES flash/key_codes_test.cpp playback/number_rule_test.cpp library/play_list_test.cpp
  LIBS zentiq_gui)

include(${PROJECT_SOURCE_DIR}/tests/gui/gui_tests.cmake OPTIONAL)
