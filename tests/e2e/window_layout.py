#!/usr/bin/python3
"""The main window as the user sees it: where it stands, its colours, its
Russian captions, the focus at first show and the Tab order, and that the
picture of a shot never shows in it, neither after start-up nor after a shot."""
from pictures import (ARIAL_9PT_PX, check_letters_drawn, check_text_matches, crop, font_file, garbled_forms,
                      selected_text_pixels, window_image)
from program import TITLE_F8, client_size, control_rect, run
from shots import TILE_H, TILE_W, make_test_pattern, open_jpeg, tile_colour, wait_for_shots
from xdisplay import SCREEN_H, SCREEN_W, expect, holds_for, wait_until

FOLDER_FRAME_GREY = (224, 224, 224)
LINK_BLUE = (0, 0, 255)

ARIAL_CAPTIONS = [
    ("HotkeyLabel", "Выбор горячей клавиши"),
    ("QualityLabel", "Качество скриншотов %"),
    ("SoundLabel", "Звуковые эффекты"),
]


def inner(rect, inset):
    """A button's rectangle without its border and focus rectangle."""
    x, y, w, h = rect
    return (x + inset, y + inset, w - 2 * inset, h - 2 * inset)


# (control, inset of its caption's rectangle, caption)
DEFAULT_FONT_CAPTIONS = [
    ("ExitButton", 5, "Выход"),
    ("ApplyButton", 5, "Применить"),
    ("DeveloperLabel", 0, "Разработчик:"),
]


