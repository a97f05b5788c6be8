"""The known picture (picture_window.cpp) and the checks of a grabbed
frame against it."""

from PIL import Image

# The same table as picture_window.cpp: two rows of eight blocks.
BLOCKS = [
    [0xd01010, 0x10d010, 0x1010d0, 0xd0d010, 0xd010d0, 0x10d0d0, 0x805020, 0x208050],
    [0x502080, 0xf08040, 0x40f080, 0x8040f0, 0x303030, 0xa0a0a0, 0xe0e0e0, 0x601030],
]
# Colour conversions on the way (the compositor's, PNG's none) may move a
# channel by a step or two; a swapped channel moves it by far more.
TOLERANCE = 6


def rgb(value):
    return (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF


def mismatches(path, width, height, skip_top=0, tolerance=TOLERANCE, covered=()):
    """Block centres (and points near each block's corners) whose colour
    is not the picture's; the top `skip_top` rows are left out (a desktop's
    top bar drawn over the picture), and so are the points inside a
    `covered` box (left, top, right, bottom: a window above the picture).
    A JPEG's flat blocks come back within a few steps more than a PNG's:
    `tolerance` per channel."""
    image = Image.open(path).convert("RGB")
    problems = []
    if image.size != (width, height):
        return [f"size {image.size}, not {(width, height)}"]
    for row in range(2):
        for column in range(8):
            left, right = column * width // 8, (column + 1) * width // 8
            top, bottom = row * height // 2, (row + 1) * height // 2
            want = rgb(BLOCKS[row][column])
            # Clear of the pointer, which a desktop may draw at the centre.
            inset = 40
            points = [((left + right) // 2, (top + bottom) // 2),
                      (left + inset, top + inset), (right - 1 - inset, top + inset),
                      (left + inset, bottom - 1 - inset), (right - 1 - inset, bottom - 1 - inset)]
            for x, y in points:
                if y < skip_top or any(l <= x <= r and t <= y <= b for l, t, r, b in covered):
                    continue
                got = image.getpixel((x, y))
                if any(abs(g - w) > tolerance for g, w in zip(got, want)):
                    problems.append(f"({x},{y}) is {got}, not {want}")
    return problems


def dialog_box(path, lightest=245, smallest=200):
    """The bounding box of the largest near-white area: GNOME's dialogs on
    top of the picture, which has no such colour."""
    image = Image.open(path).convert("L")
    width, height = image.size
    pixels = image.load()
    xs, ys = [], []
    for y in range(0, height, 2):
        for x in range(0, width, 2):
            if pixels[x, y] >= lightest:
                xs.append(x)
                ys.append(y)
    if len(xs) < smallest:
        return None
    xs.sort()
    ys.sort()
    # Trim stray light pixels (text in the top bar) by taking the central
    # mass of the light area.
    cut = len(xs) // 50
    return xs[cut], ys[cut], xs[-1 - cut], ys[-1 - cut]


def covering_box(path, width, height, tolerance=TOLERANCE):
    """The bounding box (left, top, right, bottom) of what covers the
    picture (a window above it), or None: the central mass of the points
    whose colour is not their block's, so that a stray pointer is left
    out."""
    image = Image.open(path).convert("RGB")
    pixels = image.load()
    xs, ys = [], []
    for y in range(0, height, 4):
        for x in range(0, width, 4):
            want = rgb(BLOCKS[y * 2 // height][x * 8 // width])
            if any(abs(g - w) > tolerance for g, w in zip(pixels[x, y], want)):
                xs.append(x)
                ys.append(y)
    if len(xs) < 100:
        return None
    xs.sort()
    ys.sort()
    cut = len(xs) // 500
    return xs[cut], ys[cut], xs[-1 - cut], ys[-1 - cut]


def accent_button(path, least=600):
    """The middle of the blue suggested button of GNOME's dialog on the
    screen (Add, Share: the 40 rows that hold the most of its accent
    colour, at least `least` pixels), or None while there is none."""
    image = Image.open(path).convert("RGB")
    width, height = image.size
    pixels = image.load()
    points = [(x, y) for y in range(0, height, 2) for x in range(0, width, 2)
              if all(abs(c - a) < 40 for c, a in zip(pixels[x, y], (0x35, 0x84, 0xe4)))]
    if not points:
        return None
    button = max(([(x, y) for x, y in points if top <= y < top + 40] for top in {y for _, y in points}),
                 key=len)
    if len(button) * 4 < least:
        return None
    return sum(x for x, _ in button) // len(button), sum(y for _, y in button) // len(button)
