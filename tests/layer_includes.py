#!/usr/bin/env python3
"""Holds the library's folders to their layers: each may include only itself and the folders
it stands on (docs/development.md draws them). Production code never includes test code or
the tool. Exits 1 naming every include that runs the wrong way.

Usage: tests/layer_includes.py <source-dir>
"""
import pathlib
import re
import sys

# Each folder and the folders below it that it may include.
ALLOWED = {
    "base": {"base"},
    "platform": {"base", "platform"},
    "core": {"base", "platform", "core"},
    "errors": {"base", "platform", "errors"},
    "cipher": {"base", "core", "errors", "cipher"},
    "support": {"base", "platform", "support"},
    "capi": {"base", "platform", "core", "support", "capi"},
    "cxx": {"base", "platform", "core", "support", "cxx"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def layer_of(path: pathlib.PurePosixPath) -> str:
    """The layer a file under tolvane/ belongs to: its first folder (generated/ included)."""
    return path.parts[1]


def main() -> int:
    root = pathlib.Path(sys.argv[1])
    faults = []
    for source in sorted((root / "tolvane").rglob("*")):
        if source.suffix not in (".h", ".cc") or source.name.endswith("_test.cc"):
            continue
        relative = pathlib.PurePosixPath(source.relative_to(root).as_posix())
        layer = layer_of(relative)
        if layer not in ALLOWED:
            faults.append(f"{relative}: folder '{layer}' has no place among the layers")
            continue
        for included in INCLUDE.findall(source.read_text(encoding="utf-8")):
            target = pathlib.PurePosixPath(included)
            if target.parts[0] != "tolvane":
                faults.append(f"{relative}: includes {included}, which is not library code")
            elif layer_of(target) not in ALLOWED[layer]:
                faults.append(f"{relative}: includes {included}, a layer above '{layer}'")
    for fault in faults:
        print(fault, file=sys.stderr)
    if not faults:
        print("every include runs downward")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
