"""The program itself on KDE Plasma 5.27 (kwin_wayland --virtual), a fresh
copy of dist/snapwick-linux run as the desktop's user, keys pressed through
KWin's fake input, windows read and focused through KWin's scripting.

First run (no token yet): KDE's ScreenCast chooser comes up at start and
is accepted; the restore token lands beside set.ini. The program binds F8
through GlobalShortcuts (the title names F8: the desktop holds that very
key). Headless kwin's stream carries no frames, so every shot comes
through the Screenshot fallback: F8 held about 1 s gives consecutive shots
that match the known picture, a tap gives one; the rate and the time from
the key to the file are printed. F8 held 3 s while a panel (a
StatusNotifier watcher of the tests' own) reads the tray item's title
again and again: the window's thread answers within RESPONSE_MEDIAN_MS /
RESPONSE_MAX_MS, and the bus never carries more than one Screenshot
request in flight. "Выход" (the focused button, Space), pressed while F8
is held and a request is in flight, ends it and leaves no picture file
of the portal behind; F8 then reaches the focused application (wev).

Second run: the token starts the stream without a dialog; while it runs
F8 makes shots and never reaches wev, and none of the program's
descriptors (its connection to PipeWire among them) is inherited by a
program it starts. SIGTERM while F8 is held and a request is in flight
ends it with no file left behind; F8 then reaches wev again.

Third run: F9 typed into the window and applied: set.ini holds F9, the
title names F9, F9 makes a shot, F8 none.

The portal here (xdg-desktop-portal 1.16) has no host registry: no desktop
entry is written into the user's folder.
"""

import json
import statistics
import time

from pictures import mismatches
from program import TOKEN_FILE, Program, settings_record
from scenario import (HERE, FocusedClient, Talker, built, expect, figure, inherited_descriptors, ms,
                      pipewire_connections, run)
from stacks import HEIGHT, WIDTH, KdeStack, wait_until

F8, F9, SPACE = 66, 67, 57  # evdev codes
VK_F9 = 0x78
# KDE's chooser (placed over the program's window, 656x536 with its frame):
# its second tile (the output itself; the first makes a new virtual
# output) and Share, from the frame's top left corner.
OUTPUT_TILE = (480, 238)
SHARE = (517, 511)
CHOOSER = "Screen Sharing"
# The window's client area at 96 DPI, under kwin's title bar, and the
# middle of Apply in it: its twips rectangle (4800, 2640, 2055, 375) / 15.
CLIENT = (463, 210)
APPLY = (388, 188)
# A shot decoded from a q80 JPEG: flat blocks come back within a few steps.
JPEG_TOLERANCE = 12
# The window's thread answering a D-Bus call while a held key's shots go
# through the Screenshot portal (median / longest, ms). Its longest task
# is then one shot's compression and write (1080p: 10-30 ms here, more
# under the other builds' load); a Screenshot request itself (0.25-1.5 s
# on headless KDE) must never be waited for there, which is what held the
# answers at 377-431 ms median and 984 ms at worst. Leaves room for a
# loaded 2-core machine.
RESPONSE_MEDIAN_MS, RESPONSE_MAX_MS = 50, 250
WATCHER = HERE.parent / "e2e_native" / "status_notifier_watcher.py"
REQUEST_PATH = "/org/freedesktop/portal/desktop/request"


class Keys:
    def __init__(self, stack):
        self.talker = Talker(stack, [stack.install_program(built("SNAPWICK_FAKE_KEY"))],
                             log="fake_key")
        self.talker.wait_for("ready", 10)

    def down(self, code):
        self.talker.send(f"down {code}")
        return int(self.talker.wait_for("ok", 10)[1])

    def up(self, code):
        self.talker.send(f"up {code}")
        return int(self.talker.wait_for("ok", 10)[1])

    def tap(self, code, hold_ms=30):
        self.talker.send(f"tap {code} {hold_ms}")
        words = self.talker.wait_for("ok", 10)
        return int(words[1]), int(words[2])

    def click(self, x, y):
        self.talker.send(f"click {x} {y}")
        self.talker.wait_for("ok", 5)


