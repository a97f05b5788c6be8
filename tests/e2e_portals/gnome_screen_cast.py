"""GNOME 43, headless: the program itself, the screen through the
ScreenCast portal, and what GlobalShortcuts is there.

- The program (a fresh copy of dist/snapwick-linux) says in its message
  box and on stderr that this desktop has no global hotkey, starts no
  screen cast (no chooser, no token file), and F8 makes no shot.

- The portal front end offers GlobalShortcuts (KDE's backend is installed
  and taken as a fallback), yet GNOME before 48 implements none: the
  program's desktop check says no, and F8 pressed on GNOME never fires a
  shortcut bound through it.
- The first start shows GNOME's chooser, accepted here with a click on
  the monitor and on Share (Mutter's remote desktop interface); the
  frames match the picture on the screen, at the monitor's size, and the
  restore token is kept in a file.
- A second run, with the token read back from the file, starts without
  any dialog: the figures are the time from Start to the first frame (what
  a stream started at each press would cost) and from a grab of the kept
  stream to the whole JPEG file (what a press costs with the stream open).
  Frames are copied only for grabs, never as they come (a screen that
  changes 30 times a second for 2 s brings frames that no grab copies),
  and GNOME is asked for at most 20 a second; none of the probe's descriptors (its
  connection to PipeWire among them) would be inherited by a program it
  starts. (The program itself never runs the stream here: GNOME 43 gives
  it no key.)
- When the session ends under a running stream, the stream notices and
  grabs give nothing.
- The Screenshot portal (its permission stored beforehand in the permission store,
  as a user's first "Allow" would leave it) gives the same picture, timed
  per shot.
"""

import os
import statistics
import time

from pictures import dialog_box, mismatches
from program import TOKEN_FILE, Program
from scenario import (HERE, ScenarioFailed, Talker, built, expect, figure, inherited_descriptors, ms,
                      pipewire_connections, run, stream_formats, time_screenshots)
from stacks import HEIGHT, WIDTH, GnomeStack, wait_until

ESCAPE = 1
F8 = 66
NO_HOTKEY = "В этом сеансе Wayland программе недоступна глобальная горячая клавиша"


def seed_screenshot_permission(stack):
    stack.run_user(["busctl", "--user", "call", "org.freedesktop.impl.portal.PermissionStore",
                    "/org/freedesktop/impl/portal/PermissionStore",
                    "org.freedesktop.impl.portal.PermissionStore", "SetPermission", "sbssas",
                    "screenshot", "true", "screenshot", "", "1", "yes"])


def screenshot_until(shooter, path, good, timeout):
    """Shots until `good(path)` holds (the shell's own animations settle)."""
    deadline = time.monotonic() + timeout
    while True:
        shooter.send(f"grab {path}")
        words = shooter.wait_for("shot", 20)
        expect(words[2] == "0", f"the Screenshot portal answered {words}")
        if good(path) or time.monotonic() > deadline:
            return words


def accept_chooser(shooter, clicker, cast, picture):
    """Finds GNOME's Screen Share dialog on screenshots, once it stands
    still (it fades and slides in), and clicks the monitor's row, then
    Share; again if the portal has not answered. The token line it gives."""
    for _ in range(3):
        box, previous = None, None
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            shooter.send(f"grab {picture}")
            shooter.wait_for("shot", 20)
            previous, box = box, dialog_box(picture)
            if box is not None and box == previous:
                break
        expect(box is not None and box == previous, "no chooser dialog stood still on the screen")
        left, top, right, bottom = box
        # The dialog's body (its header is darker): the monitor list's only
        # row 123 px below the body's top, Share at the header's right end.
        clicker.send(f"click {(left + right) // 2} {top + 123}")
        clicker.wait_for("ok", 5)
        time.sleep(0.3)
        clicker.send(f"click {right - 38} {top - 30}")
        clicker.wait_for("ok", 5)
        try:
            return cast.wait_for("token", 5)
        except ScenarioFailed:
            pass
    expect(False, "the chooser did not take the clicks")


