# TEMPORARY STAND-IN for the keyboard mapping and Windows-1251 module; the
# module's own keys.cmake replaces this file when it is merged.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
add_library(snapwick_x11_keys STATIC
  ${CMAKE_CURRENT_LIST_DIR}/keymap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows1251.cpp)
target_link_libraries(snapwick_x11_keys PUBLIC PkgConfig::XKBCOMMON)
target_include_directories(snapwick_x11_keys PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/include)
