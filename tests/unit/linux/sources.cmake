# The tests of the Linux layer, in a program of their own that runs them
# inside one QApplication on Qt's offscreen platform.
set(SNAPWICK_LINUX_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/app_icon_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compositor_key_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files_posix_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux_platform_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/session_choice_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/session_end_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/session_kind_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/single_instance_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_player_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/termination_signals_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_events_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_menu_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_scale_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux_test_main.cpp)
