# Tests of the X11 layer's keys against keymaps that xkbcommon compiles
# from the installed XKB data (xkb-data), and of its Windows-1251 text.
add_executable(snapwick_linux_keys_tests
  ${CMAKE_CURRENT_LIST_DIR}/keymap_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows1251_test.cpp)
target_link_libraries(snapwick_linux_keys_tests PRIVATE snapwick_linux_keys PkgConfig::XKBCOMMON
                                                      GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(snapwick_linux_keys_tests)
