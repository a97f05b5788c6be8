#!/usr/bin/python3
"""Entries of pic/ that already hold the names the next shots would take
(counters 1 and 2 of every second around the press) are never touched:
files keep their bytes, times and inode, and a folder, a link to nowhere and
a named pipe stay what they are (the link's target is not made, the pipe
does not hold the program up). The shot takes the first free counter, and
the counter goes on from there."""
import datetime
import os
import stat

from native import run
from shots import SHOT_NAME, open_jpeg, shot_counter, wait_for_shots
from snapwick import press_until_new_file
from xdisplay import expect

HELD_SECONDS = range(-2, 90)
OLD = 1_500_000_000_000_000_000  # mid-2017, in ns


def held_names(start, counters):
    for delta in HELD_SECONDS:
        t = start + datetime.timedelta(seconds=delta)
        for counter in counters:
            yield f"{t:%d.%m.%Y_%H.%M.%S}_{counter}.jpg"


def state(path):
    st = os.lstat(path)
    content = (path.read_bytes() if stat.S_ISREG(st.st_mode) else
               os.readlink(path) if stat.S_ISLNK(st.st_mode) else
               sorted(os.listdir(path)) if stat.S_ISDIR(st.st_mode) else None)
    return content, st.st_mtime_ns, st.st_ino, st.st_mode


def a_file(path, i):
    path.write_bytes(f"a user's own file {i}, not a shot\n".encode())


def a_folder(path, i):
    path.mkdir()
    (path / "kept.txt").write_bytes(b"a file in a folder named like a shot\n")


def a_link_to_nowhere(path, i):
    path.symlink_to(path.parent.parent / f"nowhere_{i}.jpg")


def a_named_pipe(path, i):
    os.mkfifo(path)


CASES = [
    # (case, what holds each name, the counters held)
    ("files", a_file, (1, 2)),
    ("folders", a_folder, (1,)),
    ("links to nowhere", a_link_to_nowhere, (1,)),
    ("named pipes", a_named_pipe, (1,)),
]


def press(s, app, window):
    before = set(app.shots())
    press_until_new_file(s, window, "F8", app.pic)
    return sorted((n for n in wait_for_shots(app) if n not in before), key=shot_counter)


def body(s):
    def check(case, make, counters):
        folder = s.install_app(case.replace(" ", "_"))
        app, window = s.start_snapwick(folder)
        held = {}
        for i, name in enumerate(held_names(datetime.datetime.now().replace(microsecond=0), counters)):
            path = app.pic / name
            make(path, i)
            os.utime(path, ns=(OLD, OLD), follow_symlinks=False)
            held[name] = state(path)

        first = press(s, app, window)
        s.log(f"{case}: first press: {first}")
        expect(all(SHOT_NAME.fullmatch(n) for n in first), f"{case}: new entries that are not shots: {first}")
        expect(first[0].replace(f"_{shot_counter(first[0])}.jpg", "_1.jpg") in held,
               f"{case}: the first shot {first[0]} fell outside the seconds whose names were held")
        want = max(counters) + 1
        expect(shot_counter(first[0]) == want,
               f"{case}: the first shot is {first[0]}, not counter {want} after the held {counters}")
        for name in first:
            open_jpeg(app.pic / name)

        second = press(s, app, window)
        s.log(f"{case}: second press: {second}")
        expect(shot_counter(second[0]) == shot_counter(first[-1]) + 1,
               f"{case}: the counter did not go on from {first[-1]}: the next shot is {second[0]}")

        changed = [n for n, was in held.items() if state(app.pic / n) != was]
        expect(not changed, f"{case}: entries that held a shot's name were touched: {changed[:5]}")
        made = sorted(p.name for p in folder.glob("nowhere_*"))
        expect(not made, f"{case}: shots were written through links: {made[:5]}")
        s.end_app(app)
    s.each_case(CASES, check)


run("taken_name", body, deadline=90)
