#!/usr/bin/env bash
# Holds tolvane-crypt.exe under Wine against the Linux tolvane-crypt: files, text in every
# supported code page (as hexadecimal code and as raw ANSI bytes through standard output),
# text keys through the code page, and the hexadecimal code must come out byte for byte the
# same, and each tool must read what the other wrote.
# Usage: cross_check.sh <linux-tolvane-crypt> <tolvane-crypt.exe> <work-dir>
set -euo pipefail
linux=$1
windows=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
win() { wine "$windows" "$@"; }

# Both must give the same bytes (exit status included) for the same arguments.
same() {
  local what=$1
  shift
  local linux_status=0 windows_status=0
  "$linux" "$@" >linux.out 2>linux.err || linux_status=$?
  win "$@" >windows.out 2>windows.err || windows_status=$?
  [ "$linux_status" = "$windows_status" ] ||
    fail "$what: exit $linux_status on Linux, $windows_status on Windows ($(cat windows.err))"
  cmp -s linux.out windows.out || fail "$what: the outputs differ"
  checks=$((checks + 1))
}
checks=0

# Keys: raw bytes, and text, which the tool takes only when the code page holds every
# character exactly: for 1252 here, and for each page below letters of its own.
head -c 56 /dev/urandom >key.bin
export TOLVANE_TEXT_KEY='Pässwörd €…‰ Æ'

# Files: random bytes full of CR, LF and Ctrl-Z, which text mode would change; an empty file;
# names that need Unicode.
{ head -c 70000 /dev/urandom; printf '\r\n\n\r\x1a'; } >plain.bin
: >empty.bin
for src in plain.bin empty.bin; do
  "$linux" encrypt-file "$src" "$src.linux.enc" --key-file key.bin
  win encrypt-file "$src" "$src.win.enc" --key-file key.bin
  cmp -s "$src.linux.enc" "$src.win.enc" || fail "encrypt-file $src: the files differ"
  "$linux" decrypt-file "$src.win.enc" "$src.back.linux" --key-file key.bin
  win decrypt-file "$src.linux.enc" "$src.back.win" --key-file key.bin
  cmp -s "$src" "$src.back.linux" && cmp -s "$src" "$src.back.win" ||
    fail "decrypt-file $src: not the plaintext"
  checks=$((checks + 1))
done
name='Grüße ✓ 日本 😀.bin'
cp plain.bin "$name"
win encrypt-file "$name" "$name.enc" --key-env TOLVANE_TEXT_KEY
"$linux" decrypt-file "$name.enc" unicode.back --key-env TOLVANE_TEXT_KEY
cmp -s plain.bin unicode.back || fail "a Unicode file name: not the plaintext"
# Standard input and output, spooled and staged through temporary files, in binary mode.
"$linux" encrypt-file - - --key-file key.bin <plain.bin >linux.out
win encrypt-file - - --key-file key.bin <plain.bin >windows.out
cmp -s linux.out windows.out || fail "encrypt-file - -: the outputs differ"
win decrypt-file - - --key-file key.bin <linux.out >windows.out
cmp -s plain.bin windows.out || fail "decrypt-file - -: not the plaintext"
win check - --key-file key.bin <linux.out 2>windows.err || fail "check -: $(cat windows.err)"
win encrypt-file plain.bin key-stdin.enc --key-file - <key.bin
cmp -s plain.bin.linux.enc key-stdin.enc || fail "--key-file -: not the same file"
checks=$((checks + 5))

