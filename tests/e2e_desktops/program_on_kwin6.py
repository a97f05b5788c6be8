"""The program built here (a fresh copy of dist/snapwick-linux) on forky's
KWin 6.7, headless in its chroot, keys through KWin's fake input, windows
read through KWin's scripting, and every message on the session bus
watched (busctl's monitor). Headless KWin gives no picture (its screen
cast needs OpenGL, and its ScreenShot2 cancels every capture), so what
the program does with a key is seen in what it then asks of the desktop.

Refused: the program started with F9 in set.ini; Plasma's "Global
Shortcuts Requested" dialog declined (Escape): the title names no key,
the program's notice (its message box) says why, it asks for no screen
cast at all (no ScreenCast CreateSession on the bus), and F9 makes it ask
for nothing.

Bound: a fresh copy with F8; the dialog accepted (Enter): the title names
F8, the desktop lists F8 for the shortcut, and the program asks for the
screen once (CreateSession, SelectSources, Start: the chooser, accepted
with Enter, and KWin's answer 2). Every shot then goes to the Screenshot
portal ("Allow Snapwick to Take Screenshots?" accepted with Enter at the
first press; KWin answers 2 at once): each tap of F8 makes exactly one
request, soon after the press; a held F8 makes one request after another
while it is down and none after its release.

    program_on_kwin6.py    (the chroot forky; SNAPWICK_FAKE_KEY)
"""

import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from desktops import Kwin6  # noqa: E402
from portal_desktops import BusMonitor, desktop_data_dirs, listed_triggers  # noqa: E402
from program import Program, settings_record  # noqa: E402
from scenario import Talker, built, expect, figure, ms, run  # noqa: E402
from stacks import wait_until  # noqa: E402

ENTER, ESCAPE, F8, F9 = 28, 1, 66, 67  # evdev codes
VK_F9 = 0x78
SHORTCUTS_DIALOG = "Global Shortcuts Requested"
CHOOSER = "Share screen with Snapwick"
ALLOW_SCREENSHOTS = "Allow Snapwick to Take Screenshots?"
REGISTRY = "org.freedesktop.host.portal.Registry"
SCREEN_CAST = "org.freedesktop.portal.ScreenCast"
SCREENSHOT = "org.freedesktop.portal.Screenshot"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"


class Kde:
    def __init__(self, stack):
        self.stack = stack
        self.keys = Talker(stack, [stack.install_program(built("SNAPWICK_FAKE_KEY"))],
                           log="fake_key")
        self.keys.wait_for("ready", 10)

    def tap(self, code, hold_ms=30):
        self.keys.send(f"tap {code} {hold_ms}")
        words = self.keys.wait_for("ok", 10)
        return int(words[1]), int(words[2])

    def caption(self, pid):
        return next((w["caption"] for w in self.stack.windows() if w["pid"] == pid), None)

    def answer(self, caption, key):
        """Waits for the dialog titled `caption` to take the keyboard and
        answers it with `key`."""
        wait_until(f"the dialog {caption!r}", lambda: any(
            w["caption"] == caption and w["active"] for w in self.stack.windows()), 20,
            interval=0.1)
        self.tap(key)
        wait_until(f"the dialog {caption!r} to go", lambda: not any(
            w["caption"] == caption for w in self.stack.windows()), 10, interval=0.1)


def start(stack, bus, settings=None):
    """A fresh copy started; its own connection (the one that registers)."""
    shutil.rmtree(stack.root / "app", ignore_errors=True)
    app = Program.install(stack, settings)
    since = time.monotonic_ns()
    app.start(desktop_data_dirs(stack))
    sender = wait_until("the program's Register", lambda: bus.calls(REGISTRY, "Register", since),
                        20)[0].sender
    return app, since, sender


def refused(kde, bus):
    app, since, sender = start(kde.stack, bus, settings_record(80, 1, VK_F9, "F9"))
    bind = wait_until("BindShortcuts", lambda: bus.calls(SHORTCUTS, "BindShortcuts", since,
                                                         sender), 20)[-1]
    kde.answer(SHORTCUTS_DIALOG, ESCAPE)
    answer = wait_until("BindShortcuts' answer", lambda: bus.response_to(bind), 10)
    wait_until("the title without a key", lambda: kde.caption(app.proc.pid) == "Snapwick 1.1", 10)
    # The refusal is told in the program's own notice (its message box,
    # titled with the program's name), not only by the title.
    wait_until("the program's notice", lambda: any(
        w["pid"] == app.proc.pid and w["caption"] == "Snapwick" for w in kde.stack.windows()), 10,
        interval=0.2)
    kde.tap(F9)
    time.sleep(2.0)
    casts = bus.calls(SCREEN_CAST, "CreateSession", since, sender)
    shots = bus.calls(SCREENSHOT, "Screenshot", since, sender)
    expect(not casts and not shots, f"with no key the program asked for {casts + shots}")
    expect(listed_triggers(answer) in ({}, {"shot_F9": ""}),
           f"the declined dialog's answer lists {listed_triggers(answer)}")
    expect(app.terminate() == 0, "SIGTERM did not end the program with status 0")
    print("declined: the title names no key, the notice is up, no screen cast asked for, F9 "
          "asks nothing",
          flush=True)


