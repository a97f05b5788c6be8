#!/usr/bin/python3
"""The same screen shot at quality 10, 50 and 100, each picked from the
quality list and applied with a captured key: every file carries the
quantisation tables of its quality and 4:2:0 colour, the files grow with
the quality, and each holds the screen, closer to it the higher the
quality."""
import io
import shutil

from PIL import Image

from program import KEY_CODES, apply_key, pick_combo_item, press_until_new_file, run, settings_record
from shots import (make_detail_pattern, open_jpeg, quantization_of, rmse, standard_quantization,
                   wait_for_shots)
from xdisplay import expect, wait_until

QUALITY_ITEMS = ["100", "90", "80", "70", "60", "50", "40", "30", "20", "10"]
KEY = "F6"
MOST_RMSE = 0.06  # from quality 50 up
FOUR_TWO_ZERO = 2  # PIL's number for 4:2:0


def shoot_at(s, app, window, quality):
    """Picks `quality`, applies it with KEY as the hotkey, presses KEY until
    a shot begins; returns the first new shot and a screenshot taken after
    it."""
    pick_combo_item(s, window, "QualityCombo", QUALITY_ITEMS.index(str(quality)), len(QUALITY_ITEMS))
    ini = app.folder / "set.ini"
    want = settings_record(quality, 1, KEY_CODES[KEY], KEY)
    apply_key(s, window, KEY)
    # The title names the key from the first Apply on; the record shows that
    # this Apply has run.
    wait_until(lambda: ini.exists() and ini.read_bytes() == want, 10,
               f"Apply at quality {quality}: set.ini holds "
               f"{ini.read_bytes().hex(' ') if ini.exists() else 'nothing'}")
    before = set(app.shots())
    press_until_new_file(s, window, KEY, app.pic)
    new = [n for n in wait_for_shots(app) if n not in before]
    expect(new, f"quality {quality}: no new shot")
    kept = s.out / f"quality_{quality}.jpg"
    shutil.copy2(app.pic / new[0], kept)
    screen = Image.open(s.screenshot(f"screen_{quality}.png")).convert("RGB")
    return kept, screen


def body(s):
    s.paint_root(make_detail_pattern(s.out / "pattern.png"))
    folder = s.install_app()
    app, window = s.start_snapwick(folder)

    sizes, errors = [], []
    for quality in (10, 50, 100):
        shot, screen = shoot_at(s, app, window, quality)
        img = open_jpeg(shot)
        tables, sampling = quantization_of(shot)
        expect(tables == standard_quantization(quality),
               f"{shot.name}: quantisation tables {tables} are not those of quality {quality}")
        # The same tables as a JPEG that PIL's own libjpeg makes at that quality.
        reference = io.BytesIO()
        screen.save(reference, "JPEG", quality=quality, subsampling=FOUR_TWO_ZERO)
        reference.seek(0)
        expect(tables == quantization_of(reference)[0],
               f"{shot.name}: tables differ from PIL's at quality {quality}")
        expect(sampling == FOUR_TWO_ZERO, f"{shot.name}: chroma subsampling {sampling}, not 4:2:0")

        error = rmse(img, screen)
        sizes.append(shot.stat().st_size)
        errors.append(error)
        s.log(f"quality {quality}: {sizes[-1]} bytes, RMSE {error:.4f} against the screen")
        if quality >= 50:
            expect(error < MOST_RMSE, f"{shot.name}: RMSE {error:.4f} against the screen")

    expect(sizes[0] < sizes[1] < sizes[2], f"sizes at quality 10, 50, 100: {sizes}")
    expect(errors[0] > errors[1] > errors[2], f"RMSE at quality 10, 50, 100: {errors}")
    expect(app.alive(), "the program ended")


run("capture_quality_levels", body, deadline=150)
