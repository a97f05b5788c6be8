"""KDE Plasma 5.27 (kwin_wayland --virtual): the hotkey through the
GlobalShortcuts portal, keys pressed through KWin's fake input.

- F8 bound: the desktop reports the trigger in force; a hold of about a
  second gives one press and one release, a short tap one of each, and a
  focused client (wev) sees no F8 while it is bound.
- Rebound to F9: F9 fires, F8 no more and reaches the focused client again.
- The session closed: F9 fires nothing and reaches the focused client.
- The desktop check says KDE implements GlobalShortcuts itself.
"""

import statistics
import time

from scenario import FocusedClient, Talker, built, expect, figure, ms, run
from stacks import KdeStack

F8, F9 = 66, 67  # evdev codes
TOKEN = "snapwick_hotkey"


def tap(keys, code, hold_ms):
    keys.send(f"tap {code} {hold_ms}")
    words = keys.wait_for("ok", 10)
    return int(words[1]), int(words[2])


def body():
    with KdeStack() as stack:
        probe = stack.install_program(built("SNAPWICK_PORTAL_PROBE"))
        fake_key = stack.install_program(built("SNAPWICK_FAKE_KEY"))
        answer = stack.run_user([probe, "desktop"]).stdout.split()
        expect(answer == ["globalshortcuts", "yes"], f"the desktop check said {answer}")

        client = FocusedClient(stack)
        keys = Talker(stack, [fake_key], log="fake_key")
        keys.wait_for("ready", 10)
        # The client has the focus once it gets a key: wait for a harmless one.
        deadline = time.monotonic() + 15
        while not client.pressed("F7") and time.monotonic() < deadline:
            tap(keys, 65, 20)
            time.sleep(0.2)
        expect(client.pressed("F7"), "the focused client gets no keys at all")

        hotkey = Talker(stack, [probe, "shortcuts", TOKEN], log="shortcuts")
        hotkey.wait_for("ready", 10)
        bind_started = time.monotonic_ns()
        hotkey.send("bind 0x77")
        trigger = hotkey.wait_for("trigger", 15)
        figure("KDE GlobalShortcuts: Bind to the trigger reported", ms(int(trigger[1]) - bind_started))
        expect(trigger[2:] == ["F8", "F8"], f"the desktop reports {trigger[2:]}, not F8 for F8")

        # About a second held: one press, one release, at the key's times.
        down, up = tap(keys, F8, 1000)
        pressed = hotkey.wait_for("pressed", 5)
        released = hotkey.wait_for("released", 5)
        expect(not any(l.split()[0] in ("pressed", "released") for l in hotkey.lines_for(0.5)),
               "a held key gave more than one press and one release")
        press_delays = [int(pressed[1]) - down]
        release_delays = [int(released[1]) - up]
        expect(int(released[1]) - int(pressed[1]) > 900_000_000,
               "the release came before the key went up")

        # Taps: one press and one release each.
        for _ in range(5):
            down, up = tap(keys, F8, 30)
            pressed = hotkey.wait_for("pressed", 5)
            released = hotkey.wait_for("released", 5)
            press_delays.append(int(pressed[1]) - down)
            release_delays.append(int(released[1]) - up)
            time.sleep(0.05)
        expect(not any(l.split()[0] in ("pressed", "released") for l in hotkey.lines_for(0.3)),
               "a tap gave more than one press and one release")
        figure("KDE key down to Activated (6 presses, median / max)",
               f"{ms(statistics.median(press_delays))} / {ms(max(press_delays))}")
        figure("KDE key up to Deactivated (6 releases, median / max)",
               f"{ms(statistics.median(release_delays))} / {ms(max(release_delays))}")
        time.sleep(0.3)
        expect(client.pressed("F8") == 0, "the focused client saw F8 while it was bound")

        # Rebound to F9: a new session, the shortcut named after its key.
        hotkey.send("bind 0x78")
        trigger = hotkey.wait_for("trigger", 15)
        expect(trigger[2:] == ["F9", "F9"], f"after rebinding the desktop reports {trigger[2:]}")
        tap(keys, F8, 30)
        tap(keys, F9, 30)
        events = [l.split()[0] for l in hotkey.lines_for(1.0)]
        expect(events == ["pressed", "released"], f"F8 then F9 gave {events}, not F9's edges alone")
        time.sleep(0.3)
        expect(client.pressed("F8") == 1, "F8 did not reach the focused client once unbound")
        expect(client.pressed("F9") == 0, "the focused client saw F9 while it was bound")

        # Closed: the key belongs to applications again.
        hotkey.send("close")
        hotkey.wait_for("closed", 5)
        time.sleep(0.3)
        tap(keys, F9, 30)
        events = [l.split()[0] for l in hotkey.lines_for(1.0)]
        expect(events == [], f"after the session closed F9 still gave {events}")
        deadline = time.monotonic() + 3
        while client.pressed("F9") == 0 and time.monotonic() < deadline:
            time.sleep(0.05)
        expect(client.pressed("F9") == 1, "F9 did not reach the focused client after closing")
        hotkey.send("quit")
        hotkey.wait_for("quit", 10)
        for talker in (hotkey, keys):
            talker.close()


if __name__ == "__main__":
    run(body)
