#!/usr/bin/python3
"""pic/ taken away, made read-only (the program runs without root's file
override, as a user's would) or replaced by a file while the program runs:
F8 makes no file, no partial file and no shutter sound, nothing in the
program's folder changes, the program goes on, and once pic/ is back the
next press makes whole shots whose counter shows that the refused presses
used up theirs."""
from native import run  # first: it puts the shared harness on the path
from faults import PIC_FOLDER_FAULTS, describe_changes, settled_tree, tree_digests
from shots import expect_new_shots
from snapwick import press_in, press_until_new_file
from xdisplay import expect, holds_for, wait_until

FAULT_PRESS = 1.0  # twenty ticks of the program's poll, each a refused shot


def good_shots(s, app, term, sound, what):
    """Presses F8; expects new, whole shots, as many shutter sounds, and
    every older file unchanged; returns the counters of the new shots."""
    before = tree_digests(app.pic)
    played = sound.played()
    press_until_new_file(s, term, "F8", app.pic)
    after = settled_tree(app.pic)
    counters = expect_new_shots(app.pic, before, after, what)
    wait_until(lambda: sound.played() - played == len(counters), 5,
               f"{what}: {sound.played() - played} sound(s) for {len(counters)} saved shot(s)")
    return counters


def body(s):
    sound = s.start_sound_server()
    folder = s.install_app()
    app, _ = s.start_snapwick(folder, honour_permissions=True)
    wait_until(lambda: app.pic.is_dir(), 5, "pic/ was not created")
    # F8 goes to another program: no key capture, so every sound is a shutter.
    term, _ = s.start_terminal()
    last = max(good_shots(s, app, term, sound, "before any fault"))

    for case, make_fault, clear_fault in PIC_FOLDER_FAULTS:
        s.log(f"case: {case}")
        healthy = tree_digests(folder)
        make_fault(app.pic)
        faulty = tree_digests(folder)
        played = sound.played()
        press_in(s, term, "F8", FAULT_PRESS)
        after = settled_tree(folder)
        expect(after == faulty, f"{case}: the presses changed the program's folder: "
                                f"{describe_changes(faulty, after)}")
        expect(app.alive(), f"{case}: the program ended (status {app.proc.returncode})")
        expect(holds_for(lambda: sound.played() == played, 0.5),
               f"{case}: {sound.played() - played} shutter sound(s) for shots that were not saved")

        clear_fault(app.pic)
        expect(tree_digests(folder) == healthy, f"{case}: the test could not clear its fault")
        counters = good_shots(s, app, term, sound, f"{case}, fault cleared")
        s.log(f"{case}: counters {last} before the fault, {counters[0]}..{counters[-1]} after it")
        expect(counters[0] > last + 1,
               f"{case}: the first shot after the fault is number {counters[0]}, right after {last}: "
               "the presses during the fault were not seen")
        last = counters[-1]
    expect(tree_digests(folder / "wav") == tree_digests(s.dist / "wav"), "the sound files changed")


run("pic_folder_faults", body, deadline=120)
