"""Blowfish encryption of bytes, text and files through the Tolvane library's C interface.

    import tolvane
    cipher = tolvane.Blowfish(b"my key")
    sealed = cipher.encrypt(b"8 bytes!")          # a multiple of 8 bytes
    cipher.encrypt_file("notes.txt", "notes.enc")
    tolvane.hex_code("A")                         # "4100"

Every failure raises tolvane.Error, whose .number is the library's error number and .message
its description; it pickles, so it crosses process pools. Some are also the built-in Python code
expects: FileNotFoundError for a missing file, PermissionError for a refused one, ValueError for
a path holding a NUL character, TypeError for a progress function that is no function. Ctrl-C
during a file call stops it between chunks, leaving the target as it was, and raises
KeyboardInterrupt; what a progress function raises stops it likewise and comes out as itself.
The library is loaded with ctypes from where this package was installed with it; the
environment variable TOLVANE_LIBRARY names another file to load instead.
"""
from __future__ import annotations

import ctypes
import os
import signal
import threading
from typing import Callable, Optional, Union

from tolvane._library import library as _lib
from tolvane._library import progress_type as _progress_type

__all__ = [
    "Blowfish",
    "Error",
    "base64_decode",
    "code_page",
    "from_hex_code",
    "hex_code",
    "set_code_page",
    "version",
]

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

# Error numbers: an argument the library cannot use; a missing source (a file call's only use
# of this number); a missing file or folder; a refused permission.
_INVALID_ARGUMENT = 5
_SOURCE_NOT_FOUND = -2147218102
_FILE_NOT_FOUND = 53
_PERMISSION_DENIED = 70

# TOLVANE_MAX_TEXT_UNITS: the most code units, or UTF-8 bytes, one text call takes.
_MAX_TEXT_UNITS = 536870911


class Error(Exception):
    """A failure the library reported: its error number and description."""

    def __init__(self, number: int, message: str) -> None:
        super().__init__(number, message)  # the arguments pickling passes back
        self.number = number
        self.message = message

    def __str__(self) -> str:
        return f"{self.number} - {self.message}"


# Failures that are also the built-in exception Python code catches for them.
class _NotFound(Error, FileNotFoundError):
    pass


class _Denied(Error, PermissionError):
    pass


class _BadValue(Error, ValueError):
    pass


class _BadType(Error, TypeError):
    pass


def _check(number: int, source: Optional[bytes] = None) -> None:
    """Raises the failure `number`; `source` is the file a file call read."""
    if number == 0:
        return
    message = _lib.tolvane_last_error_message().decode("utf-8", "replace")
    kind = {_FILE_NOT_FOUND: _NotFound, _PERMISSION_DENIED: _Denied}.get(number, Error)
    if number == _SOURCE_NOT_FOUND and source is not None:
        kind, message = _NotFound, f"{message}: '{os.fsdecode(source)}'"
    raise kind(number, message)


def _utf16(text: str) -> tuple[ctypes.Array[ctypes.c_uint16], int]:
    """`text` as UTF-16 code units; lone surrogates are kept as they are."""
    if not isinstance(text, str):
        raise Error(_INVALID_ARGUMENT, f"text must be str, not {type(text).__name__}")
    raw = text.encode("utf-16-le", "surrogatepass")
    units = len(raw) // 2
    return (ctypes.c_uint16 * max(units, 1)).from_buffer_copy(raw.ljust(2 * max(units, 1), b"\0")), units


def _take_text16(pointer: ctypes._Pointer[ctypes.c_uint16], units: int) -> str:
    try:
        raw = ctypes.string_at(pointer, units * 2)
    finally:
        _lib.tolvane_free(pointer)
    return raw.decode("utf-16-le", "surrogatepass")


def _take_bytes(pointer: ctypes.c_void_p, size: int) -> bytes:
    try:
        return ctypes.string_at(pointer, size)
    finally:
        _lib.tolvane_free(pointer)


def _text16_call(function: Callable[..., int], *leading: object, text: str) -> str:
    """Calls a library function from UTF-16 text to UTF-16 text."""
    units, count = _utf16(text)
    result = ctypes.POINTER(ctypes.c_uint16)()
    result_units = ctypes.c_size_t()
    _check(function(*leading, units, count, ctypes.byref(result), ctypes.byref(result_units)))
    return _take_text16(result, result_units.value)


def _bytes_of(data: object) -> bytes:
    if not isinstance(data, (bytes, bytearray, memoryview)):
        raise Error(_INVALID_ARGUMENT, f"data must be bytes, not {type(data).__name__}")
    return bytes(data)


