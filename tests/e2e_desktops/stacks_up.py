"""Each desktop stack of desktops.py comes up in its chroot, its portal
front end offers the interface versions measured on that desktop, the way
the scenarios press keys there works, and nothing stays mounted after it
(the stack's end checks):

- GNOME 48 and 50: GlobalShortcuts 1, ScreenCast 5, Screenshot 2; a key
  through Mutter's RemoteDesktop (gnome_input.py) is taken;
- KWin 6.7: GlobalShortcuts 2, ScreenCast 5, Screenshot 2; a key through
  KWin's fake input reaches the focused client (wev);
- labwc 0.20: a key typed with wtype runs the command of its rc.xml binding.

Every desktop is tried to its end; the scenario fails with all failures.

    stacks_up.py    (the chroots trixie-gnome and forky, and SNAPWICK_FAKE_KEY)
"""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from desktops import Gnome48, Gnome50, Kwin6, Labwc  # noqa: E402
from scenario import ScenarioFailed, StackFailed, Talker, built, expect, run  # noqa: E402

GNOME_INPUT = Path(__file__).resolve().parents[1] / "e2e_portals" / "gnome_input.py"
KEY_A = 30
LABWC_F8 = "<keybind key=\"F8\"><action name=\"Execute\" command=\"sh -c 'touch $HOME/pressed'\"/></keybind>"


def expect_versions(stack, wanted):
    got = {name: stack.portal_version(name) for name in wanted}
    expect(got == wanted, f"{stack.name}'s portal offers {got}, not {wanted}")


def gnome(stack):
    expect_versions(stack, {"GlobalShortcuts": 1, "ScreenCast": 5, "Screenshot": 2})
    keys = Talker(stack, ["/usr/bin/python3", stack.install_program(str(GNOME_INPUT))], log="gnome_input")
    keys.wait_for("ready", 30)
    keys.send("key 1")
    keys.wait_for("ok", 10)
    keys.close()


def kwin(stack):
    expect_versions(stack, {"GlobalShortcuts": 2, "ScreenCast": 5, "Screenshot": 2})
    wev = stack.spawn_user(["stdbuf", "-oL", "wev"], log="wev")
    log = stack.logs / "wev.log"
    stack.activate(wev.pid)
    keys = Talker(stack, [stack.install_program(built("SNAPWICK_FAKE_KEY"))], log="fake_key")
    keys.send(f"tap {KEY_A} 20")
    keys.wait_for("ok", 10)
    deadline = time.monotonic() + 5
    while "sym: a " not in log.read_text(errors="replace"):
        expect(time.monotonic() < deadline, "a key through KWin's fake input did not reach wev")
        time.sleep(0.05)
    keys.close()


def labwc(stack):
    stack.run_user(["wtype", "-P", "F8", "-s", "20", "-p", "F8"], desktop=True)
    pressed = stack.home / "pressed"
    deadline = time.monotonic() + 5
    while not pressed.exists():
        expect(time.monotonic() < deadline, "F8 did not run labwc's binding")
        time.sleep(0.05)


CASES = [
    (Gnome48, {}, gnome),
    (Gnome50, {}, gnome),
    (Kwin6, {}, kwin),
    (Labwc, {"keybinds": LABWC_F8}, labwc),
]


def body():
    failures = []
    for stack_class, arguments, check in CASES:
        try:
            # Its end fails it if anything stays mounted.
            with stack_class(**arguments) as stack:
                check(stack)
        except (ScenarioFailed, StackFailed) as failure:
            print(f"{stack_class.name}: {failure}", flush=True)
            failures.append(f"{stack_class.name}: {failure}")
    expect(not failures, " | ".join(failures))


run(body, deadline=240)