# Files named on the command line, Base64, settings (a file on Linux, the registry on Windows)
# and failures: the same output and exit code. The Linux settings go to the work folder; the
# registry's settings key starts empty (the test suite writes it too).
export XDG_CONFIG_HOME=$PWD/config
key='HKCU\Software\Brennix\Tolvane'
wine reg delete "$key" /f >/dev/null 2>&1 || true
printf 'SGVsbG8sIHfDtnJsZCEKDQoA/w==\n' >b64.txt
printf '\r\n\0\x1a\xff' >value.bin
mkdir folder
same "base64-decode" base64-decode b64.txt
same "base64-decode of a missing file" base64-decode missing.txt
same "set" set 'Größe ✓' 'Wert ✓ 日本'
same "get" get 'Größe ✓'
same "set --binary" set --binary blob value.bin
same "get of binary" get blob
same "delete" delete blob
same "get after delete" get blob
same "delete of the text" delete 'Größe ✓'
# The settings' layout: a text name is a key path, as other programs' values made with
# "reg add" show; a binary name is taken whole. The Linux store gives the same answers.
wine reg add "$key\Window" /v Left /d 100 /f >/dev/null
"$linux" set 'Window\Left' 100
same "get of a value another program stored in a subkey" get 'window\LEFT'
same "set in a subkey" set 'WINDOW\Top' 5
same "set of a subkey's default value" set 'Recent\' last
same "set --binary of a name with backslashes" set --binary 'Window\Blob' value.bin
same "get of the binary value" get 'Window\Blob'
same "list of subkeys' values" list
wine reg query "$key\Window" /v Top | grep -q 'Top *REG_SZ *5' || fail "set 'WINDOW\Top': not in the subkey"
wine reg query "$key\Recent" /ve | grep -q 'REG_SZ *last' || fail "set 'Recent\': not the default value"
wine reg query "$key" /v 'Window\Blob' | grep -q REG_BINARY || fail "set --binary: not a flat value"
same "a text name that names no key" set '\lead' x
same "delete of a subkey's value" delete 'Window\Left'
wine reg query "$key\Window" /v Left >/dev/null 2>&1 && fail "delete 'Window\Left': still there"
# Another program's number: listed by its type, read in decimal.
wine reg add "$key" /v Count /t REG_DWORD /d 42 /f >/dev/null
[ "$(win get Count)" = 42 ] || fail "get of a REG_DWORD: $(win get Count 2>&1)"
win list | grep -qx 'dword   Count' || fail "list: no REG_DWORD ($(win list))"
wine reg delete "$key" /f >/dev/null
checks=$((checks + 6))
same "a missing source" encrypt-file missing.bin out.enc --key-file key.bin
same "a folder as source" encrypt-file folder out.enc --key-file key.bin
same "a missing key file" encrypt-file plain.bin out.enc --key-file missing.key
same "decrypt-file of a plain file" decrypt-file plain.bin out.bin --key-file key.bin
same "check of a plain file" check plain.bin --key-file key.bin
same "check with the wrong key" check plain.bin.linux.enc --key-file value.bin
same "no key" encrypt-text x </dev/null
# Messages are the same bytes as well: UTF-8, lines ended by LF alone.
for args in "encrypt-file нет.bin out.enc --key-file key.bin" "encrypt-file --key-file key.bin x"; do
  read -ra words <<<"$args"
  same "the message of $args" "${words[@]}"
  cmp -s linux.err windows.err || fail "$args: the messages differ: $(od -c windows.err | head)"
done
# Text input that Windows programs wrote: UTF-16 with its byte-order mark.
printf '\xff\xfe4\x00a\x00A\x00C\x00 \x00' >utf16.txt
"$linux" unhex <utf16.txt >linux.out
win unhex <utf16.txt >windows.out
cmp -s linux.out windows.out && [ -s linux.out ] || fail "unhex of UTF-16 input: the outputs differ"
checks=$((checks + 1))

