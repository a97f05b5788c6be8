#!/usr/bin/python3
"""Shots land in pic/ of a program folder with Cyrillic letters and a space,
with a Western and with a Russian ANSI code page alike."""
import datetime

from program import run
from shots import check_shot_names, open_jpeg, wait_for_shots
from wine import CODE_PAGE_LOCALES
from xdisplay import expect, wait_until

def body(s):
    for case, locale in CODE_PAGE_LOCALES:
        s.log(f"case: {case} code page ({locale})")
        s.use_locale(locale)
        folder = s.install_app(case, "Снимки экрана", "Snapwick")
        app, window = s.start_snapwick(folder)
        wait_until(lambda: app.pic.is_dir(), 5, f"{case}: pic/ was not created")
        window.focus()

        before = datetime.datetime.now()
        s.hold_key("F8", 0.4)
        after = datetime.datetime.now()
        names = wait_for_shots(app)
        counters = check_shot_names(names, before, after)
        expect(counters == list(range(1, len(names) + 1)), f"{case}: counters are {counters}")
        for name in names:
            open_jpeg(app.pic / name)
        strays = [p for p in folder.parents[1].rglob("*.jpg") if p.parent != app.pic]
        expect(not strays, f"{case}: shots written elsewhere: {strays}")
        expect(app.alive(), f"{case}: the program ended")
        s.end_wine()


run("capture_cyrillic_folder", body, deadline=120)
