"""Which physical key fires the hotkey on a real sway, typed on a virtual
keyboard with a real keymap (bench/wayland_key_injector.cpp) in the
layout sway is configured with: each code must fire on the key the X11
build watches for it, and not on the key next to it.

- German first layout: 'Z' is the key of the US Y; digits, F13, both Shift
  keys, Ctrl, Alt and AltGr, the Windows key, the keypad's 5 (VK_CLEAR
  with Num Lock off, VK_NUMPAD5 not), Caps Lock;
- Russian first layout: the letters are where a US keyboard has them, which
  only the keymap tells (sway's own translation finds no Latin letter).

    hotkey_keymaps.py CLIENT KEYS   (wayland_client, snapwick_bench_wayland_keys)
"""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from sway_session import expect, run  # noqa: E402

CLIENT, KEYS = Path(sys.argv[1]), Path(sys.argv[2])

# (virtual key, evdev code typed, whether it must fire, what)
GERMAN = [
    (0x5A, 21, True, "Z on the US Y key"),
    (0x5A, 44, False, "Z not on the US Z key (Y there)"),
    (ord("1"), 2, True, "1"),
    (0x7C, 183, True, "F13"),
    (0x10, 42, True, "left Shift"),
    (0x10, 54, True, "right Shift"),
    (0x11, 29, True, "left Ctrl"),
    (0x12, 56, True, "Alt"),
    (0x12, 100, True, "AltGr"),
    (0x5B, 125, True, "left Windows"),
    (0x0C, 76, True, "keypad 5 with Num Lock off"),
    (0x65, 76, False, "keypad 5 is no VK_NUMPAD5 with Num Lock off"),
    (0x14, 58, True, "Caps Lock"),
]
RUSSIAN = [
    (ord("F"), 33, True, "F on the key of А"),
    (ord("F"), 30, False, "F not on the key of Ф"),
    (0x77, 66, True, "F8"),
]


def check_layout(s, layout, cases, first_layout_known):
    sway = s.sway(layout, config=f"input * xkb_layout {layout}\n")
    client = sway.start_client(CLIENT, tag=f"client-{layout}")
    if first_layout_known:
        expect(client.ask(f"layout {layout}") == f"layout {layout}", "the client compiled no keymap")
    keys = sway.start_keyboard(KEYS, layout)

    def tap(code, fires):
        keys.press(code)
        time.sleep(0.03)
        keys.release(code)
        # A key that fires may take its time on a busy machine; the failure
        # is told with the whole table's below.
        deadline = time.monotonic() + (5 if fires else 0)
        while len(client.edges) < 2 and time.monotonic() < deadline:
            time.sleep(0.02)
        time.sleep(0.15)  # anything more, or anything at all, would have come by now
        return [down for down, _ in client.take_edges()]

    failures = []
    for vk, code, fires, what in cases:
        expect(client.ask(f"watch {vk}") == "watch 1", f"{layout}: sway did not bind 0x{vk:02x} ({what})")
        got = tap(code, fires)
        want = [True, False] if fires else []
        if got != want:
            failures.append(f"{what}: edges {got}")
    expect(not failures, f"{layout}: " + "; ".join(failures))
    expect(client.quit() == 0, "the client did not end cleanly")


def body(s):
    check_layout(s, "de", GERMAN, first_layout_known=False)
    check_layout(s, "ru", RUSSIAN, first_layout_known=True)


run("wayland_hotkey_keymaps", body)
