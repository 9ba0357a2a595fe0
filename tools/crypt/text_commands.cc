// encrypt-text, decrypt-text, hex and unhex: text through its hexadecimal code.

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/base/utf8.h"
#include "tolvane/cipher/failure_labels.h"
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

// Text is bounded in UTF-16 code units, the units of the cipher and of the hexadecimal code
// (four digits each), so that whatever the tool prints within its limits it reads back: the
// code of the longest text is within the limit of code, and the text of the longest code
// within the limit of text.
constexpr std::size_t kMaxTextUnits = kMaxInputBytes;
// UTF-8 takes at most three bytes for a code unit.
constexpr std::size_t kMaxTextBytes = 3 * kMaxTextUnits;
// Four digits a code unit, and room for the line break and spaces after them.
constexpr std::size_t kMaxHexBytes = 4 * kMaxTextUnits + 64;
// The code is converted this many code units at a time, so that it is never whole in memory.
constexpr std::size_t kHexPieceUnits = std::size_t{1} << 16;

// Hexadecimal code read from a terminal or a file usually ends with a line break.
std::string_view TrimTrailingSpace(std::string_view s) {
  while (!s.empty() &&
         (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
    s.remove_suffix(1);
  }
  return s;
}

std::u16string BoundedText(std::string_view utf8) {
  std::u16string text = Utf8ToUtf16(utf8);
  if (text.size() > kMaxTextUnits) {
    SecureWipe(text.data(), text.size() * sizeof(char16_t));
    throw Error(kErrOverflow, "the text is longer than the limit of " +
                                  std::to_string(kMaxTextUnits >> 20) +
                                  " Mi characters (UTF-16 code units)");
  }
  return text;
}

std::u16string TextArgumentOrStdin(const TextOptions& o) {
  if (o.text) return BoundedText(*o.text);
  return BoundedText(AsText(ReadText("-", kMaxTextBytes)));
}

// The text of hexadecimal code, a piece at a time where the code is ASCII, as it is when it
// holds nothing but digits; anything else is decoded whole, as it was given.
std::u16string HexCodeOf(std::string_view hex) {
  hex = TrimTrailingSpace(hex);
  if (!std::all_of(hex.begin(), hex.end(), [](char c) { return (c & 0x80) == 0; })) {
    return HexCodeToText(Utf8ToUtf16(hex));
  }
  std::u16string text;
  text.reserve(hex.size() / 4 + 1);
  std::u16string piece;
  // Pieces of whole code units: an odd digit at the very end is read as in one piece.
  for (std::size_t at = 0; at < hex.size(); at += 4 * kHexPieceUnits) {
    const std::string_view digits = hex.substr(at, 4 * kHexPieceUnits);
    piece.assign(digits.begin(), digits.end());
    text += HexCodeToText(piece);
  }
  return text;
}

std::string_view HexArgumentOrStdin(const TextOptions& o, SecureBytes& read) {
  if (o.text) return *o.text;
  read = ReadText("-", kMaxHexBytes);
  return AsText(read);
}

// Writes the hexadecimal code of `text` and a line break.
void WriteHexCode(std::u16string_view text) {
  for (std::size_t at = 0; at < text.size(); at += kHexPieceUnits) {
    WriteStdout(Utf16ToUtf8(TextToHexCode(text.substr(at, kHexPieceUnits))));
  }
  WriteStdout(std::string("\n"));
}

// Decryption ends text at its first NUL character (the padding's), so text holding one would
// not come back as it was: it is refused, naming the position, as an inexact character is.
void RequireExactText(const CodePage& page, const std::u16string& text) {
  const std::optional<InexactCharacter> inexact = FindInexactCharacter(page, text);
  const std::size_t nul = text.find(u'\0');
  // Before the first inexact character, code units and characters count alike.
  if (nul != std::u16string::npos && (!inexact || nul + 1 < inexact->position)) {
    throw Error(kErrInvalidCall, "the text holds a NUL character (U+0000) at position " +
                                     std::to_string(nul + 1) +
                                     ", which decryption takes for the end of the text (the "
                                     "text would not come back as it is); encrypt anyway with "
                                     "--lossy");
  }
  if (!inexact) return;
  throw Error(kErrInvalidCall, "the text holds the character " +
                                   DescribeCharacter(inexact->character) + " at position " +
                                   std::to_string(inexact->position) + ", which code page " +
                                   std::to_string(page.number()) +
                                   " cannot hold exactly (it would come back as \"?\" or "
                                   "another character); choose a code page with --code-page N, "
                                   "or convert anyway with --lossy");
}

// UTF-8 has no form for half a surrogate pair; text holding one is refused, as text that is
// not valid UTF-8 is on the way in, rather than printed with U+FFFD in its place.
void RequireWholeCharacters(std::u16string_view text) {
  std::size_t position = 1;
  for (std::size_t i = 0; i < text.size(); ++position) {
    const Utf16Character character = DecodeUtf16(text, i);
    if (IsSurrogate(character.code_point)) {
      throw Error(kErrInvalidCall, "the code holds a lone surrogate, " +
                                       DescribeCharacter(character.code_point) + ", at position " +
                                       std::to_string(position) +
                                       ", which is no character and has no UTF-8 form");
    }
    i += character.length;
  }
}

// What every text subcommand does first. Returns the run's code page.
const ResolvedCodePage& Prepare(const TextOptions& o, Session& session) {
  const ResolvedCodePage& page = DecideCodePage(session, o.code_page);
  RequireOneUseOfStdin(o.key, !o.text);
  return page;
}

int EncryptTextCommand(const TextOptions& o, Session& session) {
  const ResolvedCodePage& page = Prepare(o, session);
  std::u16string text = TextArgumentOrStdin(o);
  const WipeOnExit wipe_text(text);
  if (!o.lossy) RequireExactText(page.Get(), text);
  const KeySchedule key = ReadKeySchedule(o, session, true);
  std::u16string cipher;
  try {
    face::RequireFaceText(face::Operation::kEncryptText, text);
    cipher = EncryptText(key, ThreadsOf(o), page.Get(), text);
  } catch (const Error& error) {
    return ReportFailure(session, face::FailureLabel(face::Operation::kEncryptText, error), error);
  }
  if (o.raw) {
    WriteStdout(AnsiBytes(page.Get(), cipher));
  } else {
    WriteHexCode(cipher);
  }
  return kExitOk;
}

int DecryptTextCommand(const TextOptions& o, Session& session) {
  const ResolvedCodePage& page = Prepare(o, session);
  std::u16string cipher;
  if (o.raw) {
    const SecureBytes bytes = o.text ? SecureBytes(o.text->begin(), o.text->end()) : ReadAll("-");
    cipher = TextOfAnsiBytes(page.Get(), bytes);
  } else {
    SecureBytes read;
    const std::string_view hex = HexArgumentOrStdin(o, read);
    try {
      cipher = HexCodeOf(hex);
    } catch (const Error& error) {
      return ReportFailure(session, face::FailureLabel(face::Operation::kHexCodeToText, error),
                           error);
    }
  }
  const KeySchedule key = ReadKeySchedule(o, session, false);
  std::u16string plain;
  const WipeOnExit wipe_plain(plain);
  try {
    // The cipher text's own faults come before a refused code page's.
    CheckCipherText(cipher);
    plain = DecryptText(key, ThreadsOf(o), page.Get(), cipher);
  } catch (const Error& error) {
    return ReportFailure(session, face::FailureLabel(face::Operation::kDecryptText, error), error);
  }
  std::string out = Utf16ToUtf8(plain);
  const WipeOnExit wipe_out(out);
  WriteStdout(out);
  return kExitOk;
}

int HexCommand(const TextOptions& o, Session& session) {
  Prepare(o, session);
  WriteHexCode(TextArgumentOrStdin(o));
  return kExitOk;
}

int UnhexCommand(const TextOptions& o, Session& session) {
  Prepare(o, session);
  SecureBytes read;
  const std::string_view hex = HexArgumentOrStdin(o, read);
  std::u16string text;
  try {
    text = HexCodeOf(hex);
  } catch (const Error& error) {
    return ReportFailure(session, face::FailureLabel(face::Operation::kHexCodeToText, error),
                         error);
  }
  RequireWholeCharacters(text);
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
  OnRun(hex, session, [o, &session] { return HexCommand(*o, session); });
  OnRun(unhex, session, [o, &session] { return UnhexCommand(*o, session); });
}

}  // namespace tolvane::crypt
