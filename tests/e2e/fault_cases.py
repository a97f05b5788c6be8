"""The faults that the program meets in its folder while it runs, as the
tables of cases that the Wine, the native X11 and the sway scenarios all
check. A scenario differs only in how it drives the program, which it hands
in as a driver:

    driver.shoot(key, what)   presses key until whole new shots are saved
                              (and their shutter sounded); their counters
    driver.refuse(key)        presses key for a while during a fault
    driver.expect_silent(case)  no shutter sounded since refuse()
    driver.apply(key)         the key into the hotkey box, then Apply
                              (only the disk-full cases use it)
    driver.log(text)

During a fault nothing in the program's folder may change and the program
goes on; once the fault is cleared the next press makes whole shots whose
counter shows that the refused presses used up theirs.
"""

import os

from faults import IN_CREATE, FolderWatch, describe_changes, fill_disk, free_bytes, settled_tree, tree_digests
from shots import expect_new_shots
from snapwick import apply_key, press_in, press_until_new_file, settings_record
from xdisplay import expect, holds_for, wait_until


def _take_away(pic):
    pic.rename(pic.with_name("pic.away"))


def _bring_back(pic):
    pic.with_name("pic.away").rename(pic)


def _replace_by_file(pic):
    _take_away(pic)
    pic.write_bytes(b"a file where the folder was\n")


def _remove_file(pic):
    pic.unlink()
    _bring_back(pic)


# What can become of pic/ while the program runs, each with the way back
# to a healthy folder: (case, make the fault, clear it). Read-only stops
# only a program that runs without root's file override.
PIC_FOLDER_FAULTS = [
    ("pic/ removed while running", _take_away, _bring_back),
    ("pic/ read-only", lambda pic: os.chmod(pic, 0o555), lambda pic: os.chmod(pic, 0o755)),
    ("pic/ replaced by a file", _replace_by_file, _remove_file),
]


def expect_fault_refused(driver, app, folder, last, case, make_fault, clear_fault, skip=()):
    """One fault of `folder` (the program's, or pic/ itself): F8 during it
    changes nothing, the fault cleared F8 shoots again with a counter past
    `last` plus the refused ones. Returns the last new counter. `skip`:
    entries of folder left unread (a watch on them is for the program's
    opens)."""
    driver.log(f"case: {case}")
    healthy = tree_digests(folder, skip)
    make_fault(app.pic)
    faulty = tree_digests(folder, skip)
    driver.refuse("F8")
    after = settled_tree(folder, skip=skip)
    expect(after == faulty, f"{case}: the presses changed the program's folder: {describe_changes(faulty, after)}")
    expect(app.alive(), f"{case}: the program ended")
    driver.expect_silent(case)

    clear_fault(app.pic)
    expect(tree_digests(folder, skip) == healthy, f"{case}: the test could not clear its fault")
    counters = driver.shoot("F8", f"{case}, fault cleared")
    driver.log(f"{case}: counters {last} before the fault, {counters[0]}..{counters[-1]} after it")
    expect(counters[0] > last + 1, f"{case}: the first shot after the fault is number {counters[0]}, "
                                   f"right after {last}: the presses during the fault were not seen")
    return counters[-1]


def expect_pic_folder_faults(driver, app, folder, skip=()):
    """Every case of PIC_FOLDER_FAULTS in turn, on a program with a healthy
    pic/ in `folder`."""
    last = max(driver.shoot("F8", "before any fault"))
    for case, make_fault, clear_fault in PIC_FOLDER_FAULTS:
        last = expect_fault_refused(driver, app, folder, last, case, make_fault, clear_fault, skip)


def _refused_shot(driver, app, disk, ini, record):
    """F6 on a disk with room for half a shot: pic/ and the folder stay as
    they were. Where the platform writes a shot under a visible temporary
    name, one was begun, so that its cleanup is what is tested."""
    begun = FolderWatch(app.pic, IN_CREATE) if driver.names_partial_files else None
    everything = tree_digests(disk)
    driver.refuse("F6")
    after = settled_tree(disk)
    expect(after == everything,
           f"half a shot's room: the program's folder changed: {describe_changes(everything, after)}")
    if begun:
        started = begun.take()
        begun.close()
        driver.log(f"files begun while the disk was nearly full: {started}")
        expect(started, "no shot was begun while the disk was nearly full, so none had to be cleaned up")


def _refused_apply(driver, app, disk, ini, record):
    """Apply of F7 on a disk without room: set.ini as it was, no
    set.ini.new left, though one was begun."""
    everything = tree_digests(disk)
    beside = FolderWatch(disk, IN_CREATE)
    driver.apply("F7")
    settled = settled_tree(disk)
    begun = beside.take()
    beside.close()
    expect(settled == everything,
           f"Apply on a full disk changed the program's folder: {describe_changes(everything, settled)}")
    expect("set.ini.new" in begun, "Apply on a full disk did not even begin set.ini.new")
    expect(ini.read_bytes() == record, "set.ini changed")


