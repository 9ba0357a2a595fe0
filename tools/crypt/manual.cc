// The tool's documentation: every word of --help, the manual page and docs/tool.md.
// After a change here, regenerate docs/tool.md (docs/development.md says how).

#include "tools/crypt/manual.h"

#include <cstdio>
#include <cstdlib>

namespace tolvane::crypt {

const char* const kToolDescription =
    "Encrypts and decrypts files and text with Blowfish, converts text to and from its "
    "hexadecimal code, decodes Base64 and reads and writes settings.";
const char* const kToolPurpose =
    "Blowfish file and text encryption, hexadecimal code, Base64 and settings";

namespace {

constexpr const char* kKeyed[] = {"keys"};
constexpr const char* kFiles[] = {"files", "keys"};
constexpr const char* kSettings[] = {"settings-location"};

constexpr ArgumentDoc kFileArguments[] = {
    {"SRC", "Source file; - for standard input"},
    {"DST",
     "Target file, replaced whole; the same path as SRC works in place; - for standard output"},
};
constexpr ArgumentDoc kCheckArguments[] = {{"FILE", "Encrypted file; - for standard input"}};
constexpr ArgumentDoc kTextArguments[] = {
    {"TEXT", "The text; read from standard input when omitted"}};
constexpr ArgumentDoc kHexArguments[] = {
    {"TEXT", "The input; read from standard input when omitted"}};
constexpr ArgumentDoc kBase64Arguments[] = {
    {"INPUT", "File holding Base64 text; - for standard input"},
    {"-o,--output",
     "Write the bytes to PATH (replaced whole, {{mode 0600||readable by you only}}); - for "
     "standard output"},
};
constexpr ArgumentDoc kSetArguments[] = {
    {"NAME", "Value name"},
    {"VALUE", "Text value, or with --binary the PATH (- for standard input)"},
};
constexpr ArgumentDoc kGetArguments[] = {
    {"NAME", "Value name"},
    {"-o,--output",
     "Write the value to PATH (replaced whole, {{mode 0600||readable by you only}}); - for "
     "standard output"},
};
constexpr ArgumentDoc kDeleteArguments[] = {{"NAME", "Value name"}};

constexpr CommandDoc kCommands[] = {
    {"encrypt-file", "[KEY] [OPTIONS] SRC DST",
     "Encrypt SRC into the length-prefixed format at DST", kFileArguments,
     R"(Encrypts SRC into DST: the plain length as 4 bytes (signed, least significant byte
first), then the plaintext zero-padded to a multiple of 8 bytes and encrypted. SRC and DST may
be the same path, to encrypt in place. Files of 2 GiB or more are refused.)",
     R"(tolvane-crypt encrypt-file --key-file key.bin report.pdf report.enc
tolvane-crypt encrypt-file --key-env PASSWORD notes.txt notes.txt   # in place
tolvane-crypt encrypt-file notes.txt notes.enc   # asks for the key twice
producer | tolvane-crypt encrypt-file --key-file key.bin - out.enc)",
     kFiles},
    {"decrypt-file", "[KEY] [OPTIONS] SRC DST", "Decrypt SRC (length-prefixed format) into DST",
     kFileArguments,
     R"(Decrypts a file in that format back to its stored length, in place when both paths are
the same. A file that is not in the format, or a wrong key where it can be told, is refused
before anything is written; with DST `-` the plaintext then streams to standard output.)",
     R"(tolvane-crypt decrypt-file --key-file key.bin report.enc report.pdf
tolvane-crypt check --key-file key.bin notes.enc && \
  tolvane-crypt decrypt-file --key-file key.bin notes.enc notes.enc
tolvane-crypt decrypt-file --key-file key.bin notes.enc - | less)",
     kFiles},
    {"check", "[KEY] [OPTIONS] FILE",
     "Check that FILE is in the encrypted format and that the key fits, writing nothing",
     kCheckArguments,
     R"(Runs the checks that `decrypt-file` makes before writing, and writes nothing: use it
before an in-place `decrypt-file`. Exit 0 when FILE is in the format and the key fits, 1 when
it is not in the format or the key does not fit. The key can only be checked against the zero
padding: when the plaintext's length is a multiple of 8 there is none, and `check` says so on
standard error and exits 0.)",
     R"(tolvane-crypt check --key-file key.bin notes.enc
