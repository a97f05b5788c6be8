// What raw input and the key's state show of a key under Wine while another
// program has the focus: a message-only window registered for the
// keyboard's raw input with RIDEV_INPUTSINK prints every report it gets,
// and a 50 ms high-resolution timer prints each change of
// GetAsyncKeyState for the watched key, both with the time since start.
// None of Snapwick's code: the plain calls, so that what it prints is
// Wine's behaviour and not the program's.
//
//   snapwick_raw_input_probe.exe [--seconds N] [--key VK]
//
// It prints "ready" once registered, and "done" after N seconds (20 by
// default); the key is F8 (0x77) unless given.

#include "platform/win32/windows_inc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

LARGE_INTEGER start{};
LARGE_INTEGER frequency{};

double Now() {
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INPUT) {
    RAWINPUT input{};
    UINT size = sizeof(input);
    if (::GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, &input, &size,
                          sizeof(RAWINPUTHEADER)) != static_cast<UINT>(-1) &&
        input.header.dwType == RIM_TYPEKEYBOARD) {
      const RAWKEYBOARD& k = input.data.keyboard;
      std::printf("%10.1f ms  raw %-4s vkey 0x%02X make 0x%02X flags 0x%X %s\n", Now(),
                  (k.Flags & RI_KEY_BREAK) ? "up" : "down", k.VKey, k.MakeCode, k.Flags,
                  GET_RAWINPUT_CODE_WPARAM(wParam) == RIM_INPUTSINK ? "(sink: in the background)"
                                                                    : "(in front)");
      std::fflush(stdout);
    }
  }
  return ::DefWindowProcW(window, msg, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 20;
  int key = VK_F8;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--key") == 0)
      key = static_cast<int>(std::strtol(argv[i + 1], nullptr, 0));
  }
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);

  WNDCLASSW wc{};
  wc.lpfnWndProc = &Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"SnapwickRawInputProbe";
  ::RegisterClassW(&wc);
  HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
  const RAWINPUTDEVICE device{0x01, 0x06, RIDEV_INPUTSINK, window};
  if (!window || !::RegisterRawInputDevices(&device, 1, sizeof(device))) {
    std::printf("RegisterRawInputDevices failed: error %lu\n", ::GetLastError());
    return 1;
  }
  HANDLE timer = ::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
  if (!timer) {
    std::printf("no high-resolution timer: error %lu\n", ::GetLastError());
    return 1;
  }
  LARGE_INTEGER period{};
  period.QuadPart = -50 * 10000;
  ::SetWaitableTimer(timer, &period, 50, nullptr, nullptr, FALSE);
  std::printf("ready: watching key 0x%02X for %d s\n", key, seconds);
  std::fflush(stdout);

  bool down = false;
  const double end = seconds * 1000.0;
  while (Now() < end) {
    const DWORD woke =
        ::MsgWaitForMultipleObjectsEx(1, &timer, 100, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    if (woke == WAIT_OBJECT_0) {
      const bool now = (::GetAsyncKeyState(key) & 0x8000) != 0;
      if (now != down) {
        std::printf("%10.1f ms  tick sees the key %s\n", Now(), now ? "down" : "up");
        std::fflush(stdout);
        down = now;
      }
    }
  }
  std::printf("done\n");
  ::CloseHandle(timer);
  ::DestroyWindow(window);
  return 0;
}
