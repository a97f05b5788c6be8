#!/usr/bin/python3
"""The native window beside the Windows build's under Wine, each on a display
of its own as it comes up at start. The same client size, title and texts,
the same check mark and quality; every control where the layout table puts
it, within a pixel, as each toolkit reports it (AT-SPI natively, the Win32
API under Wine) and as drawn: the edges of the buttons, frames, quality box
and hotkey box and the check box's square, found in screenshots, within a
pixel of the table and of each other. The native tray menu names its items
as the Windows build's own layout table does."""
from native import _ATSPI_ROLE, elided_path_shown, run  # first: it puts the shared harness on the path
from pictures import window_image
from popup_watch import PopupWatch
from snapwick import TITLE_F8, client_size, control_kind, control_layout_text, control_rect, control_roles
from tray_helpers import MENU
from wine import windows_path
from wine_side import wine_side, window_controls, windows_layout
from xdisplay import eventually, expect, wait_until

# Window classes and button styles of the Windows build's controls.
_BS_TYPE = 0x0F
_WIN32_KIND = {("Button", 0): "button", ("Button", 7): "frame", ("Button", 3): "checkbox",
               ("Static", None): "label", ("Edit", None): "edit", ("ComboBox", None): "combo"}
_KIND_OF_ATSPI = {role: kind for kind, role in _ATSPI_ROLE.items()}
# Controls with edges of their own; labels draw only their text.
BOXED = ("button", "frame", "checkbox", "edit", "combo")
# A pixel is drawn if a channel differs this much from the window's
# background: enough to ignore a button face's gradient, not a 3D edge.
INK = 8
# How far outside its rectangle a control's edges are looked for.
MARGIN = 3


def identify(controls, folder_text, what):
    """{role: (text, rect, extra)} from [(kind, text, rect, extra)]: the one
    control of its kind, or the one whose text is the layout's (the folder
    label's is the shot folder)."""
    expect(len(controls) == len(control_roles()),
           f"{what}: {len(controls)} controls, not the layout's {len(control_roles())}")
    found = {}
    for role in control_roles():
        kind = control_kind(role)
        same = [c for c in controls if c[0] == kind]
        if len(same) > 1 and role == "ShotFolderLabel":
            same = [c for c in same if elided_path_shown(c[1], folder_text)]
        elif len(same) > 1:
            same = [c for c in same if c[1] == control_layout_text(role)]
        expect(len(same) == 1, f"{what}: {len(same)} controls could be {role} (a {kind})")
        found[role] = same[0][1:]
    return found


def native_controls(s, app, window):
    a11y = s.accessibility()
    top = a11y.window_of(app.proc.pid, window.title())
    fx, fy, _, _ = a11y.extents(top)
    controls = []
    for ref in a11y.children(top):
        kind = _KIND_OF_ATSPI.get(a11y.role_name(ref))
        expect(kind, f"natively the window holds a {a11y.role_name(ref)!r}, which the layout has no kind for")
        x, y, w, h = a11y.extents(ref)
        checked = a11y.has_state(ref, 4) if kind == "checkbox" else None
        controls.append((kind, a11y.text(ref), (x - fx, y - fy, w, h), checked))
    return controls


def wine_controls(found):
    controls = []
    for c in found["controls"]:
        style = c["style"] & _BS_TYPE if c["class"] == "Button" else None
        kind = _WIN32_KIND.get((c["class"], style))
        expect(kind, f"under Wine the window holds a {c['class']} of style {c['style']:#x}, which the layout "
                     "has no kind for")
        controls.append((kind, c["text"], tuple(c["rect"]), c["checked"] == 1 if kind == "checkbox" else None))
    return controls


def background(img):
    return max(img.getcolors(img.width * img.height))[1]


