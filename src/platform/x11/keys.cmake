# The X11 layer's keys: the Windows-1251 text of set.ini. Pure code over
# iconv, so that the unit tests need no X server.
add_library(snapwick_x11_keys STATIC
  ${CMAKE_CURRENT_LIST_DIR}/windows1251.cpp)
target_include_directories(snapwick_x11_keys PUBLIC ${CMAKE_SOURCE_DIR}/src)
