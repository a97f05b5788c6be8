"""The hotkey on a real headless sway, keys typed through the virtual-keyboard
protocol (wtype) while another client (wev) has the focus:

- F8 held 300 ms gives exactly one down and one up, 300 ms apart, and a
  20 ms tap one of each; the focused client gets no F8 while it is bound;
- after `swaymsg reload` the key still works;
- a key the user's configuration binds is not taken, and the user's
  binding still runs;
- Unbind, and the end of the program, give F8 back: wev receives it.

    hotkey_bindings.py CLIENT    (tests/e2e_wayland/wayland_client.cpp)
"""

import re
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from sway_session import expect, run, wait_until  # noqa: E402

CLIENT = Path(sys.argv[1])
VK_F8, VK_F9 = 0x77, 0x78


def body(s):
    marker = s.tmp / "users-own-binding-ran"
    sway = s.sway("keys", config=f"bindsym F9 exec touch {marker}\n")
    s.tmp.chmod(0o777)  # the user's binding writes its marker there

    wev_log = s.out / "wev.log"
    sway.spawn_as_user(["stdbuf", "-oL", "wev"], "wev.log")
    wait_until(lambda: wev_log.exists() and "activated" in wev_log.read_text(errors="replace"), 10,
               "wev's window was not shown with the focus")
    # A seat without input devices has no keyboard until a virtual one
    # comes: a first key, so that wev has its keyboard before counting.
    sway.wtype("-k", "Escape")
    wait_until(lambda: "sym: Escape" in wev_log.read_text(errors="replace"), 10,
               "wev did not receive a key typed with wtype")

    # Counted by their releases: each wtype brings a keyboard of its own, and
    # a press that comes before wev has taken the new keyboard reaches it
    # only as a key already down when the focus enters, never as a press.
    def f8_in_wev():
        return len(re.findall(r"state: 0 \(released\)\n\s+sym: F8\b", wev_log.read_text(errors="replace")))

    client = sway.start_client(CLIENT)

    def edges_after(keys, count, what):
        before = f8_in_wev()
        sway.wtype(*keys)
        wait_until(lambda: len(client.edges) >= count, 5, f"{what}: {len(client.edges)} edges of {count}")
        time.sleep(0.2)  # anything more would have come by now
        edges = client.take_edges()
        expect(f8_in_wev() == before, f"{what}: the focused client received F8 while it was bound")
        return edges

    expect(client.ask(f"watch {VK_F8}") == "watch 1", "sway did not bind F8")

    held = edges_after(["-P", "F8", "-s", "300", "-p", "F8"], 2, "F8 held 300 ms")
    expect([down for down, _ in held] == [True, False], f"F8 held 300 ms gave {held}")
    gap_ms = (held[1][1] - held[0][1]) / 1e6
    expect(250 <= gap_ms <= 1000, f"down and up {gap_ms:.0f} ms apart for a 300 ms hold")
    s.log(f"held 300 ms: down, up {gap_ms:.1f} ms later")

    tap = edges_after(["-P", "F8", "-s", "20", "-p", "F8"], 2, "a 20 ms tap")
    expect([down for down, _ in tap] == [True, False], f"a 20 ms tap gave {tap}")

    # A reload drops the bindings added at run time; they come back.
    sway.swaymsg("reload")
    wait_until(lambda: client.reloads == 1, 5, "the client did not hear of the reload")
    again = edges_after(["-P", "F8", "-s", "20", "-p", "F8"], 2, "after a reload")
    expect([down for down, _ in again] == [True, False], f"after a reload F8 gave {again}")

    # The user's own F9 stays the user's.
    expect(client.ask(f"watch {VK_F9}") == "watch 0", "F9, bound by the configuration, was taken")
    sway.wtype("-k", "F9")
    wait_until(marker.exists, 5, "the user's own F9 binding no longer runs")
    expect(not client.take_edges(), "edges reported for a key the program does not watch")

    # Given back: by Unbind, then by the program's end.
    expect(client.ask(f"watch {VK_F8}") == "watch 1", "sway did not bind F8 again")
    expect(client.ask("unbind") == "unbound", "no answer to unbind")
    before = f8_in_wev()
    sway.wtype("-k", "F8")
    wait_until(lambda: f8_in_wev() == before + 1, 5, "after Unbind the focused client did not get F8")
    expect(client.ask(f"watch {VK_F8}") == "watch 1", "sway did not bind F8 after Unbind")
    expect(client.quit() == 0, "the client did not end cleanly")
    sway.wtype("-k", "F8")
    wait_until(lambda: f8_in_wev() == before + 2, 5, "after the program ended the focused client did not get F8")
    expect(not client.take_edges(), "edges reported after Unbind")


run("wayland_hotkey_bindings", body)
