#pragma once
// The benchmark's screen: see desktop_picture.cpp.

#include <cstdint>
#include <vector>

// BGRX rows, width * 4 bytes apart.
std::vector<std::uint8_t> DesktopPicture(int width, int height);
