"""Loads the shared library and declares the C functions the package calls."""
from __future__ import annotations

import ctypes
import os
import pathlib
from typing import Optional

# The C interface this package was written for (TOLVANE_ABI_VERSION in <tolvane/tolvane.h>).
ABI_VERSION = 1

_HERE = pathlib.Path(__file__).resolve().parent


def _installed_library() -> Optional[str]:
    try:
        # Written by the install: where the library lies, relative to this folder.
        from tolvane._installed import LIBRARY  # type: ignore[import]
        return LIBRARY
    except ImportError:
        return None


def library_names(system: str, override: Optional[str], installed: Optional[str],
                  folder: pathlib.PurePath = _HERE) -> list[str]:
    """The files to try loading, in order: the one TOLVANE_LIBRARY names, alone; else the
    library inside this package's folder (a wheel carries it there), the one the install
    recorded relative to it, and last the system's own by name."""
    if override:
        return [override]
    name = "tolvane.dll" if system == "nt" else "libtolvane.so.1"
    names = [str(folder / name)]
    if installed:
        names.append(str(folder / installed))
    names.append(name)
    return names


def uses_stdcall(system: str = os.name, pointer_bytes: int = ctypes.sizeof(ctypes.c_void_p)) -> bool:
    """Whether the C interface is __stdcall here: on 32-bit Windows only, as the header says."""
    return system == "nt" and pointer_bytes == 4


# WinDLL and WINFUNCTYPE exist on Windows alone.
_loader = ctypes.WinDLL if uses_stdcall() else ctypes.CDLL  # type: ignore[attr-defined]
_function_type = ctypes.WINFUNCTYPE if uses_stdcall() else ctypes.CFUNCTYPE  # type: ignore


def _load() -> ctypes.CDLL:
    failures = []
    for name in library_names(os.name, os.environ.get("TOLVANE_LIBRARY"),
                              _installed_library()):
        try:
            return _loader(name)
        except OSError as e:
            failures.append(str(e))
    raise ImportError("the tolvane library could not be loaded: " + "; ".join(failures))


library = _load()

_p = ctypes.c_void_p
_size = ctypes.c_size_t
_i32 = ctypes.c_int32
_out_p = ctypes.POINTER(ctypes.c_void_p)
_out_size = ctypes.POINTER(ctypes.c_size_t)
_out_i32 = ctypes.POINTER(ctypes.c_int32)
_units = ctypes.POINTER(ctypes.c_uint16)
_out_units = ctypes.POINTER(ctypes.POINTER(ctypes.c_uint16))
progress_type = _function_type(_i32, _p, ctypes.c_uint64, ctypes.c_uint64)

_SIGNATURES = {
    "tolvane_version": (ctypes.c_char_p, []),
    "tolvane_abi_version": (_i32, []),
    "tolvane_last_error_message": (ctypes.c_char_p, []),
    "tolvane_free": (None, [_p]),
    "tolvane_cipher_create": (_i32, [_out_p]),
    "tolvane_cipher_destroy": (_i32, [_p]),
    "tolvane_cipher_set_key": (_i32, [_p, ctypes.c_char_p, _size]),
    "tolvane_cipher_set_threads": (_i32, [_p, ctypes.c_uint32]),
    "tolvane_encrypt": (_i32, [_p, ctypes.c_char_p, ctypes.c_char_p, _size]),
    "tolvane_decrypt": (_i32, [_p, ctypes.c_char_p, ctypes.c_char_p, _size]),
    "tolvane_encrypt_file": (_i32, [_p, ctypes.c_char_p, ctypes.c_char_p,
                                    progress_type, _p]),
    "tolvane_decrypt_file": (_i32, [_p, ctypes.c_char_p, ctypes.c_char_p,
                                    progress_type, _p]),
    "tolvane_check_file": (_i32, [_p, ctypes.c_char_p, _out_i32]),
    "tolvane_encrypt_text16": (_i32, [_p, _units, _size, _out_units, _out_size]),
    "tolvane_decrypt_text16": (_i32, [_p, _units, _size, _out_units, _out_size]),
    "tolvane_hex_code16": (_i32, [_units, _size, _out_units, _out_size]),
    "tolvane_from_hex_code16": (_i32, [_units, _size, _out_units, _out_size]),
    "tolvane_code_page": (_i32, [_out_i32]),
    "tolvane_set_code_page": (_i32, [_i32]),
    "tolvane_code_page_bytes8": (_i32, [ctypes.c_char_p, _size, _out_p, _out_size]),
    "tolvane_code_page_text8": (_i32, [ctypes.c_char_p, _size, _out_p, _out_size]),
    "tolvane_base64_decode16": (_i32, [_units, _size, _out_p, _out_size]),
}
for _name, (_restype, _argtypes) in _SIGNATURES.items():
    _function = getattr(library, _name)
    _function.restype = _restype
    _function.argtypes = _argtypes

if library.tolvane_abi_version() != ABI_VERSION:
    raise ImportError(f"the tolvane library has interface {library.tolvane_abi_version()}, "
                      f"this package needs {ABI_VERSION}")