class ScreenshotRequests:
    """The Screenshot portal's requests on the session bus, seen through
    busctl's monitor (run as the desktop's user): how many were asked, how
    many were in flight at once at most, and how many are now."""

    def __init__(self, stack):
        matches = ["type='method_call',interface='org.freedesktop.portal.Screenshot',"
                   "member='Screenshot'",
                   "type='signal',interface='org.freedesktop.portal.Request',member='Response'"]
        self.talker = Talker(stack, ["busctl", "--user", "monitor", "--json=short",
                                     *(f"--match={m}" for m in matches)], log="bus_monitor")
        self.waiting = set()
        self.asked = 0
        self.most = 0
        time.sleep(1.0)  # the monitor says nothing on stdout once it listens

    def follow(self, seconds=0.0):
        """Reads what the bus carried, for `seconds` more; the requests in
        flight."""
        while (text := self.talker.line(seconds)) is not None:
            message = json.loads(text)
            if message["member"] == "Screenshot":
                sender = message["sender"][1:].replace(".", "_")
                token = message["payload"]["data"][1]["handle_token"]["data"]
                self.waiting.add(f"{REQUEST_PATH}/{sender}/{token}")
                self.asked += 1
                self.most = max(self.most, len(self.waiting))
            else:
                self.waiting.discard(message["path"])
        return len(self.waiting)

    def wait_in_flight(self):
        wait_until("a Screenshot request in flight", lambda: self.follow() > 0, 10, interval=0.005)


def tray_item(stack, watcher, pid):
    """The service and path of the item that process `pid` registered with
    the watcher (a program started before it registered one too)."""
    def find():
        watcher.lines_for(0.2)
        for line in reversed(watcher.seen):
            words = line.split()
            if words[0] != "item":
                continue
            status = stack.run_user(["busctl", "--user", "status", words[1]], check=False).stdout
            if f"PID={pid}" in status.split():
                return words[1:3]
        return None
    return wait_until(f"the tray item of {pid}", find, 20)


def portal_files(stack):
    return sorted(p.name for p in (stack.home / "Pictures").iterdir())


def expect_no_portal_file(stack, when):
    """The portal's pictures, removed by the program, and none written late."""
    expect(not portal_files(stack), f"{when}: the portal's files are left: {portal_files(stack)}")
    time.sleep(2.0)
    expect(not portal_files(stack), f"{when}: a portal file came late: {portal_files(stack)}")


def held_while_reading(stack, app, keys, item):
    """F8 held 3 s while a panel reads the tray item's title again and
    again: how soon the window's thread answers, and the Screenshot
    requests in flight at once."""
    requests = ScreenshotRequests(stack)
    reader = Talker(stack, ["/usr/bin/python3", stack.install_program(str(HERE / "tray_reader.py")),
                            *item], log="tray_reader")
    reader.wait_for("ready", 10)
    time.sleep(1.0)
    before = app.shots()
    down = keys.down(F8)
    while time.monotonic_ns() < down + 3_000_000_000:
        requests.follow(0.05)
    up = keys.up(F8)
    shots = app.wait_shots(2, before, timeout=15, settle=1.5)
    requests.follow(0.5)
    reader.send("stop")
    count = int(reader.wait_for("done", 20)[1])
    reads = [(int(w[1]), int(w[2])) for w in (line.split() for line in reader.seen)
             if w[0] == "read"]
    expect(len(reads) == count, f"{len(reads)} of {count} reads told")
    rest = [took for start, took in reads if start < down]
    held = [took for start, took in reads if down <= start < up]
    expect(rest and held, f"{len(rest)} reads at rest, {len(held)} while held")
    figure("KDE, Screenshot fallback: the window's thread answering a tray item's property read, "
           "at rest / while F8 is held 3 s (median / max)",
           f"{ms(statistics.median(rest))} / {ms(max(rest))}; {ms(statistics.median(held))} / "
           f"{ms(max(held))} ({len(held)} reads, {len(shots)} shots)")
    figure("KDE, Screenshot fallback: Screenshot requests while F8 is held 3 s",
           f"{requests.asked} asked, at most {requests.most} in flight at once")
    expect(statistics.median(held) <= RESPONSE_MEDIAN_MS * 1e6 and
           max(held) <= RESPONSE_MAX_MS * 1e6,
           f"the window's thread answered in {ms(statistics.median(held))} (median), "
           f"{ms(max(held))} at worst while F8 was held")
    expect(requests.asked >= 2, f"{requests.asked} Screenshot request(s) while F8 was held 3 s")
    expect(requests.most == 1, f"{requests.most} Screenshot requests were in flight at once")
    check_shots(app, shots, "F8 held 3 s")
    reader.close()
    return requests


def window_of(stack, pid):
    return next((w for w in stack.windows() if w["pid"] == pid), None)


def check_shots(app, names, what):
    for name in names:
        problems = mismatches(app.pic / name, WIDTH, HEIGHT, tolerance=JPEG_TOLERANCE)
        expect(not problems, f"{what}: {name} differs from the picture: {problems[:3]}")


