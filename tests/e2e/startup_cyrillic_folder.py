#!/usr/bin/python3
"""Started from a folder with Cyrillic letters and a space, it makes its pic/
there, with a Western and with a Russian ANSI code page alike."""
from program import TITLE_F8, run
from wine import CODE_PAGE_LOCALES
from xdisplay import expect, wait_until

def body(s):
    for case, locale in CODE_PAGE_LOCALES:
        s.log(f"case: {case} code page ({locale})")
        s.use_locale(locale)
        folder = s.install_app(case, "Снимки экрана", "Snapwick")
        app, window = s.start_snapwick(folder)
        wait_until(lambda: window.title() == TITLE_F8, 5, f"{case}: title is {window.title()!r}")
        wait_until(lambda: (folder / "pic").is_dir(), 5, f"{case}: {folder / 'pic'} was not created")
        window.screenshot(f"window_{case}.png")
        strays = [p for p in folder.parents[1].rglob("pic") if p != folder / "pic"]
        expect(not strays, f"{case}: pic/ made elsewhere too: {strays}")
        expect(app.alive(), f"{case}: the program ended on its own")
        s.end_wine()


run("startup_cyrillic_folder", body, deadline=100)