def drawn_box(img, rect):
    """The drawn edges of a control: the outermost drawn columns on the rows
    through its middle half, the outermost drawn rows on the columns through
    its middle half, looked for up to MARGIN pixels outside rect."""
    px, bg = img.load(), background(img)
    x, y, w, h = rect

    def drawn(i, j):
        return 0 <= i < img.width and 0 <= j < img.height and max(abs(a - b) for a, b in zip(px[i, j], bg)) > INK
    middle_rows = range(y + h // 4, y + 3 * h // 4 + 1)
    middle_columns = range(x + w // 4, x + 3 * w // 4 + 1)
    xs = [i for j in middle_rows for i in range(x - MARGIN, x + w + MARGIN) if drawn(i, j)]
    ys = [j for i in middle_columns for j in range(y - MARGIN, y + h + MARGIN) if drawn(i, j)]
    if not xs or not ys:
        return None
    return min(xs), min(ys), max(xs) + 1, max(ys) + 1


def frame_line(img, rect):
    """The row of a frame's top edge: the first row of its top half drawn
    all along the quarter right of the caption."""
    px, bg = img.load(), background(img)
    x, y, w, h = rect
    for j in range(y, y + h // 2):
        if all(max(abs(a - b) for a, b in zip(px[i, j], bg)) > INK for i in range(x + 3 * w // 4, x + w - 4)):
            return j
    return None


def measure(img, what):
    """{role: (left, top, right, bottom)} of the boxed controls, a frame's
    top being its top edge's row."""
    boxes = {}
    for role in control_roles():
        if control_kind(role) not in BOXED:
            continue
        box = drawn_box(img, control_rect(role))
        expect(box, f"{what}: nothing drawn where {role} should be")
        if control_kind(role) == "frame":
            line = frame_line(img, control_rect(role))
            expect(line is not None, f"{what}: no top edge drawn for {role}")
            box = (box[0], line, box[2], box[3])
        boxes[role] = box
    return boxes


def near(a, b):
    return all(abs(p - q) <= 1 for p, q in zip(a, b))


def edges(rect):
    x, y, w, h = rect
    return x, y, x + w, y + h


def check_drawn(boxes, what):
    """The drawn edges against the layout table: a frame's top edge runs
    through its caption, and a check box draws only its square, level with
    the middle of its rectangle."""
    for role, box in boxes.items():
        left, top, right, bottom = want = edges(control_rect(role))
        kind = control_kind(role)
        if kind == "frame":
            ok = near((box[0], box[2], box[3]), (left, right, bottom))
        elif kind == "checkbox":
            ok = abs(box[0] - left) <= 1 and abs((box[1] + box[3]) - (top + bottom)) <= 2
        else:
            ok = near(box, want)
        expect(ok, f"{what}: {role} is drawn at {box} (left, top, right, bottom), the layout puts it at {want}")


def steady_image(window, name):
    """A screenshot of the window once two in a row, half a second apart, agree."""
    shots = []

    def settled():
        shots.append(window_image(window, name))
        return len(shots) >= 2 and shots[-1].tobytes() == shots[-2].tobytes() and shots[-1]
    return wait_until(settled, 20, f"{window} did not finish painting", interval=0.5)


def body(s):
    watch = PopupWatch(s)
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    wait_until(s.tray_icon, 10, "the icon did not dock in the tray")
    native_img = steady_image(window, "native.png")
    native = identify(native_controls(s, app, window), str(folder / "pic"), "natively")

    with wine_side(s) as w:
        wine_folder = w.install_app()
        _, wine_window = w.start_snapwick(wine_folder)
        wine_img = steady_image(wine_window, "wine.png")
        win32 = eventually(lambda: window_controls(w), 10)
        wine = identify(wine_controls(win32), windows_path(wine_folder / "pic"), "under Wine")
        layout = windows_layout(w)

        expect(window.title() == wine_window.title() == win32["title"] == TITLE_F8,
               f"the titles are {window.title()!r} natively, {wine_window.title()!r} under Wine "
               f"({win32['title']!r} by the Win32 API), not {TITLE_F8!r}")
    sizes = (tuple(window.info()[2:4]), tuple(win32["client"][2:4]), client_size())
    expect(sizes[0] == sizes[1] == sizes[2], f"the client area is {sizes[0]} natively, {sizes[1]} under Wine, "
                                             f"not the layout's {sizes[2]}")

    for role in control_roles():
        (ntext, nrect, nextra), (wtext, wrect, wextra) = native[role], wine[role]
        if role != "ShotFolderLabel":
            want = {"QualityCombo": "80"}.get(role, control_layout_text(role))
            expect(ntext == wtext == want, f"{role} shows {ntext!r} natively, {wtext!r} under Wine, not {want!r}")
        expect(nextra == wextra, f"{role}: checked {nextra} natively, {wextra} under Wine")
        expect(near(wrect, control_rect(role)), f"the Win32 API puts {role} at {wrect}, "
                                                f"the layout at {control_rect(role)}")
        # Qt reports a check box by its square alone; the screenshots check it.
        if control_kind(role) != "checkbox":
            expect(near(nrect, control_rect(role)), f"AT-SPI puts {role} at {nrect}, the layout at "
                                                    f"{control_rect(role)}")
    expect(native["SoundCheck"][2] is True, "the sound check box is not checked at start")

    native_boxes, wine_boxes = measure(native_img, "natively"), measure(wine_img, "under Wine")
    check_drawn(native_boxes, "natively")
    check_drawn(wine_boxes, "under Wine")
    for role in native_boxes:
        expect(near(native_boxes[role], wine_boxes[role]),
               f"{role} is drawn at {native_boxes[role]} natively, at {wine_boxes[role]} under Wine")
    square = native["SoundCheck"][1]
    expect(near(edges(square), native_boxes["SoundCheck"]),
           f"AT-SPI puts the check box's square at {square}, the screenshot shows {native_boxes['SoundCheck']}")

    windows_menu = [("separator", "") if item["caption"] == "-" else ("menu item", item["caption"])
                    for item in layout["tray_menu"]]
    expect(windows_menu == MENU, f"the Windows build's tray menu table holds {windows_menu}, not {MENU}")
    icon = s.tray_icon()
    x, y, iw, ih, _ = icon.info()
    s.move_pointer(x + iw // 2, y + ih // 2)
    s.x(["xdotool", "click", "3"])
    items = [(role, name) for role, name, _, _ in watch.menu()]
    expect(items == windows_menu, f"the native tray menu holds {items}, the Windows build's {windows_menu}")
    s.x(["xdotool", "key", "Escape"])
    wait_until(lambda: not s.popup_menus(), 5, "Escape did not close the tray menu")
    s.end_app(app)


run("window_against_windows", body, deadline=240)
