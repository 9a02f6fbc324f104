#!/usr/bin/env python3
"""Checks that no source file under src/ includes a header of a higher layer.

The folders of src/ form layers, lowest first (README.md, "Layers"). A file may include headers of
its own folder and of the folders below it; a test beside the code obeys the same rule as the code.
Every include of a src/ folder that is not in LAYERS fails too, so that a new folder gets its place.

    scripts/check_layers.py [SRC_DIR]

prints one line per include that points upward (FILE:LINE: includes "HEADER" (higher layer)) and
exits 1 when there is one.
"""
import pathlib
import re
import sys

# Lowest first. The order is the project's: change it here and in README.md together.
LAYERS = [
    "platform",
    "resources",
    "logging",
    "settings",
    "accounts",
    "drives",
    "sharing",
    "system",
    "remote",
    "dialogs",
    "shell",
    "service",
    "face",
    "setup",
]
# Folders outside src/ that any file may include (the test helpers of tests/testing/).
OUTSIDE = {"testing"}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc", ".rc", ".inc"}


def check(src: pathlib.Path) -> list[str]:
    rank = {name: index for index, name in enumerate(LAYERS)}
    problems = []
    for path in sorted(src.rglob("*")):
        if not path.is_file() or path.suffix not in SOURCE_SUFFIXES:
            continue
        relative = path.relative_to(src)
        if len(relative.parts) < 2:
            continue
        own = relative.parts[0]
        if own not in rank:
            problems.append(f"src/{relative}: folder {own!r} has no layer in {pathlib.Path(__file__).name}")
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        for number, line in enumerate(text.splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            header = match.group(1)
            if "/" not in header:
                continue  # a header of the same folder, or a generated one beside the file
            folder = header.split("/", 1)[0]
            if folder in OUTSIDE:
                continue
            if folder not in rank:
                problems.append(f"src/{relative}:{number}: includes \"{header}\" (folder {folder!r} has no layer)")
            elif rank[folder] > rank[own]:
                problems.append(f"src/{relative}:{number}: includes \"{header}\" ({folder} is above {own})")
    return problems


def main() -> int:
    src = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent / "src"
    if not src.is_dir():
        print(f"{src}: no such folder", file=sys.stderr)
        return 2
    problems = check(src)
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} break(s) of the layers, lowest first: {' < '.join(LAYERS)}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
