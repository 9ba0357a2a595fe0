// encrypt-text, decrypt-text, hex and unhex: text through its hexadecimal code.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/base/utf8.h"
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

int EncryptTextCommand(const TextOptions& o, Session& session) {
  Prepare(o);
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

int DecryptTextCommand(const TextOptions& o, Session& session) {
  Prepare(o);
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

int HexCommand(const TextOptions& o, Session& session, bool encode) {
  Prepare(o);
  Blowfish bf;
  const std::string out =
      encode ? Utf16ToUtf8(ToHexCode(bf, TextArgumentOrStdin(o))) + "\n"
             : Utf16ToUtf8(
                   FromHexCode(bf, Utf8ToUtf16(TrimTrailingSpace(o.text ? std::string_view(*o.text)
                                                                        : AsText(ReadAll("-"))))));
  if (session.messages_shown != 0) return kExitFailed;
  WriteStdout(out);
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
  OnRun(hex, session, [o, &session] { return HexCommand(*o, session, true); });
  OnRun(unhex, session, [o, &session] { return HexCommand(*o, session, false); });
}

}  // namespace tolvane::crypt
