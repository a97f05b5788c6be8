"""The screen copy on a real headless sway 1.7, through wlr-screencopy (it
offers no ext-image-copy-capture): the pixels of a known picture,
the output's new size after a mode change, a second output that is not the
one copied, the output at 0,0 chosen over the first one listed, a sway
without outputs, which gives nothing until one comes, and nothing once the
compositor has gone.

    screencopy_outputs.py CLIENT    (tests/e2e_wayland/wayland_client.cpp)
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from PIL import Image, ImageDraw  # noqa: E402

from sway_session import expect, run, wait_until  # noqa: E402

CLIENT = Path(sys.argv[1])
# Blocks of colour large enough that a scaled copy keeps their middles, and
# one-pixel lines that show a copy off by a row or a column, or in the
# wrong byte order.
COLUMNS, ROWS = 8, 6
SECOND_OUTPUT = (0x20, 0xC0, 0x60)


def make_picture(path, size=(1920, 1080)):
    picture = Image.new("RGB", size)
    draw = ImageDraw.Draw(picture)
    w, h = size[0] // COLUMNS, size[1] // ROWS
    for row in range(ROWS):
        for column in range(COLUMNS):
            colour = ((column * 37 + 11) % 256, (row * 53 + 29) % 256, ((column + row) * 71 + 5) % 256)
            draw.rectangle([column * w, row * h, (column + 1) * w - 1, (row + 1) * h - 1], fill=colour)
    for x in range(0, size[0], 97):
        draw.line([(x, 0), (x, size[1] - 1)], fill=(255, 0, 0))
    for y in range(0, size[1], 89):
        draw.line([(0, y), (size[0] - 1, y)], fill=(0, 0, 255))
    picture.save(path)
    return picture


def block_middles(picture):
    """The colour in the middle of each block, away from the lines."""
    w, h = picture.size[0] / COLUMNS, picture.size[1] / ROWS
    return [picture.getpixel((int((c + 0.3) * w), int((r + 0.3) * h)))
            for r in range(ROWS) for c in range(COLUMNS)]


def near(a, b, tolerance=8):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def body(s):
    picture = make_picture(s.tmp / "desktop.png")
    middles = block_middles(picture)

    sway = s.sway("copy")
    sway.swaymsg(f"output HEADLESS-1 bg {sway.readable_file(s.tmp / 'desktop.png', 'desktop.png')} stretch")
    client = sway.start_client(CLIENT)
    # sway 1.7 offers no ext-image-copy-capture: the client, which prefers
    # it, falls back to wlr-screencopy.
    expect(client.protocol == "wlr-screencopy-unstable-v1", f"the copy goes through {client.protocol}")
    shot = s.tmp / "shot.ppm"

    def shows_picture():
        got = client.grab(shot)
        return got if got and Image.open(shot).getpixel((5, 5)) == picture.getpixel((5, 5)) else None
    width, height, layout, bottom_up, _ = wait_until(shows_picture, 10, "the picture never showed")
    expect((width, height) == (1920, 1080), f"a {width}x{height} frame of a 1920x1080 output")
    expect(layout == "Bgrx" and not bottom_up, f"frame layout {layout}, bottom up {bottom_up}")
    copied = Image.open(shot)
    differ = sum(1 for a, b in zip(copied.getdata(), picture.getdata()) if a != b)
    expect(differ == 0, f"{differ} pixels of the copy are not the picture's")
    times = [client.grab("")[4] for _ in range(10)]
    s.log(f"1920x1080 grabs: {sorted(times)[len(times) // 2]:.1f} ms median of {len(times)}")

    # A new mode: the next grab has the new size.
    # swaymsg answers once sway has set the mode.
    sway.swaymsg("output HEADLESS-1 mode 1280x720")
    got = client.grab(shot)
    expect(got and got[:2] == (1280, 720), f"the first grab after the mode change gave {got}")
    wait_until(lambda: client.grab(shot) and all(
        near(a, b) for a, b in zip(block_middles(Image.open(shot)), middles)), 10,
        "the 1280x720 copy does not show the picture scaled")

    # A second output, right of the first: still the first is copied.
    sway.swaymsg("create_output")
    wait_until(lambda: len(sway.outputs()) == 2, 10, "create_output made no second output")
    sway.swaymsg("output HEADLESS-2 bg #{:02x}{:02x}{:02x} solid_color".format(*SECOND_OUTPUT))
    chosen, listed = wait_until(lambda: (lambda o: o if len(o[1]) == 2 else None)(client.outputs()), 10,
                                "the client did not hear of the second output")
    s.log(f"outputs {listed}, copying {chosen}")
    expect(chosen == "HEADLESS-1", f"copying {chosen}, not HEADLESS-1 at 0,0")
    # swaybg starts anew for the new output's background, and draws the
    # first output's picture again a moment later.
    wait_until(lambda: client.grab(shot) and all(
        near(a, b) for a, b in zip(block_middles(Image.open(shot)), middles)), 10,
        "with a second output the copy is not the first output's picture")
    for _ in range(3):
        got = client.grab(shot)
        expect(got and got[:2] == (1280, 720), f"with a second output the frame is {got}")
        expect(all(near(a, b) for a, b in zip(block_middles(Image.open(shot)), middles)),
               "with a second output the copy is not the first output's picture")

    # Two outputs from the start, the second at 0,0: that one is copied.
    two = s.sway("two", outputs=2, config="output HEADLESS-1 pos 1920 0\noutput HEADLESS-2 pos 0 0\n")
    rects = {o["name"]: (o["rect"]["x"], o["rect"]["y"]) for o in two.outputs()}
    expect(rects.get("HEADLESS-2") == (0, 0), f"sway placed the outputs at {rects}")
    two.swaymsg(f"output HEADLESS-1 bg {two.readable_file(s.tmp / 'desktop.png', 'desktop.png')} stretch")
    two.swaymsg("output HEADLESS-2 bg #{:02x}{:02x}{:02x} solid_color".format(*SECOND_OUTPUT))
    second = two.start_client(CLIENT, tag="client-two")
    chosen, listed = second.outputs()
    expect([name for name, _, _ in listed][:1] == ["HEADLESS-1"], f"outputs listed as {listed}")
    expect(chosen == "HEADLESS-2", f"copying {chosen} of {listed}, not the output at 0,0")
    wait_until(lambda: second.grab(shot) and Image.open(shot).getpixel((960, 540)) == SECOND_OUTPUT, 10,
               "the copy is not the output at 0,0")
    # No output at all (the program may start before any), then one.
    bare = s.sway("none", outputs=0)
    third = bare.start_client(CLIENT, tag="client-none")
    expect(third.outputs() == ("", []), f"outputs of a sway without any: {third.outputs()}")
    expect(third.grab(shot) is None, "a grab without any output gave a frame")
    bare.swaymsg("create_output")
    wait_until(lambda: third.outputs()[0] == "HEADLESS-1", 10, "the client did not hear of the new output")
    got = third.grab(shot)
    expect(got and got[:2] == (1920, 1080), f"the new output's grab gave {got}")
    # The compositor gone: nothing, at once, and the client goes on.
    bare.stop()
    wait_until(lambda: third.sway_gone, 10, "the client did not notice that sway ended")
    expect(third.grab(shot) is None, "a grab after the compositor ended gave a frame")
    for c in (client, second, third):
        expect(c.quit() == 0, "the client did not end cleanly")


run("wayland_screencopy_outputs", body)
