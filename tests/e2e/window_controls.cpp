// Prints, as JSON, the controls of a shown top-level window whose title
// starts with a given text: each direct child window's class, text (UTF-8),
// check state, style and rectangle in the window's client area, and the client area's
// origin on the screen. Run under Wine in the prefix of a running program,
// it shows the window as the Windows build made it, for the scenarios that
// hold that window against the native one.
//
//   snapwick_window_controls TITLE_START

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

// Asked of the window itself: for another process's window GetWindowText
// gives only the caption stored with it, never a combo box's text.
std::wstring TextOf(HWND hwnd) {
  wchar_t text[1024] = L"";
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &copied)) {
    return {};
  }
  return std::wstring(text, static_cast<std::size_t>(copied));
}

// BST_CHECKED, or -1 where the control cannot say.
long long CheckOf(HWND hwnd) {
  DWORD_PTR state = 0;
  if (!::SendMessageTimeoutW(hwnd, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state)) return -1;
  return static_cast<long long>(state);
}

struct Search {
  std::wstring start;
  HWND found = nullptr;
};

BOOL CALLBACK OnTopLevel(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (::IsWindowVisible(hwnd) && TextOf(hwnd).rfind(search->start, 0) == 0) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

struct Children {
  HWND parent;
  std::vector<HWND> found;
};

BOOL CALLBACK OnChild(HWND hwnd, LPARAM param) {
  auto* children = reinterpret_cast<Children*>(param);
  // Only the window's own controls, not the edit field inside the combo box.
  if (::GetAncestor(hwnd, GA_PARENT) == children->parent) children->found.push_back(hwnd);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: snapwick_window_controls TITLE_START\n", stderr);
    return 2;
  }
  Search search{argv[1]};
  ::EnumWindows(&OnTopLevel, reinterpret_cast<LPARAM>(&search));
  if (!search.found) {
    std::fputs("no shown window with that title\n", stderr);
    return 1;
  }
  HWND window = search.found;
  POINT origin{0, 0};
  ::ClientToScreen(window, &origin);
  RECT client{};
  ::GetClientRect(window, &client);

  Children controls{window, {}};
  ::EnumChildWindows(window, &OnChild, reinterpret_cast<LPARAM>(&controls));
  const std::vector<HWND>& children = controls.found;

  std::string out = "{\n  \"title\": " + Quoted(Utf8(TextOf(window))) + ",\n  \"client\": [" +
                    std::to_string(origin.x) + ", " + std::to_string(origin.y) + ", " +
                    std::to_string(client.right) + ", " + std::to_string(client.bottom) +
                    "],\n  \"controls\": [";
  for (std::size_t i = 0; i < children.size(); ++i) {
    HWND child = children[i];
    wchar_t className[64] = L"";
    ::GetClassNameW(child, className, 64);
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
    out += std::string(i ? "," : "") + "\n    {\"class\": " + Quoted(Utf8(className)) +
           ", \"text\": " + Quoted(Utf8(TextOf(child))) +
           ", \"checked\": " + std::to_string(CheckOf(child)) +
           ", \"style\": " + std::to_string(::GetWindowLongW(child, GWL_STYLE)) + ", \"rect\": [" +
           std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
           std::to_string(r.right - r.left) + ", " + std::to_string(r.bottom - r.top) + "]}";
  }
  out += "\n  ]\n}\n";
  // Bytes as they are: the texts are UTF-8 already.
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
