// The C++ face for programs that want exceptions: each member checks what the core does not
// and calls the core.
#include "tolvane/cxx/tolvane.hpp"

#include <cstdint>
#include <utility>

#include "tolvane/core/ecb.h"
#include "tolvane/core/encrypted_file.h"
#include "tolvane/core/hex_code.h"
#include "tolvane/core/key_schedule.h"
#include "tolvane/core/text_cipher.h"

namespace tolvane {

struct Cipher::State {
  KeySchedule key;
  unsigned threads = 1;
};

const Cipher::State& Cipher::keyed() const {
  if (!state_) throw NotKeyedError();
  return *state_;
}

Cipher::Cipher(std::span<const std::uint8_t> key)
    : state_(std::make_unique<State>(State{KeySchedule(key)})) {}
Cipher::Cipher(const Cipher& other)
    : state_(other.state_ ? std::make_unique<State>(*other.state_) : nullptr) {}
Cipher& Cipher::operator=(const Cipher& other) {
  if (this != &other) *this = Cipher(other);
  return *this;
}
Cipher::Cipher(Cipher&& other) noexcept = default;
Cipher& Cipher::operator=(Cipher&& other) noexcept = default;
Cipher::~Cipher() = default;

void Cipher::set_threads(unsigned count) noexcept {
  if (state_) state_->threads = ResolveThreadCount(count);
}

unsigned Cipher::threads() const noexcept { return state_ ? state_->threads : 1; }

void Cipher::Encrypt(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
  const State& state = keyed();
  RequireInPlaceOrApart(in, out);
  EcbEncrypt(state.key, in, out, OnSharedPool(state.threads));
}

void Cipher::Decrypt(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
  const State& state = keyed();
  RequireInPlaceOrApart(in, out);
  EcbDecrypt(state.key, in, out, OnSharedPool(state.threads));
}

void Cipher::EncryptFile(const std::filesystem::path& source, const std::filesystem::path& target,
                         const FileProgress& progress) const {
  const State& state = keyed();
  tolvane::EncryptFile(state.key, OnSharedPool(state.threads), source, target, progress);
}

void Cipher::DecryptFile(const std::filesystem::path& source, const std::filesystem::path& target,
                         const FileProgress& progress) const {
  const State& state = keyed();
  tolvane::DecryptFile(state.key, OnSharedPool(state.threads), source, target, progress);
}

FileCheck Cipher::CheckFile(const std::filesystem::path& path) const {
  const EncryptedLayout layout = CheckEncryptedFile(keyed().key, path);
  return {layout.plain_length, layout.key_checked};
}

std::u16string Cipher::EncryptText(std::u16string_view text, const CodePage& page) const {
  const State& state = keyed();
  return tolvane::EncryptText(state.key, OnSharedPool(state.threads), page, text);
}

std::u16string Cipher::DecryptText(std::u16string_view cipher_text, const CodePage& page) const {
  const State& state = keyed();
  return tolvane::DecryptText(state.key, OnSharedPool(state.threads), page, cipher_text);
}

std::u16string HexCodeOf(std::u16string_view text) { return TextToHexCode(text); }

std::u16string TextOfHexCode(std::u16string_view code) { return HexCodeToText(code); }

}  // namespace tolvane
