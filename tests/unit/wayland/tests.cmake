# Tests of the Wayland layer's own decisions: the key table against
# keymaps compiled from the installed XKB data (and the X11 build's keys
# for the same codes), the names of keys from the keymaps a compositor
# sends, sway's IPC framing and events, the hotkey (the layer's own and
# the platform's source over it) over a socket that answers as sway does,
# and the picture of a turned output set upright.
add_executable(snapwick_wayland_tests
  ${CMAKE_CURRENT_LIST_DIR}/output_transform_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/seat_key_names_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sway_hotkey_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sway_ipc_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sway_keys_test.cpp)
target_link_libraries(snapwick_wayland_tests PRIVATE snapwick_platform_wayland snapwick_linux_keys
                                                     PkgConfig::XKBCOMMON GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(snapwick_wayland_tests)