def folder_frame_probes():
    """Points of the folder frame away from its caption, its border and the
    folder's text; the last one inside the folder's label, right of the
    text (the label is transparent)."""
    x, y, w, h = control_rect("FolderFrame")
    _, label_y, _, label_h = control_rect("ShotFolderLabel")
    right, bottom = x + w - 12, y + h - 9
    return [(x + 2 * w // 3, y + 16), (right, y + 16), (x + 12, bottom - 2), (x + w // 2, bottom),
            (right, bottom), (right, label_y + label_h // 2)]


def near(a, b, tolerance):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


def stable_image(window, name, pattern_colours, timeout=20):
    """A screenshot of the window once it has finished painting: its four
    corners show the same background (an unpainted X window is black), no
    colour of the screen behind it shows through, and five screenshots in a
    row, over a second, agree."""
    shots = []

    def settled():
        now = window_image(window, name)
        shots.append(now.tobytes())
        del shots[:-5]
        w, h = now.size
        corners = {now.getpixel(p) for p in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1))}
        return (len(shots) == 5 and len(set(shots)) == 1 and len(corners) == 1
                and corners != {(0, 0, 0)} and not pattern_pixels(now, pattern_colours)) and now
    return wait_until(settled, timeout, "the window did not finish painting", interval=0.2)


def pattern_pixels(img, pattern_colours):
    """How many pixels have a colour of the screen's test picture."""
    return sum(n for n, p in img.getcolors(img.width * img.height)
               if any(near(p, c, 4) for c in pattern_colours))


def has_focus_rect(img, rect):
    """A push button's dotted focus rectangle: every other pixel dark along
    the row three pixels inside its top edge."""
    x, y, w, _ = rect
    row = [sum(img.getpixel((i, y + 3))) < 300 for i in range(x + 6, x + w - 6)]
    return sum(row) >= len(row) * 0.4


def focused_buttons(img):
    return [name for name in ("ExitButton", "ApplyButton") if has_focus_rect(img, control_rect(name))]


def blink_column(a, b, rect, least=12):
    """True if between two screenshots at least `least` pixels of one column
    of rect changed: a caret that blinked, taller than any letter."""
    pa, pb = crop(a, rect).load(), crop(b, rect).load()
    w, h = rect[2], rect[3]
    return any(sum(1 for j in range(h) if not near(pa[i, j], pb[i, j], 60)) >= least for i in range(w))


def ink_count(img, rect):
    return sum(1 for p in crop(img, rect).getdata() if sum(p) < 300)


def check_shot_picture_hidden(img, pattern_colours, when):
    """Nothing of a shot's picture shows: the bottom right corner, where a
    picture box holding it would stand, has the Apply button drawn whole
    (the outer quarter at its right end, beyond its caption, mirrors the one
    at its left end) and the window's background beside it, and no colour
    of the screen's test picture appears anywhere in the window."""
    x, y, w, h = control_rect("ApplyButton")
    for row in range(y, y + h):
        for k in range(w // 4):
            left, right = img.getpixel((x + k, row)), img.getpixel((x + w - 1 - k, row))
            expect(near(left, right, 24),
                   f"{when}: the Apply button is not drawn whole at its right end: "
                   f"{right} at {x + w - 1 - k},{row} against {left} at {x + k},{row}")
    for row in range(y, y + h):
        for col in range(x + w + 1, client_size()[0]):
            expect(near(img.getpixel((col, row)), img.getpixel((2, row)), 8),
                   f"{when}: {img.getpixel((col, row))} right of the Apply button at {col},{row}, "
                   f"not the window's background")
    foreign = pattern_pixels(img, pattern_colours)
    expect(foreign == 0, f"{when}: {foreign} pixels of the window have colours of the screen's picture")


def check_colours(img):
    for px in folder_frame_probes():
        expect(near(img.getpixel(px), FOLDER_FRAME_GREY, 6),
               f"the folder frame is {img.getpixel(px)} at {px}, not light grey {FOLDER_FRAME_GREY}")
    pixels = list(crop(img, control_rect("FolderFrame")).getdata())
    grey = sum(1 for p in pixels if near(p, FOLDER_FRAME_GREY, 6))
    expect(grey >= 0.7 * len(pixels),
           f"only {grey} of the {len(pixels)} pixels of the folder frame are light grey")

    link = crop(img, control_rect("PublisherLink"))
    blue = [(i, j) for j in range(link.height) for i in range(link.width)
            if near(link.getpixel((i, j)), LINK_BLUE, 60)]
    expect(len(blue) >= 40, f"only {len(blue)} blue pixels in the publisher link")
    rows = {}
    for i, j in blue:
        rows[j] = rows.get(j, 0) + 1
    expect(max(rows.values()) >= 30, "the publisher link has no underline: no row of 30 blue pixels")


def check_captions(img):
    arial = font_file("Arial:lang=ru")
    for name, text in ARIAL_CAPTIONS:
        points = check_letters_drawn(img, control_rect(name), text, name)
        score = check_text_matches(points, text, garbled_forms(text), arial, ARIAL_9PT_PX, name)
        print(f"  {name}: {text!r} matched to {score:.2f}", flush=True)
    for name, inset, text in DEFAULT_FONT_CAPTIONS:
        check_letters_drawn(img, inner(control_rect(name), inset), text, name)


def check_tab_order(s, window, start):
    """Tab moves ExitButton -> QualityCombo -> ApplyButton -> HotkeyBox ->
    SoundCheck -> ExitButton. Each stop is
    seen by what the focus does to that control: a button draws its focus
    rectangle, the combo selects its text, the hotkey box shows a blinking
    caret, and the check box toggles on Space."""
    window.focus()

    def tab(name):
        s.x(["xdotool", "key", "Tab"])
        s.log(f"Tab: the focus should go to {name}")

    combo, hotkey_box, check = (control_rect(r) for r in ("QualityCombo", "HotkeyBox", "SoundCheck"))

    tab("QualityCombo")
    wait_until(lambda: selected_text_pixels(window_image(window, "tab_quality.png"), combo) >= 20, 10,
               "after one Tab the combo box does not show its text selected")
    expect(focused_buttons(window_image(window, "tab_quality.png")) == [],
           "after one Tab a button still shows the focus")
    expect(selected_text_pixels(start, combo) == 0, "the combo box showed a selection before any Tab")

    tab("ApplyButton")
    wait_until(lambda: focused_buttons(window_image(window, "tab_apply.png")) == ["ApplyButton"], 10,
               "after two Tabs the Apply button does not show the focus rectangle alone")

    tab("HotkeyBox")
    wait_until(lambda: focused_buttons(window_image(window, "tab_hotkey.png")) == [], 10,
               "after three Tabs a button still shows the focus")
    first = window_image(window, "tab_hotkey.png")

    def blinked():
        return blink_column(first, window_image(window, "tab_hotkey_later.png"), hotkey_box)
    wait_until(blinked, 8, "after three Tabs no caret blinks in the hotkey box", interval=0.1)

    tab("SoundCheck")
    wait_until(lambda: focused_buttons(window_image(window, "tab_sound.png")) == [], 10,
               "after four Tabs a button shows the focus")
    before = ink_count(window_image(window, "tab_sound.png"), check)
    s.x(["xdotool", "key", "space"])
    wait_until(lambda: ink_count(window_image(window, "tab_sound_space.png"), check) != before, 10,
               "after four Tabs Space does not toggle the sound check box")
    s.x(["xdotool", "key", "space"])
    wait_until(lambda: ink_count(window_image(window, "tab_sound.png"), check) == before, 10,
               "a second Space did not toggle the check box back")

    tab("ExitButton")
    wait_until(lambda: focused_buttons(window_image(window, "tab_exit.png")) == ["ExitButton"], 10,
               "after five Tabs the focus is not back on the Exit button")


def body(s):
    s.paint_root(make_test_pattern(s.out / "pattern.png"))
    pattern_colours = {tile_colour(c, r) for c in range(SCREEN_W // TILE_W) for r in range(SCREEN_H // TILE_H)}
    folder = s.install_app()
    app, window = s.start_snapwick(folder)

    wait_until(lambda: window.title() == TITLE_F8, 5, f"title is {window.title()!r}, not {TITLE_F8!r}")
    x, y, w, h, _ = window.info()
    cw, ch = client_size()
    expect((w, h) == (cw, ch), f"client area is {w}x{h}, not {cw}x{ch}")
    # Centred with its frame: the client area sits half a title bar lower.
    cx, cy = x + w / 2, y + h / 2
    expect(abs(cx - SCREEN_W / 2) <= 2 and 0 <= cy - SCREEN_H / 2 <= 24,
           f"window is not centred: client area at {x},{y}, its centre at {cx:.1f},{cy:.1f}")

    start = stable_image(window, "window.png", pattern_colours)
    check_colours(start)
    check_captions(start)
    expect(focused_buttons(start) == ["ExitButton"],
           f"at first show the focus rectangle is on {focused_buttons(start) or 'no button'}, "
           "not on the Exit button")
    check_shot_picture_hidden(start, pattern_colours, "after start-up")

    check_tab_order(s, window, start)

    before = stable_image(window, "before_shot.png", pattern_colours)
    window.focus()
    # A short press may fall between two ticks of the poll; press again then.
    for _ in range(3):
        s.hold_key("F8", 0.2)
        if holds_for(lambda: not app.shots(), 3.0):
            s.log("no shot from this press")
            continue
        break
    names = wait_for_shots(app)
    s.log(f"{len(names)} shot(s): {names}")
    shot = open_jpeg(app.pic / names[-1])
    # The program has now held a picture of the test screen: that is what
    # would show if any of it reached the window.
    centre = (TILE_W // 2, TILE_H // 2)
    expect(near(shot.getpixel(centre), tile_colour(0, 0), 16),
           f"the shot shows {shot.getpixel(centre)} at {centre}, not the screen's {tile_colour(0, 0)}")
    # Taken without waiting for the test picture to be absent: its showing
    # is what check_shot_picture_hidden looks for.
    after = stable_image(window, "after_shot.png", set())
    check_shot_picture_hidden(after, pattern_colours, f"after {len(names)} shot(s)")
    tx, ty, tw, th = control_rect("HotkeyBox")  # it now names F8, captured at its release
    changed = [(i, j) for j in range(h) for i in range(w)
               if not (tx <= i < tx + tw and ty <= j < ty + th)
               and not near(before.getpixel((i, j)), after.getpixel((i, j)), 24)]
    expect(len(changed) <= 10,
           f"{len(changed)} pixels of the window changed with the shot, first at {changed[:5]}")
    expect(app.alive(), "the program ended")


run("window_layout", body, deadline=120)
