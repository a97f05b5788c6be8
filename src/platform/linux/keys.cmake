# The Linux layer's keys: Windows virtual-key codes and key names from the
# XKB keymap, and the Windows-1251 text of set.ini. Pure code over
# libxkbcommon and iconv, so that the unit tests need no X server.
find_package(PkgConfig REQUIRED)
if(NOT TARGET PkgConfig::XKBCOMMON)
  pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET GLOBAL xkbcommon)
endif()

add_library(snapwick_linux_keys STATIC
  ${CMAKE_CURRENT_LIST_DIR}/keymap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows1251.cpp)
target_include_directories(snapwick_linux_keys PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(snapwick_linux_keys PRIVATE PkgConfig::XKBCOMMON)
