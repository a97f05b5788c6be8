#!/usr/bin/env python3
"""Holds every #include "..." under a source tree against the allowed edges.

    tools/check_includes.py [SRC_DIR]        (default: src)

SRC_DIR/dependencies.txt names, for each module (a folder of SRC_DIR, or
one file that is a program's entry), the folders it may use. A file belongs
to the longest module that holds it; a header included as "a/b/c.h" belongs
to the longest folder module that holds SRC_DIR/a/b/c.h. A file may include
its own module's headers and those of the modules its line names, nothing
else. Includes that name no file under SRC_DIR (system headers, resources)
are not this check's business. Exits 1 and lists every violation.
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCES = {".h", ".hpp", ".cpp", ".cc"}


def read_rules(src):
    rules = {}
    for number, line in enumerate((src / "dependencies.txt").read_text().splitlines(), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        module, sep, uses = line.partition(":")
        if not sep:
            raise SystemExit(f"dependencies.txt:{number}: no colon in {line!r}")
        rules[module.strip()] = set(uses.split())
    for module, uses in rules.items():
        for used in uses - rules.keys():
            raise SystemExit(f"dependencies.txt: {module} uses {used}, which has no line")
    return rules


def owner(path, modules):
    """The longest module that holds `path` (relative, with slashes)."""
    best = None
    for m in modules:
        if (path == m or path.startswith(m + "/")) and (best is None or len(m) > len(best)):
            best = m
    return best


def check(src):
    rules = read_rules(src)
    folders = [m for m in rules if (src / m).is_dir()]
    problems = []
    for file in sorted(src.rglob("*")):
        if file.suffix not in SOURCES or not file.is_file():
            continue
        rel = file.relative_to(src).as_posix()
        mine = owner(rel, rules)
        if mine is None:
            problems.append(f"{rel}: in no module of dependencies.txt")
            continue
        home = owner(rel, folders)
        allowed = rules[mine] | {mine, home}
        for included in INCLUDE.findall(file.read_text(encoding="utf-8")):
            if not (src / included).is_file():
                continue
            theirs = owner(included, folders)
            if theirs not in allowed:
                problems.append(f"{rel}: includes {included}, but {mine} may not use {theirs}")
    return problems


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    problems = check(src)
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) break the allowed dependencies of {src}")
        return 1
    print(f"every include of {src} keeps to dependencies.txt")
    return 0


if __name__ == "__main__":
    sys.exit(main())
