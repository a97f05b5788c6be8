#pragma once
// How large the window is drawn: the dots per inch at which the layout
// table's twips become the window's own pixels, as the Windows build
// converts them at the monitor's DPI.
//
// Qt's own scaling is off on X11: the window is laid out in device pixels
// at the screen's logical DPI (Xft.dpi, from the X resources or the
// desktop's XSETTINGS), which Qt's styles and point-sized fonts (the
// message box, the menus) follow as well, so the whole program grows
// together and every text is drawn at its real size, never stretched. A
// Wayland output scale would feed the same conversion: the scale times 96
// where the program lays out in device pixels, or 96 where Qt's device
// pixel ratio carries the scale.

class QScreen;

namespace snapwick::linux {

// The window's size and pixels are those of the Windows build at 96 DPI,
// the least it is drawn at.
inline constexpr int kBaseDpi = 96;
// Windows' largest scale, 500 %: a larger value is a broken setting.
inline constexpr int kLargestDpi = 480;

// A screen's logical DPI rounded to the DPI the window is laid out at; an
// unusable value (none, below 96, not a number) gives 96.
int LayoutDpi(double logicalDpi);

// The layout DPI of a screen; 96 without one.
int LayoutDpiOf(const QScreen* screen);

}  // namespace snapwick::linux