def body():
    probe_path = built("SNAPWICK_PORTAL_PROBE")
    with GnomeStack() as stack:
        probe = stack.install_program(probe_path)
        picture = stack.install_program(built("SNAPWICK_PICTURE_WINDOW"))
        helper = stack.install_program(str(HERE / "gnome_input.py"))
        shots = stack.root / "shots"
        shots.mkdir()
        os.chown(shots, stack.user.pw_uid, stack.user.pw_gid)

        # GlobalShortcuts: offered by the front end, not GNOME's own.
        expect(stack.portal_version("GlobalShortcuts") is not None,
               "the front end offers no GlobalShortcuts here; the check below proves nothing")
        answer = stack.run_user([probe, "desktop"]).stdout.split()
        expect(answer == ["globalshortcuts", "no"], f"the desktop check said {answer}")
        print("GlobalShortcuts: offered by the front end, implemented by no GNOME backend")

        seed_screenshot_permission(stack)
        clicker = Talker(stack, ["/usr/bin/python3", helper], log="gnome_input")
        clicker.wait_for("ready", 20)
        clicker.send(f"key {ESCAPE}")  # out of the overview GNOME starts in
        clicker.wait_for("ok", 5)

        # The program: no way to hold a key here, said plainly; no screen
        # cast asked for, no shot made.
        app = Program.install(stack)
        app.start()
        wait_until("the program's notice on stderr", lambda: NO_HOTKEY in app.said(), 20)
        expect("GlobalShortcuts" in app.said() and "GNOME" in app.said(),
               f"the notice does not name what is missing: {app.said()!r}")
        for _ in range(3):
            clicker.send(f"key {F8}")
            clicker.wait_for("ok", 5)
        time.sleep(1.0)
        expect(app.alive(), f"the program ended: {app.said()!r}")
        expect(not app.shots(), f"F8 made shots on GNOME 43: {app.shots()}")
        expect(not (app.folder / TOKEN_FILE).exists(), "a screen cast was started for nothing")
        expect(app.terminate() == 0, "SIGTERM did not end the program with status 0")
        print("the program on GNOME 43: the notice said, no screen cast, F8 made no shot")

        # And the check is right: the fallback takes the shortcut (or fails
        # to), and F8 pressed on GNOME never fires it.
        hotkey = Talker(stack, [probe, "shortcuts", "snapwick_hotkey"], log="shortcuts")
        hotkey.wait_for("ready", 10)
        hotkey.send("bind 0x77")
        answer = [line for line in hotkey.lines_for(3) if line.split()[0] in ("trigger", "ended")]
        for _ in range(3):
            clicker.send(f"key {F8}")
            clicker.wait_for("ok", 5)
        events = [line.split()[0] for line in hotkey.lines_for(1)]
        expect("pressed" not in events, f"F8 fired on GNOME 43: {events}")
        print(f"GlobalShortcuts on GNOME: the portal answered {answer}; F8 pressed 3 times, "
              "no Activated")
        hotkey.send("quit")
        hotkey.wait_for("quit", 10)
        hotkey.close()
        window = Talker(stack, [picture], env={"QT_QPA_PLATFORM": "wayland"}, log="picture")
        window.wait_for("painted", 20)

        shooter = Talker(stack, [probe, "screenshot"], log="screenshot")
        shooter.wait_for("ready", 10)
        shot = shots / "screenshot.png"
        screenshot_until(shooter, shot, lambda p: not mismatches(p, WIDTH, HEIGHT), 15)
        problems = mismatches(shot, WIDTH, HEIGHT)
        expect(not problems, f"the Screenshot portal's picture differs: {problems[:4]}")
        time_screenshots(shooter, shots / "screenshot-again.png", WIDTH, HEIGHT, "GNOME")

        # ScreenCast, first run: the chooser.
        token_file = stack.home / "screencast.token"
        cast = Talker(stack, [probe, "screencast", str(token_file)], log="screencast-1")
        cast.wait_for("ready", 10)
        cast.send("start")
        token = accept_chooser(shooter, clicker, cast, shots / "chooser.png")[2]
        expect(token != "-", "the desktop gave no restore token for persist_mode 2")
        started = cast.wait_for("started", 30)
        expect(started[3:5] == [str(WIDTH), str(HEIGHT)],
               f"the stream's size is {started[3:5]}, the monitor's {WIDTH}x{HEIGHT}")
        frame = shots / "cast-1.png"
        # The chooser may still be fading out of the first frames.
        deadline = time.monotonic() + 10
        while True:
            cast.send(f"grab {frame}")
            words = cast.wait_for("grabbed", 15)
            if not mismatches(frame, WIDTH, HEIGHT) or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        problems = mismatches(frame, WIDTH, HEIGHT)
        expect(not problems, f"the screen-cast frame differs from the picture: {problems[:4]}")
        print(f"first run: token {token}, frames {words[2]}x{words[3]} {words[4]}")
        cast.send("quit")
        cast.wait_for("quit", 10)
        cast.close()
        expect(token_file.read_text().strip() == token, "the token file does not hold the token")

        # Second run: the token from the file, no dialog.
        starts, firsts, grabs, copies, to_file = [], [], [], [], []
        for run_number in range(2, 5):
            cast = Talker(stack, [probe, "screencast", str(token_file)],
                          log=f"screencast-{run_number}")
            cast.wait_for("ready", 10)
            before = time.monotonic_ns()
            cast.send("start")
            new_token = cast.wait_for("token", 10)[2]
            started = cast.wait_for("started", 10)
            starts.append(int(started[1]) - before)
            frame = shots / f"cast-{run_number}.png"
            cast.send(f"grab {frame}")
            words = cast.wait_for("grabbed", 10)
            firsts.append(int(words[-1]))
            if run_number == 2:
                connections = pipewire_connections(cast.process.pid)
                inherited = inherited_descriptors(cast.process.pid)
                expect(connections, "the probe holds no connection to PipeWire")
                expect(not inherited, f"descriptors a started program would inherit: {inherited}")
                # GNOME is asked for no more frames than shots can come.
                formats = stream_formats(stack, cast.process.pid)
                expect([f.get("maxFramerate") for f in formats] == [{"num": 20, "denom": 1}],
                       f"the stream's negotiated formats: {formats}")
            problems = mismatches(frame, WIDTH, HEIGHT)
            expect(not problems, f"run {run_number}: the frame differs: {problems[:4]}")
            expect(dialog_box(frame) is None, f"run {run_number}: a dialog is on the screen")
            for _ in range(5):
                cast.send(f"grab {shots / 'cast-again.png'}")
                words = cast.wait_for("grabbed", 10)
                grabs.append(int(words[5]))
                copies.append(int(words[7]))
            # What a press costs with the stream open: the newest frame
            # compressed at q80 and written, as the program does.
            for _ in range(5):
                cast.send(f"shot {shots / 'cast-shot.jpg'} 80")
                words = cast.wait_for("shot-written", 10)
                to_file.append(int(words[2]) + int(words[3]))
            expect(not mismatches(shots / "cast-shot.jpg", WIDTH, HEIGHT, tolerance=12),
                   f"run {run_number}: the JPEG written from the frame differs from the picture")
            # xdg-desktop-portal 1.16 hands the same token back; newer ones
            # a new one each time: either way the file keeps the last.
            expect(new_token != "-", f"run {run_number}: no token to keep")
            token = new_token
            if run_number == 4:
                # A screen that changes (a square crossing the picture):
                # its frames come, and only what the 12 grabs of this run
                # took was copied.
                moving = Talker(stack, [picture, "animate", "30"],
                                env={"QT_QPA_PLATFORM": "wayland"}, log="picture-moving")
                moving.wait_for("painted", 20)
                time.sleep(2.0)
                cast.send(f"grab {shots / 'cast-moving.png'}")
                words = cast.wait_for("grabbed", 10)
                received, copied = int(words[9]), int(words[11])
                figure("GNOME ScreenCast: frames received / copied in a run of 12 grabs, "
                       "the last after 2 s of a screen changing 30 times a second",
                       f"{received} / {copied}")
                expect(copied <= 12 and received >= copied + 5,
                       f"{received} frames received, {copied} copied for 12 grabs")
                moving.process.terminate()
                moving.process.wait(timeout=10)
                # The session ends under the stream (as when the user stops
                # sharing): the stream notices, and grabs give nothing.
                cast.send("drop")
                cast.wait_for("stream-ended", 10)
                cast.send(f"grab {shots / 'after-end.png'}")
                cast.wait_for("no-frame", 10)
            cast.send("quit")
            cast.wait_for("quit", 10)
            cast.close()
            expect(token_file.read_text().strip() == token, "the new token was not kept")
        figure("GNOME ScreenCast with the token: Start to stream started (3 runs)",
               ", ".join(ms(t) for t in starts))
        figure("GNOME ScreenCast with the token: Start to first frame received (3 runs)",
               ", ".join(ms(t) for t in firsts))
        figure("GNOME ScreenCast: Grab with the stream open, a copy only of a frame newer than the "
               "last grab's (15 grabs, median / max)",
               f"{statistics.median(grabs) / 1000:.1f} us / {max(grabs) / 1000:.1f} us")
        figure("GNOME ScreenCast: a 1920x1080 frame's copy inside a grab (median)",
               ms(statistics.median(copies)))
        figure("GNOME ScreenCast: grab of the kept stream to the whole q80 JPEG file "
               "(15 shots, median / max)",
               f"{ms(statistics.median(to_file))} / {ms(max(to_file))}")
        for talker in (shooter, clicker, window):
            talker.close()


if __name__ == "__main__":
    run(body, deadline=270)
