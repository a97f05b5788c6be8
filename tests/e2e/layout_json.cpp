// Prints the main window's layout as JSON: the client area and every
// control's rectangle in client pixels at a given DPI (96 unless told),
// with its kind, text and tab index, and the tray menu's items. The end-to-end
// scenarios take every rectangle from here instead of copying numbers.
//
//   snapwick_layout_json [DPI]

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "form/layout.h"

namespace {

using namespace snapwick::layout;

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Button:
      return "button";
    case Kind::Frame:
      return "frame";
    case Kind::Label:
      return "label";
    case Kind::CheckBox:
      return "checkbox";
    case Kind::Edit:
      return "edit";
    case Kind::Combo:
      return "combo";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  const int dpi = argc > 1 ? std::atoi(argv[1]) : 96;
  if (dpi <= 0) return 2;
  std::printf("{\n  \"dpi\": %d,\n  \"client\": [%d, %d],\n  \"controls\": {\n", dpi,
              TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi));
  const auto& controls = Controls();
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const Control& c = controls[i];
    const PixelRect r = PixelsInWindow(c, dpi);
    std::printf(
        "    %s: {\"kind\": \"%s\", \"text\": %s, \"rect\": [%d, %d, %d, %d], "
        "\"tab\": %d, \"focus\": %s}%s\n",
        Quoted(c.name).c_str(), KindName(c.kind), Quoted(c.text).c_str(), r.x, r.y, r.width,
        r.height, c.tabIndex, TakesFocus(c) ? "true" : "false", i + 1 < controls.size() ? "," : "");
  }
  std::printf("  },\n  \"tray_menu\": [");
  const auto& menu = TrayMenu();
  for (std::size_t i = 0; i < menu.size(); ++i) {
    std::printf("%s{\"name\": %s, \"caption\": %s}", i ? ", " : "", Quoted(menu[i].name).c_str(),
                Quoted(menu[i].caption).c_str());
  }
  std::printf("]\n}\n");
  return 0;
}
