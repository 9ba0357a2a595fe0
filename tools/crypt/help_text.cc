#include "tools/crypt/help_text.h"

#include "tolvane/support/settings_file.h"

namespace tolvane::crypt {
namespace {

constexpr const char* kKeyNote =
    "Keys: --key-file PATH takes the file's bytes exactly (a trailing line break is part of the "
    "key; at most 32767 bytes, only the first 72 count); --key-env NAME and the prompt (without "
    "echo, when neither is given and standard input is a terminal) take text, converted through "
    "the ANSI code page and refused unless every character converts exactly. Keys never go on "
    "the command line.";

std::string SettingsLocation() {
  try {
    return SettingsFilePath().string();
  } catch (...) {
    return "$XDG_CONFIG_HOME/Brennix/Tolvane/settings.sqlite3";
  }
}

}  // namespace

std::string MainFooter() {
  return "Examples:\n"
         "  tolvane-crypt encrypt-file --key-file key.bin notes.txt notes.enc\n"
         "  tolvane-crypt check --key-file key.bin notes.enc\n"
         "  tar c docs | tolvane-crypt encrypt-file --key-file key.bin - docs.tar.enc\n"
         "  tolvane-crypt decrypt-file --key-file key.bin docs.tar.enc - | tar x\n"
         "Run 'tolvane-crypt SUBCOMMAND --help' for each subcommand's options and examples; "
         "'tolvane-crypt --version' prints the version.\n\n"
         "Paths: - means standard input or output wherever a PATH is taken; a file named - is "
         "reached as ./-.\n\n"
         "Exit codes: 0 success; 1 the work failed (a file, key file, text, Base64 input or "
         "setting could not be used, or the data was refused; the message names the "
         "subcommand and the file or option); 2 a usage error (unknown subcommand or option, a "
         "missing argument, no key, a key given as text that cannot be used, an unsupported "
         "code page); 128 + N when ended by signal N (SIGINT, SIGTERM, SIGHUP).\n\n"
         "Settings are stored in " +
         SettingsLocation() +
         ".\n\n"
         "Security: this format exists to read and write data that programs already hold. It "
         "is weak: electronic-codebook mode shows which 8-byte blocks are equal, nothing "
         "detects changed data, and the key is the password's bytes with no salt or "
         "stretching. For new data use an authenticated format.";
}

std::string FileFooter(bool encrypt) {
  std::string text =
      encrypt ? "Examples:\n"
                "  tolvane-crypt encrypt-file --key-file key.bin report.pdf report.enc\n"
                "  tolvane-crypt encrypt-file --key-env PASSWORD notes.txt notes.txt   # in place\n"
                "  tolvane-crypt encrypt-file notes.txt notes.enc   # asks for the key twice\n"
                "  producer | tolvane-crypt encrypt-file --key-file key.bin - out.enc\n"
                "Standard input (-) is first copied to an unnamed temporary file (mode 0600) to "
                "learn its length.\n"
              : "Examples:\n"
                "  tolvane-crypt decrypt-file --key-file key.bin report.enc report.pdf\n"
                "  tolvane-crypt check --key-file key.bin notes.enc && \\\n"
                "    tolvane-crypt decrypt-file --key-file key.bin notes.enc notes.enc\n"
                "  tolvane-crypt decrypt-file --key-file key.bin notes.enc - | less\n"
                "A file that is not in the format, or a wrong key where it can be told, is "
                "refused before anything is written.\n";
  text +=
      "The target is replaced whole once all the work is done; on failure it stays as it was. "
      "A progress line is shown on standard error when it is a terminal and the work takes "
      "more than a second (--progress forces it, --quiet silences it).\n";
  return text + kKeyNote;
}

std::string CheckFooter() {
  return std::string(
             "Examples:\n"
             "  tolvane-crypt check --key-file key.bin notes.enc\n"
             "  tolvane-crypt check --key-file key.bin notes.enc && \\\n"
             "    tolvane-crypt decrypt-file --key-file key.bin notes.enc notes.enc\n"
             "Exit 0 when the file is in the format and the key fits, 1 when it is not in the "
             "format or the key does not fit. The key can only be checked against the zero "
             "padding: when the plaintext's length is a multiple of 8 there is none, and check "
             "says so on standard error and exits 0.\n") +
         kKeyNote;
}

std::string TextFooter(bool encrypt) {
  std::string text =
      encrypt ? "Examples:\n"
                "  tolvane-crypt encrypt-text --key-env PASSWORD 'meet at noon'\n"
                "  printf '%s' \"$MESSAGE\" | tolvane-crypt encrypt-text --key-file key.bin\n"
                "Text is UTF-8 as given (echo adds a line break). A character the code page cannot "
                "hold exactly is refused, naming it and its position, unless --lossy is given.\n"
              : "Examples:\n"
                "  tolvane-crypt decrypt-text --key-env PASSWORD 5AC4...\n"
                "  tolvane-crypt decrypt-text --key-file key.bin < cipher.hex\n"
                "The text is printed exactly, with no line break added.\n";
  return text + kKeyNote;
}

std::string HexFooter(bool encode) {
  return encode ? "Example:\n  tolvane-crypt hex 'A€'      # prints 4100AC20\n"
                  "Each UTF-16 code unit becomes four digits, low byte first; exact for any text."
                : "Example:\n  tolvane-crypt unhex 4100AC20   # prints A€";
}

std::string Base64Footer() {
  return "Examples:\n"
         "  tolvane-crypt base64-decode key.b64 -o key.bin\n"
         "  printf 'aGVsbG8=' | tolvane-crypt base64-decode\n"
         "Input beyond 64 MiB is refused without being read further.";
}

std::string SettingsFooter(const std::string& command) {
  std::string text = "Examples:\n";
  if (command == "set") {
    text +=
        "  tolvane-crypt set LastFolder /home/me/docs\n"
        "  tolvane-crypt set --binary Salt salt.bin\n"
        "A binary value's file may hold up to 64 MiB.\n";
  } else if (command == "get") {
    text +=
        "  tolvane-crypt get LastFolder\n"
        "  tolvane-crypt get Salt -o salt.bin\n";
  } else if (command == "list") {
    text += "  tolvane-crypt list\n";
  } else {
    text += "  tolvane-crypt delete Salt\n";
  }
  return text + "Settings are stored in " + SettingsLocation() + ".";
}

}  // namespace tolvane::crypt
