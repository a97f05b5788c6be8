#!/usr/bin/python3
"""The sounds as a sound server hears them: a null sink counts the streams
that the program plays, and its reads of wav/ tell which sound each was.
One key sound for each key released in the window but the hotkey in force;
one shutter for each shot saved and none for a press whose shot could not
be saved (pic/ gone); nothing at all once sounds are off and applied, while
the check box alone changes nothing until Apply."""
import shutil
import time

from native import run  # first: it puts the shared harness on the path
from faults import FolderWatch
from snapwick import press_in, press_until_new_file
from xdisplay import expect, wait_until

SETTLE = 1.0


class Ears:
    """What the program played since the last listen()."""

    def __init__(self, sound, wav_folder):
        self.sound = sound
        self.reads = FolderWatch(wav_folder)
        self.heard = sound.played()

    def listen(self, timeout=20):
        """(streams played, names of the sound files read) once neither
        has changed for a second."""
        names = []
        last, since = None, time.monotonic()
        deadline = since + timeout
        while True:
            names.extend(self.reads.take())
            now = (self.sound.played(), len(names))
            if now != last:
                last, since = now, time.monotonic()
            elif time.monotonic() - since >= SETTLE:
                break
            expect(time.monotonic() < deadline, f"sounds kept coming for {timeout} s")
            time.sleep(0.1)
        streams, self.heard = last[0] - self.heard, last[0]
        return streams, set(names)


def expect_heard(ears, streams, names, what):
    got = ears.listen()
    expect(got == (streams, set(names)),
           f"{what}: {got[0]} sound(s) played from {sorted(got[1])}, not {streams} from {sorted(names)}")


def capture(s, window, key, ears, sounds, what):
    """Releases key in the window, waits until the hotkey box names it and
    expects `sounds` key sounds."""
    press_in(s, window, key, 0.05)
    wait_until(lambda: window.control_text("HotkeyBox") == key, 10,
               f"{what}: the hotkey box shows {window.control_text('HotkeyBox')!r}, not {key}")
    expect_heard(ears, sounds, ["1.wav"] if sounds else [], what)


def shoot(s, app, window, key, ears, shutter, what):
    """Holds key in the window until a shot begins; expects one shutter
    per shot saved if shutter, else none."""
    before = set(app.shots())
    press_until_new_file(s, window, key, app.pic)
    streams, names = ears.listen()
    shots = len(set(app.shots()) - before)
    want = (shots, {"2.wav"}) if shutter else (0, set())
    expect((streams, names) == want, f"{what}: {streams} sound(s) from {sorted(names)} for {shots} shot(s), "
                                     f"not {want[0]} from {sorted(want[1])}")


def body(s):
    sound = s.start_sound_server()
    folder = s.install_app()
    ears = Ears(sound, folder / "wav")
    app, window = s.start_snapwick(folder)
    expect_heard(ears, 0, [], "start-up")

    capture(s, window, "F6", ears, 1, "F6 released in the window")
    capture(s, window, "F7", ears, 1, "F7 released in the window")
    capture(s, window, "F7", ears, 1, "F7 released again")
    # The hotkey in force is named in the box as well, without a key sound.
    shoot(s, app, window, "F8", ears, True, "F8, the hotkey, held in the window")
    wait_until(lambda: window.control_text("HotkeyBox") == "F8", 10, "the hotkey box does not name F8")

    # The shot cannot be saved: no file, no shutter. The key sound of F6
    # and the box naming F8 afterwards show that the press was seen.
    capture(s, window, "F6", ears, 1, "F6 before pic/ is removed")
    shutil.rmtree(app.pic)
    press_in(s, window, "F8", 0.3)
    wait_until(lambda: window.control_text("HotkeyBox") == "F8", 10, "F8 without pic/ was not seen")
    expect_heard(ears, 0, [], "F8 with pic/ removed")
    expect(not app.pic.exists(), "pic/ came back")
    app.pic.mkdir()
    shoot(s, app, window, "F8", ears, True, "F8 once pic/ is back")

    capture(s, window, "F6", ears, 1, "F6 before Apply")
    window.click_control("ApplyButton")
    wait_until(lambda: window.title() == "Snapwick (HotKey:F6)", 10, f"Apply left the title {window.title()!r}")
    expect_heard(ears, 0, [], "Apply")
    # Its release in the window is captured again, without a key sound.
    shoot(s, app, window, "F6", ears, True, "F6 held once applied")

    window.click_control("SoundCheck")
    wait_until(lambda: not window.control_checked("SoundCheck"), 10, "the sound check box stays checked")
    capture(s, window, "F7", ears, 1, "F7 with the box unchecked before Apply")
    window.click_control("ApplyButton")
    wait_until(lambda: window.title() == "Snapwick (HotKey:F7)", 10, f"Apply left the title {window.title()!r}")
    capture(s, window, "F5", ears, 0, "F5 with sounds off")
    shoot(s, app, window, "F7", ears, False, "F7 held with sounds off")
    expect((folder / "set.ini").read_bytes()[3] == 0, "set.ini does not keep sounds off")
    s.end_app(app)


run("sound_effects", body, deadline=150)
