#!/usr/bin/python3
"""The quality picked in the window's list and applied is the one the JPEG
encoder gets: every shot carries the quantisation tables that libjpeg makes
for that quality (10, 50 and 100, read back as PIL's own encoding of the
picture at that quality carries them), and the files grow with the quality.
A quality loaded from set.ini is used the same way."""
import io
import random

from native import run  # first: it puts the shared harness on the path
from snapwick import apply_key, pick_combo_item, press_until_new_file, settings_record
from shots import open_jpeg, wait_for_shots
from xdisplay import SCREEN_H, SCREEN_W, expect, wait_until

QUALITY_ITEMS = ["100", "90", "80", "70", "60", "50", "40", "30", "20", "10"]
F6 = 0x75


def busy_picture(path):
    """A screen of noise: every step of quality costs bytes."""
    from PIL import Image
    noise = random.Random(1).randbytes(SCREEN_W * SCREEN_H * 3)
    Image.frombytes("RGB", (SCREEN_W, SCREEN_H), noise).save(path)
    return path


def tables_for(picture, quality):
    from PIL import Image
    out = io.BytesIO()
    picture.save(out, "JPEG", quality=quality)
    out.seek(0)
    with Image.open(out) as again:
        return again.quantization


def head(tables):
    return {k: list(v)[:8] for k, v in tables.items()}


def shoot(s, app, window, key):
    """Presses key until a shot begins; returns the new shots once pic/
    has settled."""
    before = set(app.shots())
    press_until_new_file(s, window, key, app.pic)
    new = [name for name in wait_for_shots(app) if name not in before]
    expect(new, f"{key} made no shot that stayed")
    return [app.pic / name for name in new]


def check_quality(paths, quality, what):
    """Every shot's tables are those of quality; returns the first shot's size."""
    from PIL import Image
    for path in paths:
        picture = open_jpeg(path)
        with Image.open(path) as img:
            got = img.quantization
        want = tables_for(picture, quality)
        expect(got == want, f"{what}: {path.name} carries tables that begin {head(got)}, not those of "
                            f"quality {quality}, {head(want)}")
    return paths[0].stat().st_size


def wait_record(ini, want, what):
    wait_until(lambda: ini.is_file() and ini.read_bytes() == want, 10,
               f"{what}: set.ini holds {ini.read_bytes().hex(' ') if ini.is_file() else 'nothing'}, "
               f"not {want.hex(' ')}")


def body(s):
    s.paint_root(busy_picture(s.tmp / "busy.png"))
    folder = s.install_app()
    ini = folder / "set.ini"
    app, window = s.start_snapwick(folder)

    sizes = []
    for quality in (10, 50, 100):
        what = f"quality {quality} from the list"
        pick_combo_item(s, window, "QualityCombo", QUALITY_ITEMS.index(str(quality)), len(QUALITY_ITEMS))
        expect(window.control_text("QualityCombo") == str(quality),
               f"{what}: the quality box shows {window.control_text('QualityCombo')!r}")
        if not sizes:
            apply_key(s, window, "F6")
        else:
            # F6 is still the key captured last (its shot's release).
            window.click_control("ApplyButton")
        wait_record(ini, settings_record(quality, 1, F6, "F6"), what)
        sizes.append(check_quality(shoot(s, app, window, "F6"), quality, what))
    s.log(f"sizes at quality 10, 50, 100: {sizes}")
    expect(sizes[0] < sizes[1] < sizes[2], f"the shots at quality 10, 50, 100 are {sizes} bytes: "
                                           "they do not grow with the quality")
    s.end_app(app)

    ini.write_bytes(settings_record(10, 1, 0x77, "F8"))
    app, window = s.start_snapwick(folder, tag="from_set_ini")
    check_quality(shoot(s, app, window, "F8"), 10, "quality 10 from set.ini")
    s.end_app(app)


run("capture_quality_tables", body, deadline=150)
