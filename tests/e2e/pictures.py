"""Pictures of windows and what is drawn in them: crops, ink, the glyphs of
a caption, and how well ink matches a text drawn in a given font."""

import subprocess
from pathlib import Path

from xdisplay import expect

# The pixel size of a 9 pt font at 96 DPI.
ARIAL_9PT_PX = 12


def window_image(window, name):
    """A screenshot of the window's client area, saved as name, as RGB."""
    from PIL import Image
    path = window.screenshot(name)
    expect(path.exists(), f"no screenshot of {window} could be taken")
    with Image.open(path) as img:
        return img.convert("RGB")


def crop(img, rect):
    x, y, w, h = rect
    return img.crop((x, y, x + w, y + h))


# Captions are checked by their ink, not read: a face without Cyrillic
# letters draws every letter as the same box (or nothing at all), and a text
# that lost its letters in an 8-bit code page shows the same "?" for each.

def dark_ink(contrast=90):
    """A pixel test: darker than the background by more than contrast."""
    def test(pixel, background):
        return sum(background) / 3 - sum(pixel) / 3 > contrast
    return test


def red_ink(pixel, _background):
    r, g, b = pixel
    return r >= 120 and g <= 90 and b <= 90 and r - g >= 60


def ink_points(img, rect, is_ink=None):
    """The points of rect that are ink, relative to rect's corner; the
    background is the commonest colour of rect."""
    part = crop(img, rect).convert("RGB")
    w, h = part.size
    background = max(part.getcolors(w * h))[1]
    is_ink = is_ink or dark_ink()
    pixels = part.load()
    return {(i, j) for j in range(h) for i in range(w) if is_ink(pixels[i, j], background)}


def glyph_shapes(points):
    """The ink cut into runs of inked columns; each run's points relative
    to its own top-left corner, in reading order."""
    columns = sorted({i for i, _ in points})
    runs, current = [], []
    for i in columns:
        if current and i != current[-1] + 1:
            runs.append(current)
            current = []
        current.append(i)
    if current:
        runs.append(current)
    shapes = []
    for run in runs:
        part = [(i, j) for i, j in points if run[0] <= i <= run[-1]]
        x0, y0 = min(i for i, _ in part), min(j for _, j in part)
        shapes.append(frozenset((i - x0, j - y0) for i, j in part))
    return shapes


def check_letters_drawn(img, rect, text, what, is_ink=None):
    """The caption in rect has ink and is made of different glyphs, as a
    text of these letters is: not of one box or one "?" repeated."""
    points = ink_points(img, rect, is_ink)
    letters = [c for c in text if not c.isspace()]
    expect(len(points) >= 4 * len(letters),
           f"{what}: only {len(points)} ink pixels where {text!r} should be drawn")
    shapes = glyph_shapes(points)
    distinct = len(set(shapes))
    want = max(2, (len(set(letters)) + 1) // 2)
    expect(distinct >= want,
           f"{what}: the ink of {text!r} holds only {distinct} different glyph shapes in "
           f"{len(shapes)} runs (at least {want} expected): the letters are not drawn")
    return points


def font_file(pattern):
    """The font file that fontconfig gives for a pattern such as
    "Arial:lang=ru"; Wine draws a face it lacks with the same file."""
    r = subprocess.run(["fc-match", "-f", "%{file}", pattern], capture_output=True, text=True)
    expect(r.returncode == 0 and r.stdout, f"fc-match found no font for {pattern!r}")
    return r.stdout


def rendered_points(text, font_path, px):
    """The ink of text drawn without anti-aliasing, as Wine draws it here."""
    from PIL import Image, ImageDraw, ImageFont
    font = ImageFont.truetype(font_path, px)
    img = Image.new("L", (px * (len(text) + 2), px * 3), 255)
    draw = ImageDraw.Draw(img)
    draw.fontmode = "1"
    draw.text((px // 2, px // 2), text, font=font, fill=0)
    w, h = img.size
    pixels = img.load()
    return {(i, j) for j in range(h) for i in range(w) if pixels[i, j] < 128}


def _to_origin(points):
    if not points:
        return set()
    x0, y0 = min(i for i, _ in points), min(j for _, j in points)
    return {(i - x0, j - y0) for i, j in points}


def _share_near(a, b):
    """The share of the points of a that lie within one pixel of a point of b."""
    grown = {(i + dx, j + dy) for i, j in b for dx in (-1, 0, 1) for dy in (-1, 0, 1)}
    return sum(p in grown for p in a) / len(a) if a else 0.0


def likeness(points, text, font_path, px, shift=3):
    """How well the ink matches text drawn in the font: 1.0 for the same
    strokes, give or take a pixel; the best over small shifts."""
    a = _to_origin(points)
    b = _to_origin(rendered_points(text, font_path, px))
    best = 0.0
    for dx in range(-shift, shift + 1):
        for dy in range(-shift, shift + 1):
            moved = {(i + dx, j + dy) for i, j in b}
            p, r = _share_near(a, moved), _share_near(moved, a)
            if p + r:
                best = max(best, 2 * p * r / (p + r))
    return best


def garbled_forms(text):
    """What a Russian text turns into when it goes through the wrong code page."""
    forms = {
        "Windows-1251 bytes read as Windows-1252": text.encode("cp1251").decode("cp1252", "replace"),
        "UTF-8 bytes read as Windows-1251": text.encode("utf-8").decode("cp1251", "replace"),
        "UTF-8 bytes read as Windows-1252": text.encode("utf-8").decode("cp1252", "replace"),
        "question marks": "".join(c if c.isspace() else "?" for c in text),
    }
    return {k: v for k, v in forms.items() if v != text}


def check_text_matches(points, text, rivals, font_path, px, what, least=0.9, margin=0.05):
    """The ink is text drawn in the font, and clearly not one of the rivals
    (a dict of description -> text)."""
    score = likeness(points, text, font_path, px)
    expect(score >= least, f"{what}: the ink matches {text!r} in {Path(font_path).name} "
                           f"{px} px only to {score:.2f} (at least {least} expected)")
    for description, rival in rivals.items():
        other = likeness(points, rival, font_path, px)
        expect(score >= other + margin,
               f"{what}: the ink matches {rival!r} ({description}) to {other:.2f}, about as well "
               f"as {text!r} ({score:.2f})")
    return score


def selected_text_pixels(img, rect):
    """How many pixels of rect have the colour of selected text (a saturated blue)."""
    return sum(1 for r, g, b in crop(img, rect).getdata() if b >= 180 and r <= 120 and b - g >= 60)
