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
from stacks import HEIGHT, WIDTH, KdeStack, wait_until

# KDE's chooser ("Screen Sharing"), from its frame's corner: its second
# tile (the output itself; the first makes a new virtual output) and Share.
CHOOSER = "Screen Sharing"
OUTPUT_TILE = (480, 238)
SHARE = (517, 511)


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
        def chooser():
            return next((w for w in stack.windows() if w["caption"].startswith(CHOOSER)), None)
        wait_until("KDE's screen-cast chooser", chooser, 20)
        token, lines, tried = None, [], []
        for _ in range(4):
            # A click while the dialog is still coming up, or before it has
            # settled where it stays, is lost: each try reads where it is
            # now and waits for the answer.
            time.sleep(1.0)
            frame = chooser()
            if frame:
                tried.append((frame["x"], frame["y"], frame["width"], frame["height"]))
                for x, y in (OUTPUT_TILE, SHARE):
                    pointer.send(f"click {frame['x'] + x} {frame['y'] + y}")
                    pointer.wait_for("ok", 5)
                    time.sleep(0.5)
            said = cast.lines_for(3)
            lines += said
            token = next((l.split()[2] for l in lines if l.split()[0] == "token"), None)
            if token:
                break
            if any(l.split()[0] == "start-failed" for l in said):
                # Headless kwin now and then ends the request with "other"
                # (2) once Share is clicked, as if the user had stopped it:
                # a new screen cast shows the chooser again.
                cast.send("start")
                wait_until("KDE's screen-cast chooser again", chooser, 20)
        print(f"the chooser's frame at each try: {tried}; the probe said: {lines}")
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
