// tolvane-crypt: the cipher components on the command line.
//
// Every job of the library without writing C++: files in the length-prefixed format, text
// through the hexadecimal code, Base64 decoding and the settings store. Keys are read from a
// file, an environment variable or a prompt, never from the command line. Where the library
// would convert silently (characters a code page lacks), the tool refuses instead, since a
// person typed the input and would otherwise lose it unknowingly.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tolvane/cipher/blowfish.h"
#include "tolvane/base/error.h"
#include "tolvane/errors/report.h"
#include "tolvane/platform/code_page.h"
#include "tolvane/support/base64.h"
#include "tolvane/support/registry.h"
#include "tolvane/support/settings_file.h"
#include "tolvane/base/utf8.h"
#include "tolvane/base/wipe.h"
#include "tools/crypt/exact_text.h"
#include "tools/crypt/help_text.h"
#include "tools/crypt/interrupts.h"
#include "tools/crypt/io.h"
#include "tools/crypt/key_source.h"
#include "tools/crypt/progress.h"
#include "tools/crypt/stream_files.h"
#include "tools/crypt/terminal.h"

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

std::string_view AsText(const SecureBytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
std::span<const std::uint8_t> AsBytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Hexadecimal code read from a terminal or a file usually ends with a line break.
std::string_view TrimTrailingSpace(std::string_view s) {
  while (!s.empty() &&
         (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
    s.remove_suffix(1);
  }
  return s;
}

std::string Quote(const std::string& path) {
  return IsStdStream(path) ? "standard input" : "'" + path + "'";
}

struct Options {
  std::string command;
  KeyOptions key;
  std::optional<int> code_page;
  std::string src, dst;
  std::optional<std::string> text;
  bool raw = false;
  bool lossy = false;
  std::string name, value, input = "-", output = "-";
  bool binary = false;
  bool progress = false;
  bool quiet = false;
  unsigned threads = 0;
};

// What the run is about, for messages: the subcommand and the file or option involved, and
// how many messages the library showed.
struct Session {
  std::string context;
  int messages_shown = 0;
  ProgressDisplay* progress = nullptr;  // while a file subcommand runs
};

Blowfish KeyedCipher(const Options& o, Session& session, bool confirm) {
  const std::string saved = session.context;
  session.context =
      o.command + (o.key.file.empty() ? std::string() : " --key-file " + Quote(o.key.file));
  const SecureBytes key = ReadKey(o.key, confirm);
  session.context = saved;
  // ByteArray wipes its own storage when it goes.
  const ByteArray key_array(std::span<const std::uint8_t>(key.data(), key.size()));
  Blowfish bf;
  try {
    bf.sInitBF(key_array);
  } catch (const Error& e) {
    throw UsageError("the key is refused (" + e.description() + "): keys are 1 to 32767 bytes");
  }
  bf.SetThreads(o.threads);
  return bf;
}

// Standard input can give one thing only.
void RequireOneUseOfStdin(const Options& o, bool other_use) {
  if (IsStdStream(o.key.file) && other_use) {
    throw UsageError("standard input cannot give both the key and the input");
  }
}

std::u16string TextArgumentOrStdin(const Options& o) {
  if (o.text) return Utf8ToUtf16(*o.text);
  return Utf8ToUtf16(AsText(ReadAll("-")));
}

void RequireExactText(const std::u16string& text) {
  const std::optional<InexactCharacter> inexact = FindInexactCharacter(text);
  if (!inexact) return;
  throw Error(kErrInvalidCall, "the text holds the character " +
                                   DescribeCharacter(inexact->character) + " at position " +
                                   std::to_string(inexact->position) + ", which code page " +
                                   std::to_string(AnsiCodePage()) +
                                   " cannot hold exactly (it would come back as \"?\" or "
                                   "another character); choose a code page with --code-page N, "
                                   "or convert anyway with --lossy");
}

int FileCommand(const Options& o, Session& session, bool encrypt) {
  RequireOneUseOfStdin(o, IsStdStream(o.src));
  Blowfish bf = KeyedCipher(o, session, encrypt);
  // The staging folder first: an interrupt while standard input is still being read then
  // finds it and removes it.
  std::optional<StdoutStaging> staging;
  if (IsStdStream(o.dst)) staging.emplace();
  const std::filesystem::path target = staging ? staging->target() : PathFromUtf8(o.dst);
  std::optional<StdinSpool> spool;
  if (IsStdStream(o.src)) spool.emplace();
  const std::filesystem::path source = spool ? spool->path() : PathFromUtf8(o.src);

  ProgressDisplay progress(o.quiet      ? ProgressDisplay::Mode::kSilent
                           : o.progress ? ProgressDisplay::Mode::kForced
                                        : ProgressDisplay::Mode::kAuto);
  bf.SetProgressCallback(
      [&progress](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); });
  session.progress = &progress;
  if (encrypt) {
    bf.sFileEncrypt(source, target);
  } else {
    bf.sFileDecrypt(source, target);
  }
  session.progress = nullptr;
  if (session.messages_shown != 0) return kExitFailed;
  if (staging) staging->SendToStdout();
  return kExitOk;
}

// Runs the checks decryption makes before writing anything; says on standard error what it
// found, and whether the key could be checked at all.
int CheckCommand(const Options& o, Session& session) {
  const Blowfish bf = KeyedCipher(o, session, false);
  std::optional<StdinSpool> spool;
  if (IsStdStream(o.src)) spool.emplace();
  FileKeyCheck result;
  try {
    result = bf.CheckEncryptedFile(spool ? spool->path() : PathFromUtf8(o.src));
  } catch (const Error& e) {
    std::fprintf(stderr, "tolvane-crypt: %s: %d - %s\n", session.context.c_str(), e.number(),
                 e.description().c_str());
    return kExitFailed;
  }
  std::fprintf(stderr, "tolvane-crypt: %s: %s\n", session.context.c_str(),
               result == FileKeyCheck::kKeyFits
                   ? "in the format, and the key fits"
                   : "in the format; the key cannot be checked, since the plaintext's length is "
                     "a multiple of 8 (no padding to test it against)");
  return kExitOk;
}

int EncryptText(const Options& o, Session& session) {
  const std::u16string text = TextArgumentOrStdin(o);
  if (!o.lossy) RequireExactText(text);
  Blowfish bf = KeyedCipher(o, session, true);
  std::u16string cipher;
  bf.sStringEncrypt(text, cipher);
  if (session.messages_shown != 0) return kExitFailed;
  if (o.raw) {
    SecureBytes bytes(cipher.size());
    TextToAnsi(cipher, bytes);
    WriteStdout(bytes);
  } else {
    WriteStdout(Utf16ToUtf8(ToHexCode(bf, cipher)) + "\n");
  }
  return kExitOk;
}

int DecryptText(const Options& o, Session& session) {
  const SecureBytes input = o.text ? SecureBytes(o.text->begin(), o.text->end()) : ReadAll("-");
  std::u16string cipher;
  if (o.raw) {
    cipher = AnsiToText(input);
  } else {
    Blowfish hex_only;
    cipher = FromHexCode(hex_only, Utf8ToUtf16(TrimTrailingSpace(AsText(input))));
    if (session.messages_shown != 0) return kExitFailed;
  }
  Blowfish bf = KeyedCipher(o, session, false);
  std::u16string plain;
  bf.sStringDecrypt(cipher, plain);
  if (session.messages_shown != 0) return kExitFailed;
  WriteStdout(Utf16ToUtf8(plain));
  return kExitOk;
}

int Base64DecodeCommand(const Options& o) {
  std::vector<std::uint8_t> bytes = Base64Decode(AsText(ReadAll(o.input)));
  try {
    WritePrivateFile(o.output, bytes);
  } catch (...) {
    SecureWipe(bytes.data(), bytes.size());
    throw;
  }
  SecureWipe(bytes.data(), bytes.size());
  return kExitOk;
}

int SetCommand(const Options& o) {
  if (o.binary) {
    const SecureBytes data = ReadAll(o.value);
    std::vector<std::uint8_t> value(data.begin(), data.end());
    WriteRegValue(o.name, value);
    SecureWipe(value.data(), value.size());
  } else {
    WriteRegValue(o.name, o.value);
  }
  return kExitOk;
}

int GetCommand(const Options& o) {
  std::optional<RegValue> value = ReadRegValue(o.name);
  if (!value) throw Error(kErrInvalidCall, "no setting of that name");
  if (auto* text = std::get_if<std::string>(&*value)) {
    if (IsStdStream(o.output)) *text += "\n";
    WritePrivateFile(o.output, AsBytes(*text));
    SecureWipe(text->data(), text->size());
  } else {
    auto& bytes = std::get<std::vector<std::uint8_t>>(*value);
    WritePrivateFile(o.output, bytes);
    SecureWipe(bytes.data(), bytes.size());
  }
  return kExitOk;
}

int ListCommand() {
  std::string listing;
  for (const RegValueInfo& value : ListRegValues()) {
    listing += value.binary ? "binary  " : "text    ";
    listing += value.name + "\n";
  }
  WriteStdout(listing);
  return kExitOk;
}

int DeleteCommand(const Options& o) {
  if (!DeleteRegValue(o.name)) throw Error(kErrInvalidCall, "no setting of that name");
  return kExitOk;
}

int Run(const Options& o, Session& session) {
  if (o.code_page) {
    try {
      SetAnsiCodePage(*o.code_page);
    } catch (const Error& e) {
      throw UsageError(e.description());
    }
  }
  const std::string& cmd = o.command;
  if (cmd == "encrypt-file" || cmd == "decrypt-file") {
    session.context = cmd + " " + Quote(o.src);
    return FileCommand(o, session, cmd == "encrypt-file");
  }
  if (cmd == "check") {
    session.context = cmd + " " + Quote(o.src);
    RequireOneUseOfStdin(o, IsStdStream(o.src));
    return CheckCommand(o, session);
  }
  session.context = cmd;
  RequireOneUseOfStdin(o, !o.text);
  if (cmd == "encrypt-text") return EncryptText(o, session);
  if (cmd == "decrypt-text") return DecryptText(o, session);
  if (cmd == "hex" || cmd == "unhex") {
    Blowfish bf;
    const std::string out =
        cmd == "hex" ? Utf16ToUtf8(ToHexCode(bf, TextArgumentOrStdin(o))) + "\n"
                     : Utf16ToUtf8(FromHexCode(
                           bf, Utf8ToUtf16(TrimTrailingSpace(o.text ? std::string_view(*o.text)
                                                                    : AsText(ReadAll("-"))))));
    if (session.messages_shown != 0) return kExitFailed;
    WriteStdout(out);
    return kExitOk;
  }
  if (cmd == "base64-decode") {
    session.context = cmd + " " + Quote(o.input);
    return Base64DecodeCommand(o);
  }
  session.context = cmd + " '" + o.name + "'";
  if (cmd == "set") return SetCommand(o);
  if (cmd == "get") return GetCommand(o);
  if (cmd == "delete") return DeleteCommand(o);
  session.context = cmd;
  return ListCommand();
}

void AddKeyOptions(CLI::App* cmd, Options& o) {
  auto* file = cmd->add_option("--key-file", o.key.file,
                               "Read the key's raw bytes (1 to 32767) from PATH; - for "
                               "standard input")
                   ->type_name("PATH");
  auto* env =
      cmd->add_option("--key-env", o.key.env, "Take the key's text from environment variable NAME")
          ->type_name("NAME");
  file->excludes(env);
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

int Main(int argc, char** argv) {
  CLI::App app{
      "Encrypts and decrypts files and text with Blowfish, converts text to and from "
      "its hexadecimal code, decodes Base64 and reads and writes settings.",
      "tolvane-crypt"};
  app.require_subcommand(1, 1);
  // TOLVANE_VERSION comes from the project's version in the top-level CMakeLists.txt.
  app.set_version_flag("--version", "tolvane-crypt " TOLVANE_VERSION, "Print the version and exit");
  app.footer(MainFooter());
  Options o;

  auto* enc_file =
      app.add_subcommand("encrypt-file", "Encrypt SRC into the length-prefixed format at DST");
  auto* dec_file =
      app.add_subcommand("decrypt-file", "Decrypt SRC (length-prefixed format) into DST");
  for (auto* cmd : {enc_file, dec_file}) {
    cmd->add_option("SRC", o.src, "Source file; - for standard input")
        ->required()
        ->type_name("PATH");
    cmd->add_option("DST", o.dst,
                    "Target file, replaced whole; the same path as SRC works in place; - for "
                    "standard output")
        ->required()
        ->type_name("PATH");
    AddKeyOptions(cmd, o);
    AddThreadsOption(cmd, o);
    AddCodePageOption(cmd, o);
  }
  for (auto* cmd : {enc_file, dec_file}) {
    auto* progress = cmd->add_flag("--progress", o.progress,
                                   "Show the progress line on standard error even when it is no "
                                   "terminal or the work is short");
    cmd->add_flag("--quiet", o.quiet, "Never show the progress line")->excludes(progress);
  }
  enc_file->footer(FileFooter(true));
  dec_file->footer(FileFooter(false));

  auto* check = app.add_subcommand(
      "check", "Check that FILE is in the encrypted format and that the key fits, writing nothing");
  check->add_option("FILE", o.src, "Encrypted file; - for standard input")
      ->required()
      ->type_name("PATH");
  AddKeyOptions(check, o);
  check->footer(CheckFooter());

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
  enc_text->add_flag("--lossy", o.lossy,
                     "Convert characters the code page cannot hold as the library does (to \"?\" "
                     "or a look-alike) instead of refusing the text");
  enc_text->footer(TextFooter(true));
  dec_text->footer(TextFooter(false));

  auto* hex = app.add_subcommand("hex", "Print the hexadecimal code of TEXT (UTF-8)");
  auto* unhex = app.add_subcommand("unhex", "Print the text (UTF-8) that a hexadecimal code holds");
  for (auto* cmd : {hex, unhex}) {
    cmd->add_option("TEXT", o.text, "The input; read from standard input when omitted");
  }
  hex->footer(HexFooter(true));
  unhex->footer(HexFooter(false));

  auto* b64 = app.add_subcommand("base64-decode", "Decode Base64 text");
  b64->add_option("INPUT", o.input, "File holding Base64 text; - for standard input")
      ->capture_default_str()
      ->type_name("PATH");
  b64->add_option("-o,--output", o.output,
                  "Write the bytes to PATH (replaced whole, mode 0600); - for standard output")
      ->capture_default_str()
      ->type_name("PATH");
  b64->footer(Base64Footer());

  auto* set = app.add_subcommand("set",
                                 "Store a setting: NAME and a text VALUE, or with "
                                 "--binary NAME and a PATH whose bytes are stored");
  set->add_flag("--binary", o.binary, "VALUE is a PATH whose bytes are stored as binary");
  set->add_option("NAME", o.name, "Value name")->required();
  set->add_option("VALUE", o.value, "Text value, or with --binary the PATH (- for standard input)")
      ->required()
      ->type_name("TEXT|PATH");

  auto* get = app.add_subcommand("get",
                                 "Print a stored setting (text with a line break; "
                                 "binary as raw bytes)");
  get->add_option("NAME", o.name, "Value name")->required();
  get->add_option("-o,--output", o.output,
                  "Write the value to PATH (replaced whole, mode 0600); - for standard output")
      ->capture_default_str()
      ->type_name("PATH");

  auto* list = app.add_subcommand("list", "List the stored settings: type and name, one a line");
  auto* del = app.add_subcommand("delete", "Delete a stored setting");
  del->add_option("NAME", o.name, "Value name")->required();
  for (auto* cmd : {set, get, list, del}) cmd->footer(SettingsFooter(cmd->get_name()));

  PrepareStandardStreams();
  std::vector<std::string> arguments;
  try {
    arguments = Utf8Arguments(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "tolvane-crypt: " << e.what() << "\n";
    return kExitUsage;
  }
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  try {
    app.parse(static_cast<int>(pointers.size()), pointers.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "tolvane-crypt: " << e.what() << "\nRun 'tolvane-crypt --help' for usage.\n";
    return kExitUsage;
  }
  o.command = app.get_subcommands().front()->get_name();
  InstallInterruptHandlers();

  // The library shows its failures through the message box; here that is one line on
  // standard error naming what it was about, and any message makes the run fail.
  Session session;
  session.context = o.command;
  SetMessageBoxHandler([&session](const std::string& message) {
    ++session.messages_shown;
    if (session.progress != nullptr) session.progress->EndLine();
    std::fprintf(stderr, "tolvane-crypt: %s: %s\n", session.context.c_str(), message.c_str());
  });

  try {
    return Run(o, session);
  } catch (const UsageError& e) {
    std::cerr << "tolvane-crypt: " << session.context << ": " << e.what() << "\nRun 'tolvane-crypt "
              << o.command << " --help' for usage.\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "tolvane-crypt: " << session.context << ": " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace
}  // namespace tolvane::crypt

int main(int argc, char** argv) { return tolvane::crypt::Main(argc, argv); }
