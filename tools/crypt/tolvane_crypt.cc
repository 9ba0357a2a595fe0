// tolvane-crypt: the cipher components on the command line.
//
// Every job of the library without writing C++: files in the length-prefixed format, text
// through the hexadecimal code, Base64 decoding and the settings store. Keys are read from a
// file, an environment variable or a prompt, never from the command line.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tolvane/cipher/blowfish.h"
#include "tolvane/errors/error.h"
#include "tolvane/errors/report.h"
#include "tolvane/platform/code_page.h"
#include "tolvane/support/base64.h"
#include "tolvane/support/registry.h"
#include "tolvane/support/utf8.h"
#include "tools/crypt/io.h"
#include "tools/crypt/key_source.h"

namespace tolvane::crypt {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// fStringToHexCode and fHexCodeToString take at most 8192 code units (32768 digits) at a
// time. The code is four digits per code unit with no separators, so longer text is
// converted piece by piece with the same result.
constexpr std::size_t kHexChunkUnits = 8192;

std::u16string ToHexCode(Blowfish& bf, const std::u16string& text) {
  std::u16string hex;
  hex.reserve(text.size() * 4);
  for (std::size_t i = 0; i < text.size(); i += kHexChunkUnits) {
    hex += bf.fStringToHexCode(text.substr(i, kHexChunkUnits));
  }
  return hex;
}

std::u16string FromHexCode(Blowfish& bf, const std::u16string& hex) {
  std::u16string text;
  for (std::size_t i = 0; i < hex.size(); i += 4 * kHexChunkUnits) {
    const std::u16string piece = bf.fHexCodeToString(hex.substr(i, 4 * kHexChunkUnits));
    if (piece.empty()) return {};  // a reported failure: no partial result
    text += piece;
  }
  return text;
}

std::span<std::uint8_t> AsBytes(std::string& s) {
  return {reinterpret_cast<std::uint8_t*>(s.data()), s.size()};
}
std::span<const std::uint8_t> AsBytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Hexadecimal code read from a terminal or a file usually ends with a line break.
std::string TrimTrailingSpace(std::string s) {
  while (!s.empty() &&
         (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
    s.pop_back();
  }
  return s;
}

struct Options {
  KeyOptions key;
  std::optional<int> code_page;
  std::string src, dst;
  std::optional<std::string> text;
  bool raw = false;
  std::string name, value, input = "-", output = "-";
  bool binary = false;
  unsigned threads = 0;
};

void AddKeyOptions(CLI::App* cmd, Options& o) {
  auto* file = cmd->add_option("--key-file", o.key.file, "Read the key's raw bytes from PATH")
                   ->type_name("PATH");
  auto* env =
      cmd->add_option("--key-env", o.key.env, "Take the key's text from environment variable NAME")
          ->type_name("NAME");
  file->excludes(env);
  cmd->footer(
      "Without --key-file or --key-env the key is asked for at a prompt without echo (standard "
      "input must be a terminal). Text keys are converted to bytes through the ANSI code page.");
}

void AddThreadsOption(CLI::App* cmd, Options& o) {
  cmd->add_option("--threads", o.threads,
                  "Threads for the cipher work: 0 (the default) one per core, 1 none but the "
                  "caller's")
      ->type_name("N");
}

void AddCodePageOption(CLI::App* cmd, Options& o) {
  cmd->add_option("--code-page", o.code_page,
                  "ANSI code page for text: 874 or 1250 to 1258 (default 1252, or "
                  "TOLVANE_ANSI_CODEPAGE)")
      ->type_name("N");
}

Blowfish KeyedCipher(const KeyOptions& options) {
  const SecureBytes key = ReadKey(options);
  // ByteArray wipes its own storage when it goes.
  const ByteArray key_array(std::span<const std::uint8_t>(key.data(), key.size()));
  Blowfish bf;
  try {
    bf.sInitBF(key_array);
  } catch (const Error& e) {
    throw UsageError("the key is refused (" + e.description() + "): keys are 1 to 32767 bytes");
  }
  return bf;
}

std::u16string TextArgumentOrStdin(const std::optional<std::string>& text) {
  return Utf8ToUtf16(text ? *text : ReadAll("-"));
}

int Run(CLI::App& app, Options& o, int& messages_shown) {
  if (o.code_page) {
    try {
      SetAnsiCodePage(*o.code_page);
    } catch (const Error& e) {
      throw UsageError(e.description());
    }
  }
  const std::string cmd = app.get_subcommands().front()->get_name();

  if (cmd == "encrypt-file" || cmd == "decrypt-file") {
    Blowfish bf = KeyedCipher(o.key);
    bf.SetThreads(o.threads);
    if (cmd == "encrypt-file") {
      bf.sFileEncrypt(o.src, o.dst);
    } else {
      bf.sFileDecrypt(o.src, o.dst);
    }
  } else if (cmd == "encrypt-text") {
    const std::u16string text = TextArgumentOrStdin(o.text);
    Blowfish bf = KeyedCipher(o.key);
    bf.SetThreads(o.threads);
    std::u16string cipher;
    bf.sStringEncrypt(text, cipher);
    if (messages_shown == 0) {
      if (o.raw) {
        std::string bytes(cipher.size(), '\0');
        TextToAnsi(cipher, AsBytes(bytes));
        WriteAll("-", bytes);
      } else {
        WriteAll("-", Utf16ToUtf8(ToHexCode(bf, cipher)) + "\n");
      }
    }
  } else if (cmd == "decrypt-text") {
    std::u16string cipher;
    if (o.raw) {
      const std::string bytes = o.text ? *o.text : ReadAll("-");
      cipher = AnsiToText(AsBytes(bytes));
    } else {
      Blowfish hex_only;
      cipher =
          FromHexCode(hex_only, Utf8ToUtf16(TrimTrailingSpace(o.text ? *o.text : ReadAll("-"))));
    }
    if (messages_shown == 0) {
      Blowfish bf = KeyedCipher(o.key);
      bf.SetThreads(o.threads);
      std::u16string plain;
      bf.sStringDecrypt(cipher, plain);
      if (messages_shown == 0) WriteAll("-", Utf16ToUtf8(plain));
    }
  } else if (cmd == "hex") {
    Blowfish bf;
    const std::u16string hex = ToHexCode(bf, TextArgumentOrStdin(o.text));
    if (messages_shown == 0) WriteAll("-", Utf16ToUtf8(hex) + "\n");
  } else if (cmd == "unhex") {
    Blowfish bf;
    const std::u16string text =
        FromHexCode(bf, Utf8ToUtf16(TrimTrailingSpace(o.text ? *o.text : ReadAll("-"))));
    if (messages_shown == 0) WriteAll("-", Utf16ToUtf8(text));
  } else if (cmd == "base64-decode") {
    const std::vector<std::uint8_t> bytes = Base64Decode(ReadAll(o.input));
    WriteAll(o.output, std::string(bytes.begin(), bytes.end()));
  } else if (cmd == "set") {
    if (o.binary) {
      const std::string data = ReadAll(o.value);
      WriteRegValue(o.name, std::vector<std::uint8_t>(data.begin(), data.end()));
    } else {
      WriteRegValue(o.name, o.value);
    }
  } else if (cmd == "get") {
    const std::optional<RegValue> value = ReadRegValue(o.name);
    if (!value) {
      std::cerr << "tolvane-crypt: no setting named \"" << o.name << "\"\n";
      return kExitFailed;
    }
    if (const auto* text = std::get_if<std::string>(&*value)) {
      WriteAll(o.output, *text + (o.output == "-" ? "\n" : ""));
    } else {
      const auto& bytes = std::get<std::vector<std::uint8_t>>(*value);
      WriteAll(o.output, std::string(bytes.begin(), bytes.end()));
    }
  }
  return messages_shown == 0 ? kExitOk : kExitFailed;
}

int Main(int argc, char** argv) {
  CLI::App app{
      "Encrypts and decrypts files and text with Blowfish, converts text to and from "
      "its hexadecimal code, decodes Base64 and reads and writes settings.",
      "tolvane-crypt"};
  app.require_subcommand(1, 1);
  Options o;

  auto* enc_file =
      app.add_subcommand("encrypt-file", "Encrypt SRC into the length-prefixed format at DST");
  auto* dec_file =
      app.add_subcommand("decrypt-file", "Decrypt SRC (length-prefixed format) into DST");
  for (auto* cmd : {enc_file, dec_file}) {
    cmd->add_option("SRC", o.src, "Source file")->required();
    cmd->add_option("DST", o.dst, "Target file; the same path as SRC works in place")->required();
    AddKeyOptions(cmd, o);
    AddThreadsOption(cmd, o);
    AddCodePageOption(cmd, o);
  }

  auto* enc_text =
      app.add_subcommand("encrypt-text",
                         "Encrypt TEXT (UTF-8; standard input when omitted); prints the cipher "
                         "text as its hexadecimal code");
  auto* dec_text =
      app.add_subcommand("decrypt-text",
                         "Decrypt cipher text given as its hexadecimal code (argument or standard "
                         "input); prints the text as UTF-8");
  for (auto* cmd : {enc_text, dec_text}) {
    cmd->add_option("TEXT", o.text, "The text; read from standard input when omitted");
    cmd->add_flag("--raw", o.raw,
                  "Cipher text as raw bytes in the ANSI code page instead of hexadecimal code");
    AddKeyOptions(cmd, o);
    AddThreadsOption(cmd, o);
    AddCodePageOption(cmd, o);
  }

  auto* hex = app.add_subcommand("hex", "Print the hexadecimal code of TEXT (UTF-8)");
  auto* unhex = app.add_subcommand("unhex", "Print the text (UTF-8) that a hexadecimal code holds");
  for (auto* cmd : {hex, unhex}) {
    cmd->add_option("TEXT", o.text, "The input; read from standard input when omitted");
  }

  auto* b64 = app.add_subcommand("base64-decode", "Decode Base64 text");
  b64->add_option("INPUT", o.input, "File holding Base64 text; - for standard input")
      ->capture_default_str();
  b64->add_option("-o,--output", o.output, "Where to write the bytes; - for standard output")
      ->capture_default_str();

  auto* set = app.add_subcommand("set",
                                 "Store a setting: NAME and a text VALUE, or with "
                                 "--binary NAME and a FILE whose bytes are stored");
  set->add_flag("--binary", o.binary, "VALUE names a file whose bytes are stored as binary");
  set->add_option("NAME", o.name, "Value name")->required();
  set->add_option("VALUE", o.value, "Text value, or the file with --binary")->required();

  auto* get = app.add_subcommand("get",
                                 "Print a stored setting (text with a line break; "
                                 "binary as raw bytes)");
  get->add_option("NAME", o.name, "Value name")->required();
  get->add_option("-o,--output", o.output, "Where to write the value; - for standard output")
      ->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "tolvane-crypt: " << e.what() << "\nRun 'tolvane-crypt --help' for usage.\n";
    return kExitUsage;
  }

  // The library shows its failures through the message box; here that is one line on
  // standard error, and any message makes the run fail.
  int messages_shown = 0;
  SetMessageBoxHandler([&messages_shown](const std::string& message) {
    ++messages_shown;
    std::fprintf(stderr, "%s\n", message.c_str());
  });

  try {
    return Run(app, o, messages_shown);
  } catch (const UsageError& e) {
    std::cerr << "tolvane-crypt: " << e.what() << "\nRun 'tolvane-crypt "
              << app.get_subcommands().front()->get_name() << " --help' for usage.\n";
    return kExitUsage;
  } catch (const Error& e) {
    std::cerr << "tolvane-crypt: " << e.description() << "\n";
    return kExitFailed;
  } catch (const std::exception& e) {
    std::cerr << "tolvane-crypt: " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace
}  // namespace tolvane::crypt

int main(int argc, char** argv) { return tolvane::crypt::Main(argc, argv); }
