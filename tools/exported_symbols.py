#!/usr/bin/env python3
"""Compares what a built shared library exports with tolvane/exported_symbols.txt, both ways:
every exported symbol must be listed, and every listed name must be exported. Exits 1 naming
each difference.

Usage: tests/exported_symbols.py <list> <platform: posix|win> <file with one demangled
exported symbol a line>
"""
import re
import sys

WRAPPERS = ("typeinfo name for ", "typeinfo for ", "vtable for ")


def read_list(path: str, platform: str) -> tuple[set[str], list[str]]:
    """The C names and the C++ names the list holds for `platform`."""
    c_names, cxx_names = set(), []
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            words = line.split("#", 1)[0].split()
            if not words or (len(words) > 1 and words[1] != platform):
                continue
            (cxx_names.append if "::" in words[0] else c_names.add)(words[0])
    return c_names, cxx_names


def cxx_name_of(symbol: str, names: list[str]) -> str | None:
    """The listed C++ name a demangled symbol belongs to, or None."""
    for wrapper in WRAPPERS:
        if symbol.startswith(wrapper):
            symbol = symbol[len(wrapper):]
            break
    # A function template's symbol starts with its return type.
    if not symbol.startswith("tolvane::"):
        at = symbol.find(" tolvane::")
        if at < 0 or "(" in symbol[:at] or "<" in symbol[:at]:
            return None
        symbol = symbol[at + 1:]
    for name in names:
        if symbol == name or re.match(re.escape(name) + r"(\(|\[|<|::)", symbol):
            return name
    return None


def main() -> int:
    c_names, cxx_names = read_list(sys.argv[1], sys.argv[2])
    with open(sys.argv[3], encoding="utf-8") as lines:
        symbols = [line.strip() for line in lines if line.strip()]
    faults, seen = [], set()
    for symbol in symbols:
        if re.fullmatch(r"\w+", symbol):
            name = symbol if symbol in c_names else None
        else:
            name = cxx_name_of(symbol, cxx_names)
        if name is None:
            faults.append(f"exported but not listed: {symbol}")
        seen.add(name)
    for name in sorted(c_names) + cxx_names:
        if name not in seen:
            faults.append(f"listed but not exported: {name}")
    for fault in faults:
        print(fault, file=sys.stderr)
    if not faults:
        print(f"{len(symbols)} exported symbols, all listed; every listed name exported")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