tolvane-crypt check --key-file key.bin notes.enc && \
  tolvane-crypt decrypt-file --key-file key.bin notes.enc notes.enc)",
     kKeyed},
    {"encrypt-text", "[KEY] [--lossy] [--raw] [OPTIONS] [TEXT]",
     "Encrypt TEXT (UTF-8; standard input when omitted); prints the cipher text as its "
     "hexadecimal code",
     kTextArguments,
     R"(Encrypts TEXT (UTF-8; standard input when it is left out, taken exactly as given but
for a leading byte-order mark: `echo` adds a line break) through its bytes in the ANSI code
page and prints the cipher text as its hexadecimal code on one line. A character the code page
cannot hold exactly, and a NUL character (decryption takes the first NUL for the end of the
text), are refused (exit status 1, nothing printed), naming the character and its position,
unless `--lossy` is given.)",
     R"(tolvane-crypt encrypt-text --key-env PASSWORD 'meet at noon'
printf '%s' "$MESSAGE" | tolvane-crypt encrypt-text --key-file key.bin)",
     kKeyed},
    {"decrypt-text", "[KEY] [--raw] [OPTIONS] [CODE]",
     "Decrypt cipher text given as its hexadecimal code (argument or standard input); prints "
     "the text as UTF-8",
     kTextArguments,
     R"(Decrypts cipher text given as its hexadecimal code (argument or standard input; a
trailing line break is ignored) and prints the text as UTF-8, exactly, with no line break
added.)",
     R"(tolvane-crypt decrypt-text --key-env PASSWORD 5AC4...
tolvane-crypt decrypt-text --key-file key.bin < cipher.hex)",
     kKeyed},
    {"hex",
     "[TEXT]",
     "Print the hexadecimal code of TEXT (UTF-8)",
     kHexArguments,
     R"(Prints the hexadecimal code of TEXT and a line break: each UTF-16 code unit as four
uppercase digits, low byte first. It is exact for any text.)",
     "tolvane-crypt hex 'A\u20AC'      # prints 4100AC20",
     {}},
    {"unhex",
     "[CODE]",
     "Print the text (UTF-8) that a hexadecimal code holds",
     kHexArguments,
     R"(Prints the text (UTF-8) that a hexadecimal code holds, with no line break added;
lowercase digits are accepted. Code that holds half a surrogate pair, which is no character
and has no UTF-8 form, is refused (exit status 1, nothing printed).)",
     "tolvane-crypt unhex 4100AC20   # prints A\u20AC",
     {}},
    {"base64-decode",
     "[INPUT] [-o OUTPUT]",
     "Decode Base64 text",
     kBase64Arguments,
     R"(Decodes standard Base64 (with `=` padding; space, tab and line breaks skipped) from
INPUT (standard input when it is left out or `-`) to OUTPUT (standard output by default). Input
beyond 64 MiB is refused without being read further.)",
     R"(tolvane-crypt base64-decode key.b64 -o key.bin