def requests_between(bus, sender, start_ns, end_ns):
    return [c for c in bus.calls(SCREENSHOT, "Screenshot", start_ns, sender) if c.at <= end_ns]


def bound(kde, bus):
    app, since, sender = start(kde.stack, bus)
    kde.answer(SHORTCUTS_DIALOG, ENTER)
    bind = bus.calls(SHORTCUTS, "BindShortcuts", since, sender)[-1]
    answer = wait_until("BindShortcuts' answer", lambda: bus.response_to(bind), 10)
    expect(listed_triggers(answer) == {"shot_F8": "F8"},
           f"the desktop lists {listed_triggers(answer)} for F8")
    expect(kde.caption(app.proc.pid) == "Snapwick 1.1 (HotKey:F8)",
           f"the title is {kde.caption(app.proc.pid)!r}")
    # The screen is asked for once the key is bound: the chooser.
    kde.answer(CHOOSER, ENTER)
    start_call = wait_until("ScreenCast Start", lambda: bus.calls(SCREEN_CAST, "Start", since,
                                                                  sender), 10)[-1]
    cast = wait_until("Start's answer", lambda: bus.response_to(start_call), 20).data[0]
    expect(cast == 2, f"headless KWin answered Start with {cast}, not 2")
    print(f"bound: BindShortcuts answered {answer.data[0]}, F8 listed and in the title, the "
          f"chooser accepted, Start answered {cast}", flush=True)

    # The first shot asks the desktop's permission once.
    down, _ = kde.tap(F8)
    kde.answer(ALLOW_SCREENSHOTS, ENTER)
    first = wait_until("the first Screenshot request", lambda: requests_between(
        bus, sender, down, time.monotonic_ns()), 10)
    wait_until("the first Screenshot's answer", lambda: bus.response_to(first[0]), 10)
    time.sleep(1.0)

    # Headless KWin's portal holds the release back while it serves a
    # Screenshot (Deactivated comes with its answer, 0.1-0.4 s after the
    # key went up), so the edges are taken as the program hears them: the
    # Activated and Deactivated the front end sends it.
    taps_from = time.monotonic_ns()
    for _ in range(4):
        kde.tap(F8)
        time.sleep(1.0)
    kde.tap(F8, 1500)
    time.sleep(1.5)
    edges = list(zip(
        [m.at for m in bus.signals(SHORTCUTS, "Activated", taps_from, sender)],
        [m.at for m in bus.signals(SHORTCUTS, "Deactivated", taps_from, sender)]))
    expect(len(edges) == 5, f"5 presses of F8 reached the program as {len(edges)} press and "
                            "release pairs")
    asked = [c.at for c in bus.calls(SCREENSHOT, "Screenshot", taps_from, sender)]
    ends = [a for a, _ in edges[1:]] + [time.monotonic_ns()]
    delays = []
    for (pressed, released), next_press in zip(edges, ends):
        during = [t for t in asked if pressed <= t <= released + 200e6]
        late = [t for t in asked if released + 200e6 < t < next_press]
        expect(during and during[0] - pressed < 200e6,
               f"no Screenshot request within 200 ms of a press ({len(during)} in its hold)")
        expect(not late, f"{len(late)} Screenshot request(s) more than 200 ms after a release")
        delays.append(during[0] - pressed)
    pressed, released = edges[-1]
    held = [t for t in asked if pressed <= t <= released]
    print(f"F8 held 1.5 s: {len(held)} Screenshot requests while the program heard it down, "
          f"none after its release", flush=True)
    expect(len(held) >= 5 and held[-1] > released - 400e6,
           f"F8 held 1.5 s made {len(held)} requests, not one after another until the release")
    figure("KWin 6.7: the program's Screenshot request after Activated (5 presses, max)",
           ms(max(delays)))
    expect(app.terminate() == 0, "SIGTERM did not end the program with status 0")


def body():
    with Kwin6() as stack:
        kde = Kde(stack)
        bus = BusMonitor(stack)
        refused(kde, bus)
        bound(kde, bus)
        kde.keys.close()


if __name__ == "__main__":
    run(body, deadline=200)
