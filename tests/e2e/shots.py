"""Checks of the shots that the program writes into pic/: their names, their
decoding, and their pixels against what was on the screen."""

import datetime
import re
import shutil
import time

from xdisplay import SCREEN_H, SCREEN_W, ScenarioFailed, expect, holds_for, wait_until

SHOT_NAME = re.compile(r"(\d{2})\.(\d{2})\.(\d{4})_(\d{2})\.(\d{2})\.(\d{2})_(\d+)\.jpg")


def shot_time(name):
    """The local time that a shot's file name carries."""
    m = SHOT_NAME.fullmatch(name)
    day, month, year, hour, minute, second = (int(g) for g in m.groups()[:6])
    return datetime.datetime(year, month, day, hour, minute, second)


def shot_counter(name):
    m = SHOT_NAME.fullmatch(name)
    return int(m.group(7)) if m else None


def wait_for_shots(app, timeout=15, settle=1.0):
    """Waits for the first shot in pic/, then until no file appears or grows
    for `settle` seconds; returns the names, sorted by counter."""
    wait_until(lambda: app.shots(), timeout, f"no file appeared in {app.pic}")

    def snapshot():
        try:
            return sorted((p.name, p.stat().st_size) for p in app.pic.iterdir())
        except OSError:
            return None
    last, since = snapshot(), time.monotonic()
    deadline = time.monotonic() + timeout
    while time.monotonic() - since < settle:
        expect(time.monotonic() < deadline, f"files in {app.pic} kept changing")
        time.sleep(0.1)
        now = snapshot()
        if now != last:
            last, since = now, time.monotonic()
    return app.shots()


def open_jpeg(path, size=(SCREEN_W, SCREEN_H)):
    """Decodes a shot fully; fails unless it is a JPEG of that size."""
    from PIL import Image
    try:
        img = Image.open(path)
        fmt = img.format
        img.load()
    except Exception as e:
        raise ScenarioFailed(f"{path.name} is not a readable image: {e}")
    expect(fmt == "JPEG", f"{path.name} is {fmt}, not JPEG")
    expect(img.size == tuple(size), f"{path.name} is {img.size[0]}x{img.size[1]}, not {size[0]}x{size[1]}")
    return img.convert("RGB")


def expect_new_shots(pic, before, after, what):
    """Between two tree_digests() of pic/: new shots, each a shot's name and
    a whole JPEG, and every older file unchanged; returns the new shots'
    counters in order."""
    changed = sorted(n for n in before if after.get(n) != before[n])
    expect(not changed, f"{what}: shots that were there before changed or went: {changed}")
    new = sorted(set(after) - set(before), key=lambda n: shot_counter(n) or 0)
    expect(new, f"{what}: the new file went again")
    for name in new:
        expect(SHOT_NAME.fullmatch(name), f"{what}: {name!r} in pic/ is not a shot's name")
        open_jpeg(pic / name)
    return [shot_counter(n) for n in new]


# A background of flat tiles, each colour unlike its neighbours': a shot that
# is scaled or cropped puts wrong colours into some tile centres (a small
# shift is left to the comparison with a screenshot).
TILE_W, TILE_H = 240, 180


def tile_colour(col, row):
    return (30 + col * 28, 40 + row * 38, 230 - col * 12 - row * 18)


