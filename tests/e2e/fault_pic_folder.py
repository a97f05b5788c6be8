#!/usr/bin/python3
"""pic/ taken away, made read-only or replaced by a file while the program
runs: the presses make no file and no shutter sound, nothing in the program's
folder changes, and once pic/ is back the next press makes good shots whose
counter shows that the refused presses used up theirs."""
from faults import (PIC_FOLDER_FAULTS, FolderWatch, describe_changes, honour_file_permissions,
                    settled_tree, tree_digests)
from program import press_in, press_until_new_file, run
from shots import expect_new_shots
from xdisplay import expect, wait_until

FAULT_PRESS = 1.0  # twenty ticks of the program's poll, each a refused shot


def good_shots(s, app, window, sounds, what):
    """Presses F8; expects new, whole shots, the shutter sound and every older
    file unchanged; returns the counters of the new shots."""
    before = tree_digests(app.pic)
    press_until_new_file(s, window, "F8", app.pic)
    after = settled_tree(app.pic)
    counters = expect_new_shots(app.pic, before, after, what)
    sounds.wait_for("2.wav", 5, f"{what}: no shutter sound after a saved shot")
    sounds.take_settled()
    return counters


def body(s):
    honour_file_permissions(s)
    folder = s.install_app()
    sounds = FolderWatch(folder / "wav")
    app, window = s.start_snapwick(folder)
    wait_until(lambda: app.pic.is_dir(), 5, "pic/ was not created")
    last = max(good_shots(s, app, window, sounds, "before any fault"))

    for case, make_fault, clear_fault in PIC_FOLDER_FAULTS:
        s.log(f"case: {case}")
        # wav/ is left unread: the watch on it is for the program's opens.
        healthy = tree_digests(folder, skip=("wav",))
        make_fault(app.pic)
        faulty = tree_digests(folder, skip=("wav",))
        press_in(s, window, "F8", FAULT_PRESS)
        after = settled_tree(folder, skip=("wav",))
        expect(after == faulty, f"{case}: the presses changed the program's folder: "
                                f"{describe_changes(faulty, after)}")
        expect(app.alive(), f"{case}: the program ended")
        heard = sounds.take()
        expect("2.wav" not in heard, f"{case}: the shutter sounded for a shot that was not saved")

        clear_fault(app.pic)
        expect(tree_digests(folder, skip=("wav",)) == healthy,
               f"{case}: the test could not clear its fault")
        counters = good_shots(s, app, window, sounds, f"{case}, fault cleared")
        s.log(f"{case}: counters {last} before the fault, {counters[0]}..{counters[-1]} after it")
        expect(counters[0] > last + 1,
               f"{case}: the first shot after the fault is number {counters[0]}, right after {last}: "
               "the presses during the fault were not seen")
        last = counters[-1]
    expect(tree_digests(folder / "wav") == tree_digests(s.dist / "wav"), "the sound files changed")


run("fault_pic_folder", body, deadline=150)
