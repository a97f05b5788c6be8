"""The program built here (a fresh copy of dist/snapwick-linux) beside
forky's headless sway 1.12 in a chroot, by path, with a known picture on
HEADLESS-1 and forky's wev holding the focus:

- F8 held about 1 s (forky's wtype) makes 19 to 21 consecutive shots of the
  whole 1920x1080 output that show the picture, a 20 ms tap exactly one,
  and wev receives no F8;
- on a keyboard with a real keymap, F8 held while another key goes down
  (the cases of Debian 12's sway, program.py): shots while F8 is held, none
  a second after every key is up;
- every shot came through ext-image-copy-capture: the program's own
  Wayland log (WAYLAND_DEBUG=client) holds one capture request of that
  protocol per shot and no copy of wlr-screencopy.

    program_on_forky_sway.py    (the chroot forky: bash tools/chroots.sh make forky;
                                 SNAPWICK_WAYLAND_KEYS: the benchmark's virtual keyboard)
"""

import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from forky_sway import ForkySway  # noqa: E402

# Ahead of tests/e2e, which sway_session.py put first and whose program.py
# is the Wine program's.
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e_wayland"))

from PIL import Image  # noqa: E402
from program import (FocusedClient, desktop_picture, held_one_second, holds_without_release, install,  # noqa: E402
                     shot_matches, start)
from sway_session import expect, run, wait_until  # noqa: E402

CONFIG = 'for_window [app_id="^wev$"] floating enable, resize set 240 120, move position 0 0\n'
# Requests as libwayland logs them: "-> interface@id.request(arguments)".
EXT_CAPTURE = re.compile(r"-> ext_image_copy_capture_frame_v1[@#]\d+\.capture\(\)")
WLR_COPY = re.compile(r"-> zwlr_screencopy_frame_v1[@#]\d+\.copy")


def body(s):
    picture, path = desktop_picture(s)
    sway = s.sway("forky", session_class=ForkySway, config=CONFIG + f"output HEADLESS-1 bg {path} stretch\n")
    version = sway.swaymsg("-t", "get_version", "-r").stdout.decode()
    expect('"major": 1' in version and '"minor": 12' in version, f"not forky's sway 1.12: {version}")
    grim = sway.home / "grim.ppm"

    def picture_drawn():
        r = sway.as_user(["grim", "-t", "ppm", str(grim)])
        return r.returncode == 0 and Image.open(grim).getpixel((1900, 1060)) == picture.getpixel((1900, 1060))
    wait_until(picture_drawn, 15, "swaybg never drew the picture")
    focused = FocusedClient(s, sway)

    app = start(s, sway, install(sway), extra_env={"WAYLAND_DEBUG": "client"})
    rect = app.node()["rect"]
    covered = [(rect["x"] - 40, rect["y"] - 40, rect["width"] + 80, rect["height"] + 80), (0, 0, 280, 160)]

    focused.focus()
    wait_until(lambda: not (app.node() or {}).get("focused"), 5, "wev did not take the focus")
    held = held_one_second(s, sway, app, picture, covered)

    sway.wtype("-P", "F8", "-s", "20", "-p", "F8")
    tap = app.wait_shots(1, before=held)
    expect(len(tap) == 1, f"a 20 ms tap made {len(tap)} shots")
    ok, why = shot_matches(app.pic / tap[0], picture, (1920, 1080), covered=covered)
    expect(ok, f"the tap: {why}")
    expect(focused.released("F8") == 0, "wev received F8 while the program watched it")

    shots = held + tap + holds_without_release(s, sway, app)
    log = app.log()
    captures, copies = len(EXT_CAPTURE.findall(log)), len(WLR_COPY.findall(log))
    s.log(f"{len(shots)} shots: {captures} ext-image-copy-capture captures, {copies} wlr-screencopy copies")
    expect(captures == len(shots) == len(app.shots()) and copies == 0,
           f"{len(shots)} shots came from {captures} ext-image-copy-capture captures and {copies} "
           "wlr-screencopy copies, not one capture each")


run("desktops_program_on_forky_sway", body, deadline=120)