def make_test_pattern(path):
    from PIL import Image, ImageDraw
    img = Image.new("RGB", (SCREEN_W, SCREEN_H))
    draw = ImageDraw.Draw(img)
    for row in range(SCREEN_H // TILE_H):
        for col in range(SCREEN_W // TILE_W):
            x, y = col * TILE_W, row * TILE_H
            draw.rectangle([x, y, x + TILE_W - 1, y + TILE_H - 1], fill=tile_colour(col, row))
    img.save(path)
    return path


def make_detail_pattern(path):
    """A screen of gradients under a grid of thin lines, rings and text:
    detail that a JPEG keeps better the higher its quality."""
    from PIL import Image, ImageDraw
    ramp = Image.linear_gradient("L")
    img = Image.merge("RGB", (ramp.resize((SCREEN_W, SCREEN_H)),
                              ramp.rotate(90).resize((SCREEN_W, SCREEN_H)),
                              Image.radial_gradient("L").resize((SCREEN_W, SCREEN_H))))
    draw = ImageDraw.Draw(img)
    for x in range(0, SCREEN_W, 96):
        draw.line([(x, 0), (x, SCREEN_H)], fill=(20, 20, 60), width=1 + x % 3)
    for y in range(0, SCREEN_H, 80):
        draw.line([(0, y), (SCREEN_W, y)], fill=(240, 230, 200), width=1)
    for i in range(24):
        cx, cy, r = 80 + i * 75, 200 + (i * 37) % 700, 20 + (i * 13) % 60
        draw.ellipse([cx - r, cy - r, cx + r, cy + r], outline=(230, 40 + i * 8, 30), width=3)
    for row in range(6):
        draw.text((40, 120 + row * 160), "Snapwick 0123456789 " * 8, fill=(0, 0, 0))
    img.save(path)
    return path


def rmse(a, b):
    """Root mean square difference of two RGB pictures of one size, from 0
    (the same) to 1."""
    from PIL import ImageChops, ImageStat
    squares = [r * r for r in ImageStat.Stat(ImageChops.difference(a, b)).rms]
    return (sum(squares) / len(squares)) ** 0.5 / 255


# The example tables of the JPEG standard (ITU T.81, Annex K), row by row,
# which libjpeg scales for a quality from 1 to 100.
_LUMA_TABLE = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
               14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
               18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
               49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
_CHROMA_TABLE = ([17, 18, 24, 47] + [99] * 4 + [18, 21, 26, 66] + [99] * 4 +
                 [24, 26, 56] + [99] * 5 + [47, 66] + [99] * 6 + [99] * 32)


def standard_quantization(quality):
    """{0: luminance, 1: chrominance} quantisation tables, row by row, as
    libjpeg makes them for `quality` (baseline: no value above 255)."""
    scale = 5000 // quality if quality < 50 else 200 - 2 * quality
    return {table: [min(max((v * scale + 50) // 100, 1), 255) for v in values]
            for table, values in ((0, _LUMA_TABLE), (1, _CHROMA_TABLE))}


def quantization_of(path_or_file):
    """The quantisation tables of a JPEG, row by row, and its chroma
    subsampling (PIL's number: 0 4:4:4, 1 4:2:2, 2 4:2:0)."""
    from PIL import Image, JpegImagePlugin
    with Image.open(path_or_file) as img:
        return ({t: list(v) for t, v in img.quantization.items()},
                JpegImagePlugin.get_sampling(img))


def _mean_diff(a, b):
    from PIL import ImageChops, ImageStat
    return max(ImageStat.Stat(ImageChops.difference(a, b)).mean)


def check_against_pattern(img, covered, name, tolerance=12, inset=20):
    """Every tile that no window covers must hold its colour in the shot (a
    shot of the screen's top left part, as far as it reaches). Returns how
    many tiles were compared."""
    from PIL import Image
    compared = 0
    for row in range(img.height // TILE_H):
        for col in range(img.width // TILE_W):
            x0, y0 = col * TILE_W, row * TILE_H
            x1, y1 = x0 + TILE_W, y0 + TILE_H
            if any(x0 < cx1 and cx0 < x1 and y0 < cy1 and cy0 < y1 for cx0, cy0, cx1, cy1 in covered):
                continue
            box = (x0 + inset, y0 + inset, x1 - inset, y1 - inset)
            part = img.crop(box)
            want = Image.new("RGB", part.size, tile_colour(col, row))
            diff = _mean_diff(part, want)
            expect(diff <= tolerance,
                   f"{name}: tile at {x0},{y0} differs from the screen by {diff:.1f} "
                   f"(shot {part.getpixel((0, 0))}, screen {tile_colour(col, row)})")
            compared += 1
    return compared


# libjpeg's luminance table at quality 50, row by row; other qualities scale it.
_LUMINANCE_50 = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
                 14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
                 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
                 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]


def jpeg_qualities(path):
    """The libjpeg qualities (1 to 100) whose luminance table the JPEG
    carries: a set, because neighbouring qualities may share a table; empty
    for a table that no libjpeg quality gives."""
    from PIL import Image
    with Image.open(path) as img:
        table = list(img.quantization[0])
    found = set()
    for quality in range(1, 101):
        scale = 5000 // quality if quality < 50 else 200 - 2 * quality
        if table == [min(max((q * scale + 50) // 100, 1), 255) for q in _LUMINANCE_50]:
            found.add(quality)
    return found


def check_against_screen(img, screen, name, block=40, tolerance=16, share=0.995):
    """The shot against a screenshot of the same screen (whose top left
    part it is), block by block; a caret that blinked in between may spoil
    a few blocks, not more."""
    total = bad = 0
    for y in range(0, img.height, block):
        for x in range(0, img.width, block):
            box = (x, y, min(x + block, img.width), min(y + block, img.height))
            total += 1
            if _mean_diff(img.crop(box), screen.crop(box)) > tolerance:
                bad += 1
    expect((total - bad) / total >= share,
           f"{name}: {bad} of {total} blocks differ from a screenshot of the screen")


def check_shot_names(names, earliest, latest):
    """Every name has the shot form and a time within [earliest, latest];
    returns the counters in the order of the names."""
    counters = []
    for name in names:
        expect(SHOT_NAME.fullmatch(name), f"{name!r} in pic/ is not named dd.mm.yyyy_hh.mm.ss_N.jpg")
        try:
            taken = shot_time(name)
        except ValueError:
            raise ScenarioFailed(f"{name} does not carry a real date and time")
        expect(earliest - datetime.timedelta(seconds=1) <= taken <= latest + datetime.timedelta(seconds=1),
               f"{name} carries {taken}, outside the press ({earliest:%H:%M:%S} to {latest:%H:%M:%S})")
        counter = shot_counter(name)
        expect(str(counter) == SHOT_NAME.fullmatch(name).group(7) and counter >= 1,
               f"{name}: the counter has leading zeros or is 0")
        counters.append(counter)
    return counters


def expect_held_key_shots(s, app, seconds=1.2):
    """Holds F8 (the hotkey) over the painted test pattern with another
    program in front: consecutive whole shots numbered 1..n, their times in
    order and within the hold, each showing the screen as it was; returns
    their names. The last shot is kept beside the scenario's screenshot."""
    from PIL import Image
    before = datetime.datetime.now()
    s.hold_key("F8", seconds)
    after = datetime.datetime.now()
    names = wait_for_shots(app)
    s.screenshot("screen.png")
    covered = s.visible_window_rects()
    s.log(f"{len(names)} shots: {names[0]} .. {names[-1]}; windows at {covered}")

    counters = check_shot_names(names, before, after)
    expect(len(names) >= 3, f"only {len(names)} shot(s) from F8 held for {seconds} s")
    expect(counters == list(range(1, len(names) + 1)), f"counters are {counters}, not 1..{len(names)}")
    times = [shot_time(n) for n in names]
    expect(times == sorted(times), "a later counter carries an earlier time")

    shutil.copy2(app.pic / names[-1], s.out / names[-1])
    screen = Image.open(s.out / "screen.png").convert("RGB")
    for name in names:
        img = open_jpeg(app.pic / name)
        tiles = check_against_pattern(img, covered, name)
        expect(tiles >= 12, f"only {tiles} background tiles left uncovered to compare")
        check_against_screen(img, screen, name)
    return names


def expect_hotkey_switched(s, app, old_key, new_key, hold):
    """With the program's hotkey now new_key and another program in front:
    old_key makes no shot and uses up no counter value, new_key makes whole
    shots numbered from 1 with no gap."""
    s.hold_key(old_key, hold)
    expect(holds_for(lambda: not app.shots(), 1.5), f"{old_key} still made a shot: {app.shots()}")
    before = datetime.datetime.now()
    s.hold_key(new_key, hold)
    after = datetime.datetime.now()
    names = wait_for_shots(app)
    counters = check_shot_names(names, before, after)
    expect(counters == list(range(1, len(names) + 1)), f"counters are {counters}")
    open_jpeg(app.pic / names[0])