def _path(path: PathLike) -> bytes:
    try:
        native = os.fspath(path)
    except TypeError as e:
        raise Error(_INVALID_ARGUMENT, str(e)) from None
    # The library takes NUL-terminated paths: it would see only what comes before a NUL, and
    # act on another file.
    if (b"\0" in native) if isinstance(native, bytes) else ("\0" in native):
        raise _BadValue(_INVALID_ARGUMENT, f"the path holds a NUL character: {native!r}")
    if isinstance(native, bytes):
        return native
    # The library takes UTF-8 paths; on POSIX a path is bytes, as the file system holds them.
    return os.fsencode(native) if os.name != "nt" else native.encode("utf-8", "surrogatepass")


# The code page gives each character one byte, so text converts piece by piece; pieces keep
# each call within _MAX_TEXT_UNITS UTF-8 bytes, as cipher text, about 1.65 of them a character,
# would not be whole.
def _code_page_bytes(text: str) -> bytes:
    def piece(part: str) -> bytes:
        raw = part.encode("utf-8")
        result = ctypes.c_void_p()
        size = ctypes.c_size_t()
        _check(_lib.tolvane_code_page_bytes8(raw, len(raw), ctypes.byref(result),
                                             ctypes.byref(size)))
        return _take_bytes(result, size.value)

    step = _MAX_TEXT_UNITS // 4  # a character is at most 4 UTF-8 bytes
    return b"".join(piece(text[i:i + step]) for i in range(0, len(text), step))


def _code_page_text(data: bytes) -> str:
    def piece(part: bytes) -> str:
        result = ctypes.c_void_p()
        size = ctypes.c_size_t()
        _check(_lib.tolvane_code_page_text8(part, len(part), ctypes.byref(result),
                                            ctypes.byref(size)))
        return _take_bytes(result, size.value).decode("utf-8")

    step = _MAX_TEXT_UNITS
    return "".join(piece(data[i:i + step]) for i in range(0, len(data), step))


# Told (bytes done, total) while a file is encrypted or decrypted; returning True stops it.
ProgressFunction = Callable[[int, int], Optional[bool]]


class _FileCall:
    """The progress callback of one file call, always given to the library so that Ctrl-C stops
    the work between chunks. Nothing may cross the library, so an exception the progress
    function or a signal handler raises is kept, the callback asks the library to stop, and the
    call raises it once the library has left the target as it was."""

    def __init__(self, progress: Optional[ProgressFunction]) -> None:
        if progress is not None and not callable(progress):
            raise _BadType(_INVALID_ARGUMENT,
                           f"progress must be callable, not {type(progress).__name__}")
        self._progress = progress
        self._raised: Optional[BaseException] = None
        self._on_interrupt: Callable[..., object] = signal.default_int_handler
        self._callback = _progress_type(self._told)

    def _told(self, _context: object, done: int, total: int) -> int:
        try:
            if self._raised is None and self._progress is not None:
                if self._progress(done, total):
                    return 1
        except BaseException as e:
            self._keep(e)
        return 0 if self._raised is None else 1

    def _keep(self, raised: BaseException) -> None:
        if self._raised is None:
            self._raised = raised

    def _interrupted(self, signum: int, frame: object) -> None:
        # Python runs a signal's handler where the main thread next runs Python code: during the
        # library's work that is mostly on entering the callback, before its `try`, where ctypes
        # would print what the handler raises and drop it, and the work would go on. Anywhere
        # else (the progress function, before or after the call) it is raised where it comes.
        try:
            self._on_interrupt(signum, frame)
        except BaseException as e:
            if getattr(frame, "f_code", None) is not _FileCall._told.__code__:
                raise
            self._keep(e)

    def run(self, function: Callable[..., int], handle: ctypes.c_void_p, source: bytes,
            target: bytes) -> None:
        # Signals reach only the main thread's Python code, and only it may set their handlers.
        on_interrupt = signal.getsignal(signal.SIGINT)
        guard = False
        if callable(on_interrupt) and threading.current_thread() is threading.main_thread():
            self._on_interrupt, guard = on_interrupt, True
            signal.signal(signal.SIGINT, self._interrupted)
        try:
            number = function(handle, source, target, self._callback, None)
        finally:
            if guard:
                signal.signal(signal.SIGINT, on_interrupt)
        if self._raised is not None:
            raised, self._raised = self._raised, None
            raise raised
        _check(number, source)


