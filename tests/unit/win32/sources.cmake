# The tests of the Win32 layer, built into the Windows unit-test program.
set(SNAPWICK_WIN32_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/exe_folder_win_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files_win_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hotkey_win_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/keyboard_win_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/screen_win_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shot_win_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_win_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tick_win_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_win_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_win_test.cpp)