# A disk that runs full under the program, in order: (case, bytes left free
# for shots of a given size, what is refused).
DISK_FULL_CASES = [
    ("half a shot's room", lambda shot_size: shot_size // 2, _refused_shot),
    ("no room at all", lambda shot_size: 0, _refused_apply),
]


def expect_disk_full_faults(driver, app, disk, ini, record):
    """The program runs from `disk`, a small file system of its own, with
    F6 in set.ini (`record`): every case of DISK_FULL_CASES, then with room
    again F7 (applied, though not saved) makes shots and Apply saves F9."""
    counters = driver.shoot("F6", "with room on the disk")
    last = max(counters)
    shot_size = max(p.stat().st_size for p in app.pic.iterdir())
    filler = None
    for case, room, refuse in DISK_FULL_CASES:
        filler = fill_disk(disk, leave=room(shot_size))
        free = free_bytes(disk)
        driver.log(f"{case}: shots are {shot_size} bytes; {free} bytes left free")
        expect(free == 0 if room(shot_size) == 0 else 0 < free < shot_size,
               f"{case}: {free} bytes free for shots of {shot_size} bytes")
        refuse(driver, app, disk, ini, record)
        expect(app.alive(), f"{case}: the program ended")

    filler.unlink()
    counters = driver.shoot("F7", "room again")
    driver.log(f"counters: {last} before the full disk, {counters[0]}..{counters[-1]} after it")
    expect(counters[0] > last + 1, f"the first shot after the full disk is number {counters[0]}, "
                                   f"right after {last}: the presses on the full disk were not seen")
    driver.apply("F9")
    want = settings_record(30, 0, 0x78, "F9")
    settled = settled_tree(disk)
    expect(ini.read_bytes() == want, f"set.ini holds {ini.read_bytes().hex(' ')}, not {want.hex(' ')}")
    expect("set.ini.new" not in settled, "set.ini.new was left behind")
    expect(app.alive(), "the program ended")


class WineShutter:
    """The shutter as the Wine build plays it: an open of wav/2.wav."""

    def __init__(self, folder):
        self.watch = FolderWatch(folder / "wav")

    def expect_sounded(self, what, shots):
        self.watch.wait_for("2.wav", 5, f"{what}: no shutter sound after a saved shot")
        self.watch.take_settled()

    def start_silence(self):
        self.watch.take()

    def expect_silent(self, what):
        expect("2.wav" not in self.watch.take(), f"{what}: the shutter sounded for a shot that was not saved")


class CountedShutter:
    """The shutter as a sound server counts the streams played (the native
    scenarios' start_sound_server())."""

    def __init__(self, sound):
        self.sound = sound
        self.mark = sound.played()

    def expect_sounded(self, what, shots):
        wait_until(lambda: self.sound.played() - self.mark == shots, 5,
                   f"{what}: {self.sound.played() - self.mark} sound(s) for {shots} saved shot(s)")
        self.mark = self.sound.played()

    def start_silence(self):
        self.mark = self.sound.played()

    def expect_silent(self, what):
        expect(holds_for(lambda: self.sound.played() == self.mark, 0.5),
               f"{what}: {self.sound.played() - self.mark} shutter sound(s) for shots that were not saved")


class XDriver:
    """The program driven on an X display (the Wine build or the native
    one): F-keys held with `front` in front, Apply in `window`. `shutter`:
    a WineShutter, a CountedShutter, or None where the sound is not
    checked. `names_partial_files`: the platform writes a shot under a
    visible temporary name first."""

    FAULT_PRESS = 1.0  # twenty ticks of the program's poll, each a refused shot

    def __init__(self, s, app, window, front=None, shutter=None, names_partial_files=False):
        self.s, self.app, self.window = s, app, window
        self.front = front or window
        self.shutter = shutter
        self.names_partial_files = names_partial_files

    def log(self, text):
        self.s.log(text)

    def shoot(self, key, what):
        before = tree_digests(self.app.pic)
        press_until_new_file(self.s, self.front, key, self.app.pic)
        counters = expect_new_shots(self.app.pic, before, settled_tree(self.app.pic), what)
        if self.shutter:
            self.shutter.expect_sounded(what, len(counters))
        return counters

    def refuse(self, key):
        if self.shutter:
            self.shutter.start_silence()
        press_in(self.s, self.front, key, self.FAULT_PRESS)

    def expect_silent(self, case):
        if self.shutter:
            self.shutter.expect_silent(case)

    def apply(self, key):
        apply_key(self.s, self.window, key)
        self.front.focus()
