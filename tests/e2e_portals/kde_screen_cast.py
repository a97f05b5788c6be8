"""KDE Plasma 5.27 (kwin_wayland --virtual): the ScreenCast session's talk
with KDE's portal. The first start shows KDE's chooser (accepted here with
fake-input clicks on the virtual output's tile and on Share); the desktop
starts a 1920x1080 stream and gives a restore token; a second start with
the token from the file starts without any dialog.

Frames are only reported, not required: on headless kwin (llvmpipe, a
virtual output) the stream is made and linked but never carries a frame,
with this client as with any other; GNOME's scenario checks the frames.
"""

import time

from scenario import Talker, built, expect, figure, ms, run
from stacks import HEIGHT, WIDTH, KdeStack

# KDE's chooser, centred on the 1920x1080 output: its second tile (the
# output itself; the first makes a new virtual output) and Share.
OUTPUT_TILE = (1112, 510)
SHARE = (1149, 783)


def body():
    with KdeStack() as stack:
        probe = stack.install_program(built("SNAPWICK_PORTAL_PROBE"))
        fake_input = stack.install_program(built("SNAPWICK_FAKE_KEY"))
        shots = stack.user_folder("shots")
        token_file = stack.home / "screencast.token"
        pointer = Talker(stack, [fake_input], log="fake_input")
        pointer.wait_for("ready", 10)

        cast = Talker(stack, [probe, "screencast", str(token_file)], log="screencast-1")
        cast.wait_for("ready", 10)
        cast.send("start")
        token = None
        # The dialog takes a while to come up; a click on its tile while it
        # is still appearing is lost, so each try waits for the answer.
        time.sleep(2)
        for _ in range(4):
            pointer.send(f"click {OUTPUT_TILE[0]} {OUTPUT_TILE[1]}")
            pointer.wait_for("ok", 5)
            time.sleep(0.5)
            pointer.send(f"click {SHARE[0]} {SHARE[1]}")
            pointer.wait_for("ok", 5)
            lines = cast.lines_for(3)
            token = next((l.split()[2] for l in lines if l.split()[0] == "token"), None)
            if token:
                break
        expect(token and token != "-", "the chooser gave no restore token")
        started = next((l.split() for l in lines if l.split()[0] == "started"), None) or \
            cast.wait_for("started", 10)
        expect(started[3:5] == [str(WIDTH), str(HEIGHT)], f"the stream is {started[3:5]}")
        cast.send("quit")
        cast.wait_for("quit", 10)
        cast.close()
        expect(token_file.read_text().strip() == token, "the token was not kept")

        cast = Talker(stack, [probe, "screencast", str(token_file)], log="screencast-2")
        cast.wait_for("ready", 10)
        before = time.monotonic_ns()
        cast.send("start")
        started = cast.wait_for("started", 10)
        figure("KDE ScreenCast with the token: Start to stream started", ms(int(started[1]) - before))
        cast.send(f"grab {shots / 'cast.png'}")
        answer = cast.line(10)
        print(f"KDE stream after 5 s: {answer} (headless kwin sends no frames)")
        cast.send("quit")
        cast.wait_for("quit", 10)
        cast.close()
        pointer.close()


if __name__ == "__main__":
    run(body)
