# The tests of the portal layer: what it decides alone, and its talk with a
# desktop portal played by a fake on a private session bus.
set(SNAPWICK_PORTAL_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/app_id_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/desktop_backends_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fake_portal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_store_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/global_shortcuts_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portal_hotkey_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portal_screen_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portal_test_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/restore_token_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/screen_cast_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/screenshot_portal_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shortcut_trigger_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/video_format_test.cpp)
