"""The program built here (a fresh copy of dist/snapwick-linux) beside
forky's headless labwc 0.20, whose rc.xml binds F9 to the copy's
`--hotkey-press` as the README tells labwc's users: labwc runs the command
inside the chroot (which holds the archive's runtime packages), at the
press and again at each repeat, by the copy's own path, and the copy
running here takes it through its door. The copy finds no key of its own
there: it says that the key must be bound in the compositor, naming its
command, and its title names no key. F9 held 1.5 s (forky's wtype) makes a
burst of consecutive shots that ends with the key, none more than a second
after the release; a tap makes exactly one; each shows the picture that
swaybg draws on HEADLESS-1.

    program_on_labwc.py    (the chroot forky: bash tools/chroots.sh make forky)
"""

import importlib.util
import sys
import time
from pathlib import Path
from xml.sax.saxutils import quoteattr

sys.path.insert(0, str(Path(__file__).resolve().parent))

from desktops import Labwc  # noqa: E402
# tests/e2e_portals' program.py, which desktops.py puts on the path.
from program import Program, shot_counter  # noqa: E402
from scenario import expect, run  # noqa: E402
from stacks import wait_until  # noqa: E402

from PIL import Image  # noqa: E402

# The sway scenarios' picture and its check (tests/e2e_wayland/program.py),
# by path: the name "program" is the portal scenarios' here.
_spec = importlib.util.spec_from_file_location(
    "wayland_program", Path(__file__).resolve().parents[1] / "e2e_wayland" / "program.py")
pictures = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(pictures)

TITLE_NONE = "Snapwick 1.1"
SIZE = (1920, 1080)
# The window and its message box, out of the middle of the picture.
WINDOW_RULES = '<windowRule title="Snapwick*"><action name="MoveTo" x="1400" y="800"/></windowRule>'
COVERED = [(1360, 760, 560, 320)]


def titled(stack, title):
    """Whether labwc lists a window titled exactly `title`: wlrctl compares
    whole titles, case and all, so a title that names a key is not this."""
    return stack.run_user(["wlrctl", "toplevel", "find", f"title:{title}"], desktop=True,
                          check=False).returncode == 0


def expect_pictures(app, names, picture, what):
    for name in names:
        ok, why = pictures.shot_matches(app.pic / name, picture, SIZE, covered=COVERED)
        expect(ok, f"{what}: {why}")


def body():
    stack = Labwc(window_rules=WINDOW_RULES)
    # Program.install's folder, in the stack's, which the chroot sees at
    # the same path: labwc starts the very copy that runs here.
    command = f"{stack.root / 'app' / 'snapwick'} --hotkey-press"
    stack.keybinds = f'<keybind key="F9"><action name="Execute" command={quoteattr(command)}/></keybind>'
    with stack:
        path = stack.root / "picture.png"
        picture = pictures.make_picture(path, SIZE)
        path.chmod(0o644)
        stack.spawn_user(["swaybg", "-o", "HEADLESS-1", "-i", str(path), "-m", "stretch"],
                         log="swaybg", desktop=True)
        grim = stack.home / "grim.ppm"

        def picture_drawn():
            drawn = stack.run_user(["grim", "-t", "ppm", str(grim)], desktop=True, check=False)
            return drawn.returncode == 0 and \
                Image.open(grim).getpixel((100, 100)) == picture.getpixel((100, 100))
        wait_until("swaybg to draw the picture", picture_drawn, 15)

        app = Program.install(stack)
        app.start()
        wait_until(f"the notice naming {command}", lambda: command in app.said(), 20)
        wait_until(f"a window titled {TITLE_NONE!r}", lambda: titled(stack, TITLE_NONE), 10)

        # labwc repeats the binding while F9 is held (600 ms, then every
        # 40 ms): a shot at the press, then one a tick from the first
        # repeats on, until the repeats stop.
        typing = stack.spawn_user(["wtype", "-P", "F9", "-s", "1500", "-p", "F9"], log="wtype",
                                  desktop=True)
        during = app.new_shot_times([], 10, until=lambda names: typing.poll() is not None)
        released = time.monotonic_ns()
        after = app.new_shot_times([n for n, _ in during], 2)
        held = [n for n, _ in during + after]
        # No shot at all: the command may not start in the chroot, which
        # labwc's log then says.
        expect(held, "F9 held made no shot; labwc's log:\n" + stack.log_tail("labwc"))
        last_ms = (max(t for _, t in during + after) - released) / 1e6
        print(f"F9 held 1.5 s: {len(held)} shots, the last {last_ms:.0f} ms after the release",
              flush=True)
        expect(8 <= len(held) <= 24, f"F9 held 1.5 s made {len(held)} shots, not a burst of 8 to 24")
        counters = [shot_counter(n) for n in held]
        expect(counters == list(range(1, len(held) + 1)), f"not consecutive: {counters}")
        expect(last_ms < 1000, f"the held key's last shot came {last_ms:.0f} ms after the release")
        expect_pictures(app, held, picture, "F9 held")

        stack.run_user(["wtype", "-P", "F9", "-s", "20", "-p", "F9"], desktop=True)
        tap = app.wait_shots(1, before=held, settle=1.0)
        expect(len(tap) == 1, f"a tap of F9 made {len(tap)} shots")
        expect_pictures(app, tap, picture, "the tap")


run(body, deadline=150)
