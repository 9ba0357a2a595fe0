"""The Python package against the built shared library (TOLVANE_LIBRARY names it)."""
import os
import pathlib
import pickle
import signal
import threading
import time

import pytest

import tolvane

VECTORS = pathlib.Path(os.environ.get("TOLVANE_SOURCE_DIR", pathlib.Path(__file__).parents[2])) \
    / "tests" / "data" / "blowfish-published.txt"


def published_vectors():
    section = None
    for line in VECTORS.read_text().splitlines():
        if line.startswith("["):
            section = line
        elif section == "[ecb]" and line and not line.startswith("#"):
            yield tuple(bytes.fromhex(field) for field in line.split())


@pytest.mark.parametrize("key,plain,cipher", list(published_vectors()))
def test_published_vectors(key, plain, cipher):
    bf = tolvane.Blowfish(key)
    assert bf.encrypt(plain) == cipher
    assert bf.decrypt(cipher) == plain


def test_bytes_threads_and_text_round_trip():
    data = bytes(range(256)) * 2048  # 512 KiB: shared among threads
    one, two = tolvane.Blowfish(b"key"), tolvane.Blowfish(b"key", threads=2)
    assert one.encrypt(data) == two.encrypt(data)
    assert one.decrypt(two.encrypt(data)) == data
    assert tolvane.Blowfish(b"key", threads=0).encrypt(data) == one.encrypt(data)  # per hardware
    sealed = one.encrypt_text("Grüße aus Łeba")
    assert len(sealed) == 16
    assert one.decrypt_text(sealed) == "Grüße aus Leba"  # 1252 has no "Ł": its look-alike
    assert tolvane.hex_code("A€") == "4100AC20"
    assert tolvane.from_hex_code("4100ac20") == "A€"
    assert tolvane.from_hex_code(tolvane.hex_code("\ud800x")) == "\ud800x"
    assert tolvane.base64_decode("SGVs\nbG8=") == b"Hello"


def test_code_page_changes_text():
    assert tolvane.code_page() == 1252
    bf = tolvane.Blowfish(b"key")
    try:
        tolvane.set_code_page(1251)
        assert tolvane.code_page() == 1251
        assert bf.decrypt_text(bf.encrypt_text("Привет")) == "Привет"
    finally:
        tolvane.set_code_page(1252)


def test_files(tmp_path):
    bf = tolvane.Blowfish(b"file key")
    plain, sealed = tmp_path / "plain", tmp_path / "sealed"
    for content, key_checked in ((b"twelve bytes", True), (b"sixteen bytes!!!", False)):
        plain.write_bytes(content)
        seen = []
        bf.encrypt_file(plain, str(sealed), progress=lambda done, total: seen.append(total))
        assert seen[-1] == len(content)
        assert bf.check_file(sealed) is key_checked
        bf.decrypt_file(sealed, sealed)
        assert sealed.read_bytes() == content


def interrupt_once_open(path):
    """Sends this process SIGINT from another thread once the library has `path` open."""
    def watch():
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            opened = (os.path.realpath(f"/proc/self/fd/{fd}") for fd in os.listdir("/proc/self/fd"))
            if str(path) in opened:
                return os.kill(os.getpid(), signal.SIGINT)
    threading.Thread(target=watch, daemon=True).start()


def stop_on_ctrl_c(done, total):
    """A progress function that takes Ctrl-C while it runs as its word to stop."""
    try:
        os.kill(os.getpid(), signal.SIGINT)
    except KeyboardInterrupt:
        return True


@pytest.mark.parametrize("method,threads,progress,stops_with", [
    ("encrypt_file", 1, lambda done, total: True, tolvane.Error),
    ("encrypt_file", 2, stop_on_ctrl_c, tolvane.Error),
    ("decrypt_file", 2, lambda done, total: 1 / 0, ZeroDivisionError),
    ("encrypt_file", 1, lambda done, total: 1 / 0, ZeroDivisionError),
    ("encrypt_file", 1, None, KeyboardInterrupt),  # Ctrl-C
    ("decrypt_file", 2, lambda done, total: None, KeyboardInterrupt),
])
def test_file_call_stopped(tmp_path, method, threads, progress, stops_with):
    source, target = tmp_path / "source", tmp_path / "target"
    source.write_bytes((64 << 20).to_bytes(4, "little"))  # a length header, then 64 MiB of
    os.truncate(source, 4 + (64 << 20))                    # zeros: plain, or encrypted
    target.write_bytes(b"before")
    if stops_with is KeyboardInterrupt:
        interrupt_once_open(source.resolve())
    with pytest.raises(stops_with):
        getattr(tolvane.Blowfish(b"k", threads=threads), method)(source, target, progress)
    assert target.read_bytes() == b"before"
    assert sorted(os.listdir(tmp_path)) == ["source", "target"]