def wait_bound(app, keys, before):
    """Taps F8 until a shot comes: the desktop has bound it by then."""
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        keys.tap(F8)
        got = app.new_shot_times(before, 3, until=lambda names: names)
        if got:
            return app.wait_shots(1, before)
    expect(False, "F8 made no shot within 20 s: the desktop did not bind it")


def accept_chooser(stack, keys, token):
    """Accepts KDE's chooser; whether the restore token came beside set.ini."""
    chooser = wait_until("KDE's screen-cast chooser", lambda: next(
        (w for w in stack.windows() if w["caption"].startswith(CHOOSER)), None), 20)
    for _ in range(4):
        # A click while the dialog is still coming up is lost.
        time.sleep(1.0)
        keys.click(chooser["x"] + OUTPUT_TILE[0], chooser["y"] + OUTPUT_TILE[1])
        time.sleep(0.5)
        keys.click(chooser["x"] + SHARE[0], chooser["y"] + SHARE[1])
        try:
            return wait_until("the restore token beside set.ini", token.exists, 3)
        except Exception:  # noqa: BLE001 - the dialog was still coming up: click again
            continue
    return False


def first_run(stack, app, keys, watcher):
    token = app.folder / TOKEN_FILE
    for _ in range(2):
        pid = app.start()
        wait_until("the program's window", lambda: window_of(stack, pid), 20)
        # The chooser: the program asks for the screen once, at start.
        if accept_chooser(stack, keys, token):
            break
        # Headless kwin now and then ends the screen cast with "other" once
        # Share is clicked; the program then shoots through the Screenshot
        # portal for that run and shows the chooser again at its next start.
        expect(app.terminate() == 0, "SIGTERM did not end the program with status 0")
    expect(token.exists() and token.read_text().strip(), "no restore token was kept")
    expect(window_of(stack, pid)["caption"] == "Snapwick 1.1 (HotKey:F8)",
           f"the title is {window_of(stack, pid)['caption']!r}")
    # The program's own window would stand in the pictures.
    stack.minimise(pid)

    shots = wait_bound(app, keys, [])
    check_shots(app, shots, "the first shot")
    print(f"bound: F8 gave {len(shots)} shot(s) through the Screenshot fallback")

    # Taps: one shot each, timed from the key to the whole file.
    delays = []
    for _ in range(4):
        before = app.shots()
        down, _ = keys.tap(F8, 30)
        got = app.new_shot_times(before, 6, until=lambda names: names)
        expect(got, "a tap of F8 made no shot")
        delays.append(got[0][1] - down)
        time.sleep(0.3)
        expect(len(app.wait_shots(1, before)) == 1, "a tap of F8 made more than one shot")
    figure("KDE, Screenshot fallback: F8 down to the whole file (4 taps, median / max)",
           f"{ms(statistics.median(delays))} / {ms(max(delays))}")

    # Held about a second: consecutive shots of the known picture.
    before = app.shots()
    down, up = keys.tap(F8, 1000)
    held = app.wait_shots(2, before, timeout=15, settle=1.5)
    check_shots(app, held, "F8 held")
    figure("KDE, Screenshot fallback: F8 held 1 s", f"{len(held)} shots, "
           f"{len(held) / ((up - down) / 1e9):.2f} a second")
    requests = held_while_reading(stack, app, keys, tray_item(stack, watcher, pid))

    # "Выход" while F8 is held and a request is in flight: the focus is
    # still on the first button of the tab order.
    keys.down(F8)
    requests.wait_in_flight()
    stack.activate(pid)
    in_flight = requests.follow()
    keys.tap(SPACE)
    expect(app.wait_exit(10) == 0, "Выход did not end the program with status 0")
    keys.up(F8)
    expect_no_portal_file(stack, "after Выход")
    print(f"Выход with F8 held: {in_flight} Screenshot request(s) in flight as it was pressed, "
          "no portal file left")
    wev = FocusedClient(stack)
    wait_until("wev's window", lambda: window_of(stack, wev.process.pid), 10)
    stack.activate(wev.process.pid)
    before = app.shots()
    keys.tap(F8)
    wait_until("F8 in wev after Выход", lambda: wev.pressed("F8") >= 1, 5)
    expect(not app.new_shot_times(before, 0.5), "F8 made a shot after Выход")
    return wev