class Blowfish:
    """One Blowfish key: encrypts and decrypts bytes, text and files with it.

    Raises tolvane.Error when the key is refused (empty: 9; over 32767 bytes: 6). Only the
    first 72 bytes of a key count. Use it from one thread at a time; `threads` lets one call
    share inputs of 256 KiB and more among that many threads (0: one per hardware thread).
    """

    def __init__(self, key: bytes, *, threads: int = 1) -> None:
        self._handle = ctypes.c_void_p()
        _check(_lib.tolvane_cipher_create(ctypes.byref(self._handle)))
        key = _bytes_of(key)
        try:
            _check(_lib.tolvane_cipher_set_key(self._handle, key, len(key)))
            if not 0 <= threads <= 0xFFFFFFFF:
                raise Error(_INVALID_ARGUMENT, f"threads out of range: {threads}")
            _check(_lib.tolvane_cipher_set_threads(self._handle, threads))
        except BaseException:
            self.close()
            raise

    def close(self) -> None:
        """Wipes the key schedule; the object cannot be used afterwards."""
        if self._handle:
            _lib.tolvane_cipher_destroy(self._handle)
            self._handle = ctypes.c_void_p()

    def __enter__(self) -> "Blowfish":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __del__(self) -> None:
        handle = getattr(self, "_handle", None)
        if handle and _lib is not None:
            self.close()

    def _transform(self, function: Callable[..., int], data: bytes) -> bytes:
        data = _bytes_of(data)
        out = ctypes.create_string_buffer(max(len(data), 1))
        try:
            _check(function(self._handle, data, out, len(data)))
            return out.raw[: len(data)]
        finally:
            ctypes.memset(out, 0, len(out))

    def encrypt(self, data: bytes) -> bytes:
        """`data` (a multiple of 8 bytes) encrypted in electronic-codebook mode."""
        return self._transform(_lib.tolvane_encrypt, data)

    def decrypt(self, data: bytes) -> bytes:
        """`data` (a multiple of 8 bytes) decrypted in electronic-codebook mode."""
        return self._transform(_lib.tolvane_decrypt, data)

    def _file(self, function: Callable[..., int], src: PathLike, dst: PathLike,
              progress: Optional[ProgressFunction]) -> None:
        call = _FileCall(progress)
        call.run(function, self._handle, _path(src), _path(dst))

    def encrypt_file(self, src: PathLike, dst: PathLike,
                     progress: Optional[ProgressFunction] = None) -> None:
        """Encrypts the file `src` into `dst` (which may be `src`); `dst` is replaced whole
        once every byte is done, and stays as it was on any failure. `progress(done, total)`
        is called between chunks on this thread: returning True stops the work (error 18), and
        what it raises stops it and is raised here, as is KeyboardInterrupt on Ctrl-C."""
        self._file(_lib.tolvane_encrypt_file, src, dst, progress)

    def decrypt_file(self, src: PathLike, dst: PathLike,
                     progress: Optional[ProgressFunction] = None) -> None:
        """Decrypts the file `src` into `dst` after checking its format and, where the
        padding allows, the key (error 321 when a check fails); otherwise as encrypt_file."""
        self._file(_lib.tolvane_decrypt_file, src, dst, progress)

    def check_file(self, path: PathLike) -> bool:
        """Runs decrypt_file's checks on `path`, writing nothing: True when the key was checked,
        False when the plain length is a multiple of 8 and left nothing to check it against."""
        key_checked = ctypes.c_int32()
        native = _path(path)
        _check(_lib.tolvane_check_file(self._handle, native, ctypes.byref(key_checked)), native)
        return bool(key_checked.value)

    def encrypt_text(self, text: str) -> bytes:
        """The cipher bytes of `text`, taken through the active code page (characters it
        lacks become a look-alike or "?"): a multiple of 8 bytes."""
        cipher = _text16_call(_lib.tolvane_encrypt_text16, self._handle, text=text)
        return _code_page_bytes(cipher)

    def decrypt_text(self, cipher: bytes) -> str:
        """The text of cipher bytes (a multiple of 8), cut at its first NUL character."""
        cipher_text = _code_page_text(_bytes_of(cipher))
        return _text16_call(_lib.tolvane_decrypt_text16, self._handle, text=cipher_text)


def hex_code(text: str) -> str:
    """Each UTF-16 code unit of `text` as four uppercase hexadecimal digits, low byte first."""
    return _text16_call(_lib.tolvane_hex_code16, text=text)


def from_hex_code(code: str) -> str:
    """The text a hexadecimal code holds (error 13 for a character that is no digit)."""
    return _text16_call(_lib.tolvane_from_hex_code16, text=code)


def base64_decode(text: str) -> bytes:
    """Standard Base64 (white space skipped) decoded; error 5 says what is wrong and where."""
    units, count = _utf16(text)
    result = ctypes.c_void_p()
    size = ctypes.c_size_t()
    _check(_lib.tolvane_base64_decode16(units, count, ctypes.byref(result), ctypes.byref(size)))
    return _take_bytes(result, size.value)


def code_page() -> int:
    """The active ANSI code page (874 or 1250 to 1258) that text goes through."""
    number = ctypes.c_int32()
    _check(_lib.tolvane_code_page(ctypes.byref(number)))
    return number.value


def set_code_page(n: int) -> None:
    """Makes `n` the active code page for the whole process (error 5 if unsupported)."""
    if not isinstance(n, int) or not -(2**31) <= n < 2**31:
        raise Error(_INVALID_ARGUMENT, f"no such code page: {n!r}")
    _check(_lib.tolvane_set_code_page(n))


def version() -> str:
    """The library's version."""
    return _lib.tolvane_version().decode("ascii")
