#!/usr/bin/env python3
"""Checks the library's layering: every file under mediafile/LAYER/ may
include headers of its own layer and of the layers before it, never of a
later one. The layers, lowest first, are the folder names below; the public
header in include/ comes before them all.
usage: check_layers.py MEDIAFILE_DIR"""
import pathlib
import re
import sys

LAYERS = ["include", "core", "box", "description", "auxinfo", "tables", "fragments", "movie"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main():
    root = pathlib.Path(sys.argv[1])
    files = [p for layer in LAYERS for p in sorted((root / layer).glob("*")) if p.suffix in (".h", ".cpp")]
    # Every header name is unique in the library, so a name finds its layer.
    layer_of_header = {p.name: p.parent.name for p in files if p.suffix == ".h"}
    strays = [p for p in root.rglob("*") if p.suffix in (".h", ".cpp") and p.parent.name not in LAYERS]
    problems = [f"{p.relative_to(root)}: not in a layer folder" for p in strays]
    checked = 0
    for path in files:
        rank = LAYERS.index(path.parent.name)
        for name in INCLUDE.findall(path.read_text()):
            target = layer_of_header.get(pathlib.PurePath(name).name)
            if target is None:
                continue  # not a library header
            checked += 1
            if LAYERS.index(target) > rank:
                problems.append(f"{path.relative_to(root)} includes {name} of the later layer {target}")
    for p in problems:
        print(p)
    print(f"layers: {checked} includes in {len(files)} files checked; {len(problems)} problems")
    sys.exit(1 if problems or not checked else 0)


if __name__ == "__main__":
    main()
