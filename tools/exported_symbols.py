#!/usr/bin/env python3
"""What the shared library exports, held to tolvane/exported_symbols.txt.

  check <list> <platform> <symbols-file> [<C header> [<installed C++ header>...]]
      Compares the demangled exported symbols in <symbols-file> (one a line) with the list,
      both ways: every exported symbol must be listed, every listed name exported; the
      listed C functions with those the C header declares; and, given the installed C++
      headers, every listed C++ name with them: one that none of them declares (marked
      TOLVANE_API) is internal and must not be exported. Exits 1 naming each difference.
  def <list> <platform> <output.def> <dll-name> <nm> <c++filt> [--leading-underscore] <object>...
      Writes the module-definition file that exports, from the objects, exactly the symbols
      the list names (data symbols marked DATA), for linking a Windows DLL and making its
      import libraries. --leading-underscore: the target (32-bit Windows) puts "_" before
      every symbol, which the file's names leave out; a __stdcall function keeps its "@N"
      there, for the linker to match, and is exported without it (--kill-at).

<platform> is posix or win: list lines for one platform only count there.
"""
import re
import subprocess
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


def listed(symbol: str, c_names: set[str], cxx_names: list[str]) -> str | None:
    """The listed name a demangled symbol belongs to, or None."""
    if re.fullmatch(r"\w+", symbol):
        return symbol if symbol in c_names else None
    return cxx_name_of(symbol, cxx_names)


def undeclared(cxx_names: list[str], headers: list[str]) -> list[str]:
    """The listed C++ names that no header declares with the export mark: for tolvane::A::b,
    A is looked for, as a class's members come with it."""
    text = ""
    for header in headers:
        with open(header, encoding="utf-8") as source:
            text += re.sub(r"//[^\n]*", "", source.read())
    return [name for name in cxx_names
            if not re.search(r"\bTOLVANE_API\b[^;{}]*?\b" + re.escape(name.split("::")[1]) + r"\b",
                             text)]


def def_name(symbol: str, leading_underscore: bool) -> str:
    """The name a module-definition file gives an object's symbol."""
    return symbol[1:] if leading_underscore and symbol.startswith("_") else symbol


def without_stdcall_suffix(name: str) -> str:
    """A C function's name without the argument size __stdcall adds ("f@12" is f)."""
    return re.sub(r"^(\w+)@\d+$", r"\1", name)


def write_def(c_names: set[str], cxx_names: list[str], output: str, dll: str, nm: str,
              cxxfilt: str, objects: list[str]) -> int:
    leading_underscore = bool(objects) and objects[0] == "--leading-underscore"
    if leading_underscore:
        objects = objects[1:]
    defined = {}
    for obj in objects:
        listing = subprocess.run([nm, "-g", "--defined-only", obj], check=True,
                                 capture_output=True, text=True).stdout
        for line in listing.splitlines():
            fields = line.split()
            if len(fields) == 3:
                defined.setdefault(def_name(fields[2], leading_underscore), fields[1])
    names = sorted(defined)
    # -n: the names given have no target prefix left for c++filt to strip.
    demangled = subprocess.run([cxxfilt, "-n"], input="\n".join(names) + "\n", check=True,
                               capture_output=True, text=True).stdout.splitlines()
    lines = [f"LIBRARY {dll}", "EXPORTS"]
    for name, readable in zip(names, demangled):
        if listed(without_stdcall_suffix(readable), c_names, cxx_names):
            lines.append(f"  {name}" + (" DATA" if defined[name] in "BDRbdr" else ""))
    with open(output, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")
    return 0


def main() -> int:
    mode = sys.argv[1]
    c_names, cxx_names = read_list(sys.argv[2], sys.argv[3])
    if mode == "def":
        return write_def(c_names, cxx_names, sys.argv[4], sys.argv[5], sys.argv[6], sys.argv[7],
                         sys.argv[8:])
    with open(sys.argv[4], encoding="utf-8") as lines:
        symbols = [line.strip() for line in lines if line.strip()]
    faults, seen = [], set()
    for symbol in symbols:
        name = listed(symbol, c_names, cxx_names)
        if name is None:
            faults.append(f"exported but not listed: {symbol}")
        seen.add(name)
    for name in sorted(c_names) + cxx_names:
        if name not in seen:
            faults.append(f"listed but not exported: {name}")
    if len(sys.argv) > 5:
        with open(sys.argv[5], encoding="utf-8") as header:
            declared = set(re.findall(r"^TOLVANE_C_API\b[^;(]*?\b(tolvane_\w+)\(", header.read(),
                                      re.MULTILINE))
        faults += [f"declared but not listed: {name}" for name in sorted(declared - c_names)]
        faults += [f"listed but not declared: {name}" for name in sorted(c_names - declared)]
    if len(sys.argv) > 6:
        faults += [f"declared in no installed header: {name}"
                   for name in undeclared(cxx_names, sys.argv[6:])]
    for fault in faults:
        print(fault, file=sys.stderr)
    if not faults:
        print(f"{len(symbols)} exported symbols, all listed; every listed name exported")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