# Text in every code page: characters of the page, of other pages, best fits, a character
# outside the Basic Multilingual Plane, and the bytes that only some pages assign. --lossy
# converts what the page lacks as the library does (best fit or "?"), which both must do
# alike; without it both refuse the text.
text='Hello, wörld! €‚ƒ„…†‡ˆ‰Š‹ŒŽ ĀāłŁ∞ ΑΒΓαβγ АБВабв אבג ابت กขค ĂăƠơ 😀 ≠ ™'
page_key() { python3 -c "import sys; print(bytes(range(0xC0, 0xE0)).decode('cp' + sys.argv[1], 'ignore'), end='')" "$1"; }
for page in 874 1250 1251 1252 1253 1254 1255 1256 1257 1258; do
  TOLVANE_PAGE_KEY=$(page_key "$page")
  export TOLVANE_PAGE_KEY
  same "encrypt-text without --lossy $page" encrypt-text "$text" --code-page "$page" \
    --key-env TOLVANE_PAGE_KEY
  same "encrypt-text $page" encrypt-text "$text" --lossy --code-page "$page" \
    --key-env TOLVANE_PAGE_KEY
  hex=$(cat linux.out)
  same "encrypt-text --raw $page" encrypt-text "$text" --lossy --raw --code-page "$page" \
    --key-env TOLVANE_PAGE_KEY
  cp linux.out raw.bin
  same "decrypt-text $page" decrypt-text "$hex" --code-page "$page" --key-env TOLVANE_PAGE_KEY
  [ -s linux.out ] || fail "decrypt-text $page gave nothing"
  "$linux" decrypt-text --raw --code-page "$page" --key-env TOLVANE_PAGE_KEY <raw.bin >linux.out
  win decrypt-text --raw --code-page "$page" --key-env TOLVANE_PAGE_KEY <raw.bin >windows.out
  cmp -s linux.out windows.out || fail "decrypt-text --raw $page: the outputs differ"
  # Cipher text of the code units U+0000 to U+00FF: through the page both ways.
  same "decrypt-text of U+0000 to U+00FF $page" decrypt-text --code-page "$page" --key-file key.bin \
    "$(python3 -c 'print("".join(f"{b:02X}00" for b in range(256)))')"
done
same "hex" hex "$text"
same "unhex" unhex "$(cat linux.out)"
same "unhex lowercase odd" unhex "4a0042"
same "a refused code page" encrypt-text x --code-page 932 --key-file key.bin
# Without --code-page the page is the system's, GetACP(), which Wine takes from the locale: a
# Russian system converts through 1251, a Japanese one (932) is refused, not replaced.
locales=$(locale -a)
if grep -qx 'ru_RU.utf8' <<<"$locales" && grep -qx 'ja_JP.utf8' <<<"$locales"; then
  TOLVANE_PAGE_KEY=$(page_key 1251)
  "$linux" encrypt-text "$text" --lossy --code-page 1251 --key-env TOLVANE_PAGE_KEY >linux.out
  LC_ALL=ru_RU.UTF-8 win encrypt-text "$text" --lossy --key-env TOLVANE_PAGE_KEY >windows.out
  cmp -s linux.out windows.out || fail "the system's code page 1251 is not used"
  status=0
  LC_ALL=ja_JP.UTF-8 win encrypt-text x --key-file key.bin >windows.out 2>windows.err || status=$?
  [ "$status" = 1 ] && grep -q "The system's ANSI code page 932 is not supported" windows.err &&
    grep -q -- "--code-page N or the environment variable TOLVANE_ANSI_CODEPAGE" windows.err ||
    fail "the system's code page 932 is not refused: $(cat windows.err)"
  checks=$((checks + 2))
else
  echo "skipped the system code page: the ru_RU and ja_JP locales are not generated"
fi
# The spooled input and the staged output leave nothing in the temporary folder; the spooled
# input goes with its handle even when the tool is killed outright while reading it.
temp=$(winepath -u "$(wine cmd /c echo %TEMP% | tr -d '\r')")
mkfifo input.fifo
wine "$windows" encrypt-file - killed.enc --key-file key.bin <input.fifo >/dev/null 2>&1 &
pid=$!
exec 3>input.fifo
head -c 100000 /dev/urandom >&3
for _ in $(seq 60); do
  [ -z "$(find "$temp" -maxdepth 1 -name 'tolvane-crypt.*')" ] || break
  sleep 0.5
done
[ -n "$(find "$temp" -maxdepth 1 -name 'tolvane-crypt.*')" ] || fail "no spooled input"
{ kill -9 "$pid" && wait "$pid"; } 2>/dev/null || true
exec 3>&-
sleep 1
[ ! -e killed.enc ] || fail "a killed run left its target"
checks=$((checks + 1))
leftovers=$(find "$temp" -maxdepth 1 -name 'tolvane-crypt.*' | wc -l)
[ "$leftovers" = 0 ] || fail "$leftovers temporary files or folders left in $temp"
echo "tolvane-crypt.exe under Wine matches the Linux tool: $checks comparisons"
