// encrypt-text, decrypt-text, hex and unhex: text through its hexadecimal code.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/base/utf8.h"
#include "tolvane/core/hex_code.h"
#include "tolvane/core/text_cipher.h"
#include "tolvane/platform/code_page.h"
#include "tools/crypt/command.h"
#include "tools/crypt/exact_text.h"
#include "tools/crypt/io.h"

namespace tolvane::crypt {
namespace {

struct TextOptions : CipherOptions {
  std::optional<std::string> text;
  bool raw = false;
  bool lossy = false;
};

// Hexadecimal code read from a terminal or a file usually ends with a line break.
std::string_view TrimTrailingSpace(std::string_view s) {
  while (!s.empty() &&
         (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
    s.remove_suffix(1);
  }
  return s;
}

std::u16string TextArgumentOrStdin(const TextOptions& o) {
  if (o.text) return Utf8ToUtf16(*o.text);
  return Utf8ToUtf16(AsText(ReadAll("-")));
}

std::u16string HexArgumentOrStdin(const TextOptions& o) {
  if (o.text) return Utf8ToUtf16(TrimTrailingSpace(*o.text));
  return Utf8ToUtf16(TrimTrailingSpace(AsText(ReadAll("-"))));
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

// What every text subcommand does first.
void Prepare(const TextOptions& o) {
  ApplyCodePage(o.code_page);
  RequireOneUseOfStdin(o.key, !o.text);
}

// The label a failure of text encryption was always reported under: the conversion through
// the code page, or the encryption itself.
std::string_view TextFailureLabel(const Error& error, std::string_view cipher_label) {
  return error.number() == kErrUnsupportedCodePage ? "Blowfish, sStringToByte" : cipher_label;
}

int EncryptTextCommand(const TextOptions& o, Session& session) {
  Prepare(o);
  std::u16string text = TextArgumentOrStdin(o);
  const WipeOnExit wipe_text(text);
  if (!o.lossy) RequireExactText(text);
  const KeySchedule key = ReadKeySchedule(o, session, true);
  // Empty text has no block to encrypt, and has always been refused as an empty array.
  if (text.empty()) return ReportFailure(session, "Blowfish, sEncrypt", SubscriptError());
  std::u16string cipher;
  try {
    cipher = EncryptText(key, ThreadsOf(o), text);
  } catch (const Error& error) {
    return ReportFailure(session, TextFailureLabel(error, "Blowfish, sStringEncrypt"), error);
  }
  if (o.raw) {
    SecureBytes bytes(cipher.size());
    TextToAnsi(cipher, bytes);
    WriteStdout(bytes);
  } else {
    WriteStdout(Utf16ToUtf8(TextToHexCode(cipher)) + "\n");
  }
  return kExitOk;
}

int DecryptTextCommand(const TextOptions& o, Session& session) {
  Prepare(o);
  std::u16string cipher;
  if (o.raw) {
    cipher = AnsiToText(o.text ? SecureBytes(o.text->begin(), o.text->end()) : ReadAll("-"));
  } else {
    const std::u16string hex = HexArgumentOrStdin(o);
    try {
      cipher = HexCodeToText(hex);
    } catch (const Error& error) {
      return ReportFailure(session, "Blowfish, fHexCodeToString", error);
    }
  }
  const KeySchedule key = ReadKeySchedule(o, session, false);
  std::u16string plain;
  const WipeOnExit wipe_plain(plain);
  try {
    plain = DecryptText(key, ThreadsOf(o), cipher);
  } catch (const Error& error) {
    return ReportFailure(session, TextFailureLabel(error, "Blowfish, sStringDecrypt"), error);
  }
  std::string out = Utf16ToUtf8(plain);
  const WipeOnExit wipe_out(out);
  WriteStdout(out);
  return kExitOk;
}

int HexCommand(const TextOptions& o) {
  Prepare(o);
  WriteStdout(Utf16ToUtf8(TextToHexCode(TextArgumentOrStdin(o))) + "\n");
  return kExitOk;
}

int UnhexCommand(const TextOptions& o, Session& session) {
  Prepare(o);
  const std::u16string hex = HexArgumentOrStdin(o);
  std::u16string text;
  try {
    text = HexCodeToText(hex);
  } catch (const Error& error) {
    return ReportFailure(session, "Blowfish, fHexCodeToString", error);
  }
  WriteStdout(Utf16ToUtf8(text));
  return kExitOk;
}

}  // namespace

void AddTextCommands(CLI::App& app, Session& session) {
  auto o = std::make_shared<TextOptions>();
  auto* enc_text = AddDocumentedSubcommand(app, "encrypt-text");
  auto* dec_text = AddDocumentedSubcommand(app, "decrypt-text");
  for (auto* sub : {enc_text, dec_text}) {
    sub->add_option("TEXT", o->text, Help(sub, "TEXT"));
    sub->add_flag("--raw", o->raw, Help(sub, "--raw"));
    AddKeyOptions(sub, o->key);
    AddThreadsOption(sub, o->threads);
    AddCodePageOption(sub, o->code_page);
  }
  enc_text->add_flag("--lossy", o->lossy, Help(enc_text, "--lossy"));
  OnRun(enc_text, session, [o, &session] { return EncryptTextCommand(*o, session); });
  OnRun(dec_text, session, [o, &session] { return DecryptTextCommand(*o, session); });

  auto* hex = AddDocumentedSubcommand(app, "hex");
  auto* unhex = AddDocumentedSubcommand(app, "unhex");
  for (auto* sub : {hex, unhex}) sub->add_option("TEXT", o->text, Help(sub, "TEXT"));
  OnRun(hex, session, [o] { return HexCommand(*o); });
  OnRun(unhex, session, [o, &session] { return UnhexCommand(*o, session); });
}

}  // namespace tolvane::crypt