@pytest.mark.parametrize("call,number,words,builtin", [
    (lambda: tolvane.Blowfish(b""), 9, "Subscript out of range", None),
    (lambda: tolvane.Blowfish(b"k" * 32768), 6, "Overflow", None),
    (lambda: tolvane.Blowfish(b"k").encrypt(b"7 bytes"), -2147218101, "divisible by 8", None),
    (lambda: tolvane.Blowfish(b"k").decrypt_text(b"1234567"), -2147218101, "String to", None),
    (lambda: tolvane.Blowfish(b"k").encrypt("text"), 5, "bytes", None),
    (lambda: tolvane.Blowfish(b"k").check_file("/nonexistent"), -2147218102,
     "not found: '/nonexistent'", FileNotFoundError),
    (lambda: tolvane.Blowfish(b"k").encrypt_file("/no/plain", "/no/sealed"), -2147218102,
     "'/no/plain'", FileNotFoundError),
    (lambda: tolvane.Blowfish(b"k").encrypt_file(VECTORS, "/no/sealed"), 53, "'/no/sealed'",
     FileNotFoundError),
    (lambda: tolvane.Blowfish(b"k").encrypt_file(VECTORS, "/proc/self/sealed"), 70,
     "Permission denied", PermissionError),
    (lambda: tolvane.Blowfish(b"k").encrypt_file(VECTORS, "/no/victim\0.enc"), 5, "NUL",
     ValueError),
    (lambda: tolvane.Blowfish(b"k").decrypt_file(b"/no/source\0.enc", "/no/plain"), 5, "NUL",
     ValueError),
    (lambda: tolvane.Blowfish(b"k").check_file(pathlib.Path("/no/victim\0")), 5, "NUL",
     ValueError),
    (lambda: tolvane.Blowfish(b"k").encrypt_file(VECTORS, "/no/sealed", 5), 5, "callable",
     TypeError),
    (lambda: tolvane.Blowfish(b"k").check_file(42), 5, "", None),
    (lambda: tolvane.from_hex_code("4G"), 13, "Type mismatch", None),
    (lambda: tolvane.base64_decode("QQ=x"), 5, "", None),
    (lambda: tolvane.set_code_page(932), 5, "932", None),
])
def test_failures_raise_error(call, number, words, builtin):
    with pytest.raises(tolvane.Error) as raised:
        call()
    assert raised.value.number == number
    assert words in raised.value.message
    assert builtin is None or isinstance(raised.value, builtin)
    again = pickle.loads(pickle.dumps(raised.value))  # as a process pool's worker sends it
    assert (type(again), str(again)) == (type(raised.value), str(raised.value))


def test_wrong_key_on_a_file(tmp_path):
    source = tmp_path / "a"
    source.write_bytes(b"abc")
    tolvane.Blowfish(b"right").encrypt_file(source, source)
    with pytest.raises(tolvane.Error) as raised:
        tolvane.Blowfish(b"wrong").decrypt_file(source, tmp_path / "b")
    assert raised.value.number == 321
    assert not (tmp_path / "b").exists()


def test_text_over_one_conversion(monkeypatch):
    # Stands in for text of hundreds of millions of characters at the real limit.
    bf = tolvane.Blowfish(b"key")
    text = "Grüße aus Berlin! " * 20
    sealed = bf.encrypt_text(text)
    monkeypatch.setattr(tolvane, "_MAX_TEXT_UNITS", 64)
    for name in ("tolvane_code_page_bytes8", "tolvane_code_page_text8"):
        monkeypatch.setattr(tolvane._lib, name, lambda data, size, *out, real=getattr(
            tolvane._lib, name): 6 if size > 64 else real(data, size, *out))
    assert bf.encrypt_text(text) == sealed
    assert bf.decrypt_text(sealed) == text


@pytest.mark.parametrize("system,pointer_bytes,stdcall", [
    ("nt", 4, True), ("nt", 8, False), ("posix", 4, False), ("posix", 8, False)])
def test_stdcall_only_on_32_bit_windows(system, pointer_bytes, stdcall):
    from tolvane import _library
    assert _library.uses_stdcall(system, pointer_bytes) is stdcall


@pytest.mark.parametrize("system,override,installed,names", [
    ("posix", "", None, ["/pkg/libtolvane.so.1", "libtolvane.so.1"]),  # empty: not set
    ("posix", None, "../../lib/libtolvane.so.1",
     ["/pkg/libtolvane.so.1", "/pkg/../../lib/libtolvane.so.1", "libtolvane.so.1"]),
    ("posix", "/opt/x.so", "../lib/libtolvane.so.1", ["/opt/x.so"]),
    ("nt", None, None, ["/pkg/tolvane.dll", "tolvane.dll"]),
    ("nt", "C:\\x\\tolvane.dll", None, ["C:\\x\\tolvane.dll"]),
])
def test_library_search_order(system, override, installed, names):
    from tolvane import _library
    assert _library.library_names(system, override, installed, pathlib.PurePosixPath("/pkg")) \
        == names