printf 'aGVsbG8=' | tolvane-crypt base64-decode)",
     {}},
    {"set", "[--binary] NAME VALUE",
     "Store a setting: NAME and a text VALUE, or with --binary NAME and a PATH whose bytes are "
     "stored",
     kSetArguments,
     R"(Stores the text VALUE under NAME. A text setting's NAME is a path of keys: `Window\Left`
is the value `Left` of the subkey `Window`, and `Recent\` the default value of the subkey
`Recent`. With `--binary`, VALUE names a file (`-`: standard input) whose bytes are stored as a
binary value, up to 64 MiB, named NAME as it is. A name holds one value: setting it replaces
what it held, text or binary. Names ignore the case of A to Z.)",
     R"(tolvane-crypt set LastFolder /home/me/docs
tolvane-crypt set --binary Salt salt.bin)",
     kSettings},
    {"get", "NAME [-o OUTPUT]",
     "Print a stored setting (text with a line break; binary as raw bytes)", kGetArguments,
     R"(Prints a stored setting: a text value with a line break, a binary value as its raw
bytes. Numbers that other programs stored print in decimal. Exit 1 when there is none.)",
     R"(tolvane-crypt get LastFolder
tolvane-crypt get Salt -o salt.bin)",
     kSettings},
    {"list",
     "",
     "List the stored settings: type and name, one a line",
     {},
     R"(Prints one line per value, its type and then its name, sorted by name. The type is
`text` or `binary`, or, for values other programs stored in the Windows registry, `expand`,
`multi`, `dword`, `qword` or `other`. Values of subkeys are named by their path, as in
`Window\Left`.)",
     "tolvane-crypt list",
     kSettings},
    {"delete", "NAME", "Delete a stored setting", kDeleteArguments,
     "Removes a stored setting (exit 1 when there is none).", "tolvane-crypt delete Salt",
     kSettings},
};

constexpr OptionDoc kOptions[] = {
    {"--key-file PATH", "Read the key's raw bytes (1 to 32767) from PATH; - for standard input",
     R"(Takes the key from the file's bytes, exactly: a trailing line break is part of the key.
A key is 1 to 32767 bytes; bytes after the 72nd have no effect. A longer file is refused at
once, whatever it is.)"},
    {"--key-env NAME", "Take the key's text from environment variable NAME",
     R"(Takes the key's text from the environment variable NAME, converted to bytes through the
ANSI code page.)"},
    {"--code-page N",
     "ANSI code page for text: 874 or 1250 to 1258 (default {{1252||the system's ANSI code "
     "page}}, or TOLVANE_ANSI_CODEPAGE)",
     R"(The ANSI code page for text and text keys: 874 or 1250 to 1258. The default is
{{1252||the system's ANSI code page}}, or the value of `TOLVANE_ANSI_CODEPAGE`.)"},
    {"--raw", "Cipher text as raw bytes in the ANSI code page instead of hexadecimal code",
     R"(With `encrypt-text` and `decrypt-text`: writes and reads the raw cipher bytes in the code
page instead of their hexadecimal code.)"},
    {"--lossy",
     "Convert characters the code page cannot hold as the library does (to \"?\" or a "
     "look-alike), and take NUL characters, instead of refusing the text",
     R"(With `encrypt-text`: converts characters the code page lacks to `?` (or a look-alike)
as the library does, and takes text holding NUL characters (which decryption cuts at the first
NUL), instead of refusing the text.)"},
    {"--progress",
     "Show the progress line on standard error even when it is no terminal or the work is short",
     R"(Shows a one-line progress display (bytes done, total, share, rate) on standard error, also
when it is not a terminal and however short the work. Without this option it is shown on a
terminal for files that take more than about a second.)"},
    {"--quiet", "Never show the progress line", "Shows no progress display."},
    {"--threads N",
     "Threads for the cipher work: 0 (the default) one per core, 1 none but the caller's",
     R"(The most threads one encryption or decryption may use; 0, the default, uses every core,
and 1 the calling thread only.)"},
    {"--binary", "VALUE is a PATH whose bytes are stored as binary",
     "With `set`: VALUE is a path whose bytes are stored as a binary value."},
    {"-o, --output PATH", "",
     "With `get` and `base64-decode`: where to write; standard output by default."},
    {"--version", "Print the version and exit", "Prints the program's name and version."},
    {"--help", "", "Prints help; after a subcommand, that subcommand's help with examples."},
};

constexpr SectionDoc kSections[] = {
    {"about", "",
     R"(Built as `build/tools/tolvane-crypt`, installed by `cmake --install` into `bin/`, with
its manual page. Every subcommand has `--help`, with examples; `tolvane-crypt --help` also lists
the exit codes, where the settings live and the security note below. This page, the manual page
and `--help` are all made from one table in `tools/crypt/manual.cc`.)"},
    {"key", "",
     R"(KEY is `--key-file PATH` or `--key-env NAME`; with neither, the key is asked for at a
prompt.)"},
    {"description", "Description",
     R"(`tolvane-crypt` puts the Tolvane cipher components on the command line. It encrypts and
decrypts whole files in a length-prefixed format and text through its hexadecimal code with the
Blowfish block cipher (64-bit blocks, 16 rounds, electronic-codebook mode, zero padding),
converts text to and from its hexadecimal code, decodes Base64 and reads and writes the
per-user settings store. Its formats are byte for byte those that existing desktop programs
hold; it exists to read and write such data, not to protect new data (see the security
note).)"},
    {"paths", "Paths",
     R"(Wherever a PATH is taken, `-` means standard input or standard output; a file named `-`
is reached as `./-`.)"},
    {"security", "Security",
     R"(The encrypted format exists to read and write data that programs already hold; do not
choose it for new data. It is weak: electronic-codebook mode shows which 8-byte blocks of the
plaintext are equal; nothing detects changed or cut data, so changed cipher text decrypts to
changed plaintext without any message; and the key is the password's bytes, with no salt and no
stretching, so a weak password falls to guessing. For new data use an authenticated format.)"},
    {"keys", "Keys",
     R"(Keys never go on the command line.

- `--key-file PATH`: the file's bytes, exactly. A trailing line break is part of the key
  {{(`printf '%s' "$PW" > key`, not `echo`)||(`echo` adds one)}}. 1 to 32767 bytes; the tool
  reads at most 32768 and refuses a longer file at once, whatever it is{{ (`/dev/zero`
  included)||}}. `-` reads the key from standard input, which then cannot also give the input.
- `--key-env NAME`: the variable's text.
- Neither, with standard input a {{terminal||console}}: a prompt without echo. When
  encrypting, the key is asked for twice and the two must match. An interrupt at the prompt
  {{(Ctrl-C) gives the terminal its echo back; so does a stop (Ctrl-Z), and when the tool
  continues (`fg`) echo is off again and the prompt is shown anew||(Ctrl-C or Ctrl-Break) gives
  the console its echo back}}. A typed key longer than 32767 bytes is refused, not cut.{{
  `--key-file` naming standard input by another name (`/dev/stdin`) counts as `-`.||}}

Text keys (`--key-env` and the prompt) become key bytes through the active ANSI code page, as a
desktop program that keys the cipher with its password's ANSI bytes does. A key holding a
character that the code page cannot hold exactly is refused, naming the first such character:
each such character would become "?" (or a look-alike), so that every four-letter Cyrillic or
Chinese password would be the same key "????". Choose a code page that holds the key with
`--code-page N`, or give its bytes with `--key-file`.

Only the first 72 bytes of a key have any effect: keys that differ only after the 72nd byte are
the same key. Key bytes are wiped once the cipher is keyed.)"},
    {"text", "Text",
     R"(Text is read from the argument or, when it is left out, from standard input, as UTF-8,
exactly as given (`echo` adds a line break{{; use `printf` or the argument||}}), up to 64 Mi UTF-16
code units (characters, counting one beyond U+FFFF as two). It goes
through the active ANSI code page: {{1252||the system's ANSI code page}} unless `--code-page
N` (874, 1250 to 1258) or the environment variable `TOLVANE_ANSI_CODEPAGE` names another.{{||
A system code page outside those (932 on a Japanese system, say) is refused, exit status 1,
until one of the two names a supported page.}}

Text and hexadecimal code read from standard input may start with a byte-order mark, as
Windows programs write it: one UTF-8 mark is dropped, and input that starts with a UTF-16 mark
(little- or big-endian, as Windows PowerShell 5 writes with `>`) is read as UTF-16. UTF-16
input of an odd length, or holding half a surrogate pair, is refused.

`encrypt-text` refuses text holding a character that the code page cannot hold exactly, with
exit code 1 and nothing printed, naming the first such character and its position (counted in
characters from 1): it would decrypt as "?" or another character. `--lossy` converts it anyway,
as the library does. The same holds for a NUL character: decryption takes the first NUL for the
end of the text (the padding's), so text holding one would come back cut or with NULs added;
`--lossy` encrypts it anyway. `hex` needs no such check: its code holds any text exactly.

Cipher text holds NUL and arbitrary characters, so it is printed and read as its hexadecimal
code (one line); `--raw` writes and reads the raw cipher bytes in the code page instead.
Decrypted text and `unhex` output are written exactly, with no line break added. Hexadecimal
code is read up to four digits for each code unit of the text limit (256 Mi digits), so the
tool reads back whatever text or code it prints; the code is written and read a piece at a
time, so memory stays a small multiple of the input.)"},
    {"files", "Files",
     R"(    tolvane-crypt encrypt-file --key-file key.bin report.pdf report.enc
    tolvane-crypt check --key-file key.bin report.enc && \
      tolvane-crypt decrypt-file --key-file key.bin report.enc report.enc
{{    tar c docs | tolvane-crypt encrypt-file --key-file key.bin - docs.tar.enc
    tolvane-crypt decrypt-file --key-file key.bin docs.tar.enc - | tar x
||}}
The files are written as [docs/files.md](files.md) describes: the target is replaced whole once
all the work is done and stays as it was on any failure, and decryption refuses a file that is
not in the format, or a wrong key where it can be told, before writing anything.

- The content goes to a temporary file `.NAME.RANDOM.tmp` in the target's folder{{ (mode
  0600)||}} and is renamed over the target only when complete. On any failure, or {{a
  signal||Ctrl-C or Ctrl-Break}}, the target (in place, the source) is left as it was and no
  temporary file stays.{{ A replaced file keeps its permission bits; nothing is ever written
  through a symbolic link.||}}
- `-` as SRC reads standard input: it is first copied to {{an unnamed temporary file (mode
  0600, in `$TMPDIR` or `/tmp`)||a temporary file (readable by you only, in `%TEMP%`, removed
  when the tool ends)}} to learn its length; input of 2 GiB or more is refused.
- `-` as DST writes standard output as the work goes. Decryption makes every check of the
  format, and of the key where it can be told, before the first byte goes out, so a file that
  is refused prints nothing and exits 1; should reading or writing fail midway, what went out
  stays and the exit status is 1.
- Progress: when standard error is a terminal and the work takes more than about a second, one
  line shows the bytes done, the total, the share and the rate. `--progress` shows it whatever
  standard error is and however short the work; `--quiet` never shows it.
- Threads: the file and text subcommands use every core for the cipher work; `--threads N`
  caps them (`--threads 1`: the calling thread only). The bytes are the same either way; see
  [performance.md](performance.md).)"},
    {"settings", "Base64 and settings",
     R"(- `get -o PATH` and `base64-decode -o PATH` write the file whole through a temporary file
  that is renamed over it, {{with mode 0600||readable by you only}} (values may be key
  material, and Base64 text often is){{, replacing a symbolic link rather than writing through
  it||}}; `-o -` is standard output.
{{- Settings live in `{settings}` (`$HOME/.config/...` when `XDG_CONFIG_HOME` is unset or not
  absolute), created with mode 0600 in folders of mode 0700; `tolvane-crypt --help` shows the
  path in use.||- Settings live in the registry, under
  `HKEY_CURRENT_USER\Software\Brennix\Tolvane`.}})"},
    {"settings-location", "Settings", "Settings are stored in {settings}."},
    {"environment", "Environment",
     R"(= TOLVANE_ANSI_CODEPAGE
  The ANSI code page when `--code-page` is not given.
{{= XDG_CONFIG_HOME, HOME
  Where the settings store lives.
= TMPDIR
  Where standard input is spooled, when it is an absolute path; `/tmp` otherwise.||= TMP, TEMP
  Where standard input is spooled, as Windows finds its temporary folder.}})"},
    {"streams", "Standard streams and signals",
     R"(- A standard stream that the tool was started without (closed, as with `<&-` or `>&-`)
  is an error when the command needs it: exit status 1, "Bad file descriptor", the target
  untouched. The tool opens `/dev/null` in its place at start, so that no file of its own is
  read or written as a standard stream.
- Standard output that is a pipe closed early (`| head -c1`) ends the tool with exit status 1
  and "Broken pipe", not by SIGPIPE.
- A signal that the tool was started with ignored (under `nohup`, or Ctrl-C for a script's
  background job) stays ignored.
- A signal that arrives once the target has been replaced does not fail the run: the work is
  done, and the exit status is 0.)"},
    {"exit-status", "Exit status",
     R"(= 0
  Success.
= 1
  The work failed: a file, key file, text, Base64 input or setting could not be used (missing,
  unreadable, empty or over-long key file, input over its limit, text the code page cannot
  hold), the library refused the data, or `check` found that the file is not in the format or
  the key does not fit. The message names the subcommand and the file or option.
= 2
  A usage error: unknown subcommand or option, a missing argument, no key, a key given as text
  that cannot be used (a character the code page cannot hold, two different keys typed,
  over-long), an unsupported code page.
{{= 128 + N
  Ended by signal N before the work was done: SIGINT (130), SIGTERM (143) or SIGHUP (129); the
  terminal's echo is restored||= 130, 149, 129
  Ended before the work was done by Ctrl-C (130), Ctrl-Break (149) or the console closing
  (129); the console's echo is restored}} and no temporary file is left.

The rule: 2 when what was typed or given as an argument is wrong and the command can be put
right by changing it; 1 when the command was right but a file or its data could not be used.)"},
    {"messages", "Messages",
     R"(Messages go to standard error as one line that names the subcommand and the file or
option involved, followed by what went wrong; a failure of the cipher work is worded as the
library's methods have always reported it, their name, the error's number and its text:

    tolvane-crypt: decrypt-file 'x.enc': Blowfish, sFileDecrypt(321 - Invalid file format: ...)
    tolvane-crypt: encrypt-text --key-file 'key.bin': the key file is empty

A usage error adds a line that names the help to read. Control characters and bytes that are
not UTF-8 in names are shown escaped (`\n`, `\x1B`), so that each message stays one line and
a terminal takes nothing in it for a command; `list` shows a name that holds such characters,
or starts with `"`, in double quotes with `"` and `\` escaped too. Spooled standard input is
called "standard input".)"},
    {"examples", "Examples",
     R"({{    printf %s 'my key' > key.bin; chmod 600 key.bin
||}}    tolvane-crypt encrypt-file --key-file key.bin notes.txt notes.enc
    tolvane-crypt check --key-file key.bin notes.enc && \
      tolvane-crypt decrypt-file --key-file key.bin notes.enc notes.enc
{{    tar c docs | tolvane-crypt encrypt-file --key-file key.bin - docs.tar.enc
    tolvane-crypt decrypt-file --key-file key.bin docs.tar.enc - | tar x
||}}    tolvane-crypt encrypt-text --key-env PASSWORD 'Hello'
    tolvane-crypt hex 'A€'
    tolvane-crypt base64-decode blob.b64 -o blob
    tolvane-crypt set LastFolder /home/me/docs

Run `tolvane-crypt SUBCOMMAND --help` for each subcommand's options and examples;
`tolvane-crypt --version` prints the version.)"},
    {"see-also", "See also", "`openssl-enc`(1), `sqlite3`(1)"},
};

[[noreturn]] void Missing(const char* what, std::string_view name) {
  std::fprintf(stderr, "tolvane-crypt: the manual has no %s '%.*s'\n", what,
               static_cast<int>(name.size()), name.data());
  std::abort();
}

}  // namespace

std::span<const CommandDoc> Commands() { return kCommands; }
std::span<const OptionDoc> Options() { return kOptions; }
std::span<const SectionDoc> Sections() { return kSections; }

const CommandDoc& Command(std::string_view name) {
  for (const CommandDoc& command : kCommands) {
    if (name == command.name) return command;
  }
  Missing("subcommand", name);
}

std::string ArgumentHelp(std::string_view command, std::string_view name) {
  for (const ArgumentDoc& argument : Command(command).arguments) {
    if (name == argument.name) return ForPlatform(argument.help, kThisPlatform);
  }
  return OptionHelp(name);
}

std::string OptionHelp(std::string_view name) {
  for (const OptionDoc& option : kOptions) {
    const std::string_view listed(option.name);
    if (listed.substr(0, listed.find(' ')) == name && option.help[0] != '\0') {
      return ForPlatform(option.help, kThisPlatform);
    }
  }
  Missing("option", name);
}

const SectionDoc& Section(std::string_view id) {
  for (const SectionDoc& section : kSections) {
    if (id == section.id) return section;
  }
  Missing("section", id);
}

}  // namespace tolvane::crypt
