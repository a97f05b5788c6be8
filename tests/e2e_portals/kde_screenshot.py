"""KDE Plasma 5.27 (kwin_wayland --virtual): the screen through the
Screenshot portal, the last resort. kwin alone draws no wallpaper (that is
plasmashell's), so the known picture is a full-screen window of a test
program; the frame must match it at the virtual monitor's size, and the
portal's file must be gone afterwards.

(KDE's ScreenCast is not tried here: on headless kwin its stream
negotiates and then delivers no frame; GNOME's scenario covers that path.)
"""

import time

from pictures import mismatches
from scenario import Talker, built, expect, run, time_screenshots
from stacks import HEIGHT, WIDTH, KdeStack


def body():
    with KdeStack() as stack:
        probe = stack.install_program(built("SNAPWICK_PORTAL_PROBE"))
        picture = stack.install_program(built("SNAPWICK_PICTURE_WINDOW"))
        window = Talker(stack, [picture], log="picture")
        window.wait_for("painted", 20)
        shots = stack.user_folder("shots")
        shooter = Talker(stack, [probe, "screenshot"], log="screenshot")
        shooter.wait_for("ready", 10)

        shot = shots / "screenshot.png"
        deadline = time.monotonic() + 10
        while True:
            shooter.send(f"grab {shot}")
            words = shooter.wait_for("shot", 20)
            expect(words[2] == "0", f"the Screenshot portal answered {words}")
            # The window may still be sliding into place.
            if not mismatches(shot, WIDTH, HEIGHT) or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        expect(words[3:5] == [str(WIDTH), str(HEIGHT)], f"the picture is {words[3:5]}")
        problems = mismatches(shot, WIDTH, HEIGHT)
        expect(not problems, f"the Screenshot portal's picture differs: {problems[:4]}")

        time_screenshots(shooter, shots / "again.png", WIDTH, HEIGHT, "KDE")
        left = list((stack.home / "Pictures").iterdir())
        expect(not left, f"the portal's files were left behind: {left}")
        for talker in (shooter, window):
            talker.close()


if __name__ == "__main__":
    run(body)
