# The tests of the X11 session's parts that need no X server: the copy's
# choices and the hotkey's edges.
set(SNAPWICK_X11_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/copy_plan_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_edges_test.cpp)