def second_run(stack, app, keys, wev):
    pid = app.start()
    wait_until("the program's window", lambda: window_of(stack, pid), 20)
    shots = wait_bound(app, keys, app.shots())
    expect(not any(w["caption"].startswith(CHOOSER) for w in stack.windows()),
           "the chooser came up again although the token was there")
    # The stream runs (without frames on headless kwin): whatever the
    # program starts (a browser from the publisher's link) inherits no
    # connection to PipeWire, nor any other descriptor.
    connections = wait_until("the program's connection to PipeWire",
                             lambda: pipewire_connections(pid), 10)
    inherited = inherited_descriptors(pid)
    expect(not inherited, f"descriptors a started program would inherit: {inherited}")
    print(f"second run: {len(connections)} connection(s) to PipeWire, every descriptor "
          "closed across exec")
    stack.minimise(pid)
    stack.activate(wev.process.pid)
    seen = wev.pressed("F8")
    before = app.shots()
    keys.tap(F8)
    app.wait_shots(1, before)
    expect(wev.pressed("F8") == seen, "wev saw F8 while the program held it")
    requests = ScreenshotRequests(stack)
    keys.down(F8)
    requests.wait_in_flight()
    expect(app.terminate() == 0, "SIGTERM did not end the program with status 0")
    keys.up(F8)
    expect_no_portal_file(stack, "after SIGTERM")
    stack.activate(wev.process.pid)
    keys.tap(F8)
    wait_until("F8 in wev after SIGTERM", lambda: wev.pressed("F8") > seen, 5)
    print(f"second run: no chooser, {len(shots)} shot(s) of F8, F8 back to wev after SIGTERM")


def third_run(stack, app, keys, wev):
    pid = app.start()
    wait_until("the program's window", lambda: window_of(stack, pid), 20)
    wait_bound(app, keys, app.shots())
    # F9 typed into the window (every key released there is captured, Tab
    # too), then a click on Apply ("Применить").
    stack.activate(pid)
    keys.tap(F9)
    time.sleep(0.3)
    frame = window_of(stack, pid)
    left = frame["x"] + (frame["width"] - CLIENT[0]) // 2
    top = frame["y"] + frame["height"] - CLIENT[1]
    keys.click(left + APPLY[0], top + APPLY[1])
    wait_until("set.ini with F9", lambda: (app.folder / "set.ini").exists() and
               (app.folder / "set.ini").read_bytes() == settings_record(80, 1, VK_F9, "F9"), 10)
    # Apply names the key ("Snapwick (HotKey:F9)"); the desktop's answer,
    # a moment later, names the key in force with the start-up title
    # ("Snapwick 1.1 (HotKey:F9)"): whichever the window shows, F9.
    wait_until("the title with F9", lambda: window_of(stack, pid)["caption"] in (
        "Snapwick (HotKey:F9)", "Snapwick 1.1 (HotKey:F9)"), 5)
    # Neither the program's window nor wev's in the pictures.
    stack.minimise(pid)
    stack.minimise(wev.process.pid)
    before = app.shots()
    deadline = time.monotonic() + 15
    while not app.new_shot_times(before, 2, until=lambda names: names):
        expect(time.monotonic() < deadline, "F9 made no shot after Apply")
        keys.tap(F9)
    shots = app.wait_shots(1, before)
    check_shots(app, shots, "F9")
    before = app.shots()
    keys.tap(F8)
    expect(not app.new_shot_times(before, 1.5), "F8 still made a shot after F9 was applied")
    expect(app.terminate() == 0, "SIGTERM did not end the program with status 0")


def body():
    with KdeStack() as stack:
        picture = stack.install_program(built("SNAPWICK_PICTURE_WINDOW"))
        window = Talker(stack, [picture], log="picture")
        window.wait_for("painted", 20)
        keys = Keys(stack)
        # A panel's StatusNotifier watcher: the program's tray item then
        # registers on the bus, where the tests can call it.
        watcher = Talker(stack, ["/usr/bin/python3", stack.install_program(str(WATCHER))],
                         log="watcher")
        watcher.wait_for("watching", 10)
        app = Program.install(stack)
        started = time.monotonic()
        wev = first_run(stack, app, keys, watcher)
        print(f"first run done in {time.monotonic() - started:.1f} s")
        second_run(stack, app, keys, wev)
        third_run(stack, app, keys, wev)
        said = "".join(app.log_path.parent.joinpath(f"snapwick-{n}.log").read_text(errors="replace")
                       for n in range(1, app.runs + 1))
        expect("В этом сеансе Wayland" not in said, f"the program gave up on KDE: {said!r}")
        # xdg-desktop-portal 1.16 has no registry to name the program to:
        # nothing of the program's is left outside its folder.
        entry = stack.home / ".local/share/applications/example.kelmont.Snapwick.desktop"
        expect(not entry.exists(), "a desktop entry was written for a portal without the registry")
        for talker in (keys.talker, window, watcher):
            talker.close()


if __name__ == "__main__":
    run(body, deadline=240)
