"""The compositor's own key bindings that run the program with an argument,
on a real headless sway, from a fresh copy of dist/snapwick-linux:

- beside the key sway binds for the program over its IPC (F8, named in the
  title), `bindsym F10 exec .../snapwick --hotkey-press` added over
  swaymsg: F10 held 1.5 s gives a burst of consecutive shots that ends
  with the key, a tap exactly one; `--hotkey-down` on the press (and
  sway's repeats) and `--hotkey-up` on the release of F11, as the README
  has them: a 1 s hold gives a shot a tick until the release, each of
  three 20 ms taps one (two where the release's command comes more than a
  tick after the press's, as on a busy machine);
- once the program has ended, the command says so on stderr and ends with
  status 1 at once, showing no window;
- a session where the program finds no way to a key (sway's IPC out of its
  reach, no desktop portals) keeps the compositor's screen copy: the title
  names no key, the notice names this copy's own command, and a binding
  that runs it makes a shot of the whole output.

    program_compositor_keys.py    (dist/snapwick-linux built by the linux-app preset)
"""

import os
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from program import TITLE_F8, desktop_picture, install, shot_matches, start  # noqa: E402
from sway_session import expect, run, wait_until  # noqa: E402

TITLE_NONE = "Snapwick 1.1"
CONFIG = 'for_window [title="^Snapwick"] floating enable, move position 1400 800\n'


def counters(names):
    return [int(n[:-4].rsplit("_", 1)[1]) for n in names]


def command(sway, app, argument, env=None):
    """The command a binding runs, as the session's user: (status, stderr, ms)."""
    extra = [f"{k}={v}" for k, v in (env or {}).items()]
    started = time.monotonic()
    r = sway.as_user(["env", *extra, str(app.folder / "snapwick"), argument], timeout=10)
    return r.returncode, r.stderr.decode(errors="replace"), (time.monotonic() - started) * 1000


def beside_sways_ipc(s, sway, picture):
    app = start(s, sway, install(sway))
    expect(app.title() == TITLE_F8, f"the window is titled {app.title()!r}, not {TITLE_F8!r}")
    program = app.folder / "snapwick"
    sway.swaymsg(f"bindsym F10 exec {program} --hotkey-press")
    sway.swaymsg(f"bindsym F11 exec {program} --hotkey-down")
    sway.swaymsg(f"bindsym --release F11 exec {program} --hotkey-up")

    # sway repeats the binding while F10 is held (600 ms, then every 40 ms):
    # a shot at the press, then one a tick from the first repeats on.
    sway.wtype("-P", "F10", "-s", "1500", "-p", "F10")
    held = app.wait_shots(8)
    s.log(f"F10 (--hotkey-press) held 1.5 s: {len(held)} shots")
    expect(8 <= len(held) <= 24, f"F10 held 1.5 s made {len(held)} shots, not a burst of 8 to 24")
    expect(counters(held) == list(range(1, len(held) + 1)), f"not consecutive: {counters(held)}")
    ok, why = shot_matches(app.pic / held[0], picture, (1920, 1080),
                           covered=[(1360, 760, 560, 320)])
    expect(ok, f"F10's shot: {why}")
    shots = held

    sway.wtype("-P", "F10", "-s", "20", "-p", "F10")
    tap = app.wait_shots(1, before=shots)
    expect(len(tap) == 1, f"a tap of F10 made {len(tap)} shots")
    shots += tap

    sway.wtype("-P", "F11", "-s", "1000", "-p", "F11")
    down_up = app.wait_shots(15, before=shots)
    s.log(f"F11 (--hotkey-down, --hotkey-up) held 1 s: {len(down_up)} shots")
    expect(17 <= len(down_up) <= 22, f"F11 held 1 s made {len(down_up)} shots, not 17 to 22")
    shots += down_up
    # Each command takes tens of milliseconds to start on a busy machine:
    # a 20 ms tap's release may come more than a tick after its press,
    # which then makes a second shot, as a key held that long does.
    for n in range(3):
        sway.wtype("-P", "F11", "-s", "20", "-p", "F11")
        tap = app.wait_shots(1, before=shots)
        s.log(f"tap {n + 1} of F11: {len(tap)} shot(s)")
        expect(1 <= len(tap) <= 2, f"tap {n + 1} of F11 made {len(tap)} shots")
        shots += tap

    app.signal(15)
    expect(app.wait_exit(10) == 0, "SIGTERM did not end the program with status 0")
    status, said, ms = command(sway, app, "--hotkey-press")
    s.log(f"the command with no copy running: status {status} after {ms:.0f} ms: {said.strip()!r}")
    expect(status == 1, f"the command with no copy running ended with status {status}")
    expect("не запущена" in said, f"the command with no copy running said {said!r}")
    expect(ms < 2000, f"the command with no copy running took {ms:.0f} ms")
    expect(app.node() is None and not app.nodes(), "a window is shown after the program ended")


def without_a_key_way(s, sway, picture):
    """sway's IPC out of reach: a runtime folder of the program's own (no
    sway socket in it, SWAYSOCK empty) and the compositor's socket by its
    path; no session bus, so no portals either."""
    own_runtime = sway.folder / "own-run"
    own_runtime.mkdir(mode=0o700)
    os.chown(own_runtime, sway.user.pw_uid, sway.user.pw_gid)
    env = {"XDG_RUNTIME_DIR": str(own_runtime), "WAYLAND_DISPLAY": str(sway.runtime / "wayland-1"),
           "SWAYSOCK": ""}
    app = start(s, sway, install(sway, name="keyless"), tag="keyless", extra_env=env)
    wait_until(lambda: app.title() == TITLE_NONE, 10,
               f"the window is titled {app.title()!r}, not {TITLE_NONE!r}")
    program = app.folder / "snapwick"
    wait_until(lambda: f"{program} --hotkey-press" in app.log(), 10,
               f"the notice does not name the command: {app.log()!r}")
    expect(f"{program} --hotkey-down" in app.log() and f"{program} --hotkey-up" in app.log(),
           "the notice does not name the press and release commands")
    sway.wtype("-P", "F8", "-s", "20", "-p", "F8")
    time.sleep(0.5)
    expect(app.shots() == [], "F8 made a shot where no key is watched")

    exports = " ".join(f"{k}={v}" for k, v in env.items() if v)
    sway.swaymsg(f"bindsym F10 exec env {exports} {program} --hotkey-press")
    sway.wtype("-P", "F10", "-s", "20", "-p", "F10")
    tap = app.wait_shots(1)
    expect(len(tap) == 1, f"a tap of the bound key made {len(tap)} shots")
    ok, why = shot_matches(app.pic / tap[0], picture, (1920, 1080), covered=[(1360, 760, 560, 320)])
    expect(ok, f"the bound key's shot: {why}")
    status, said, _ = command(sway, app, "--hotkey-press", env)
    expect(status == 0, f"the command ended with status {status}: {said!r}")
    app.wait_shots(2)
    app.signal(15)
    expect(app.wait_exit(10) == 0, "SIGTERM did not end the program with status 0")


def body(s):
    picture, path = desktop_picture(s)
    sway = s.sway("keys", config=CONFIG + f"output HEADLESS-1 bg {path} stretch\n")
    beside_sways_ipc(s, sway, picture)
    without_a_key_way(s, sway, picture)


run("wayland_program_compositor_keys", body, deadline=120)
