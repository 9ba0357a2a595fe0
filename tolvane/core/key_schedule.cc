#include "tolvane/core/key_schedule.h"

#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/base/wipe.h"
#include "tolvane/core/block_rounds.h"
#include "tolvane/core/blowfish_tables.h"
#include "tolvane/core/bulk_kernel.h"

namespace tolvane {

using rounds::CipherBlock;
using rounds::CipherBlocks;

KeySchedule::KeySchedule(std::span<const std::uint8_t> key)
    : p_(blowfish_tables::kInitialP), s_(blowfish_tables::kInitialS) {
  if (key.size() > kMaxKeyBytes) throw OverflowError();
  if (key.empty()) throw SubscriptError();
  const std::size_t n = key.size();
  // The key bytes are used cyclically as one endless stream; only the first 72 are ever read.
  std::size_t j = 0;
  for (std::uint32_t& p : p_) {
    std::uint32_t word = 0;
    for (int k = 0; k < 4; ++k) {
      word = (word << 8) | key[j];
      j = (j + 1 == n) ? 0 : j + 1;
    }
    p ^= word;
  }
  // Each encipherment starts from the halves the one before left and uses the tables as
  // updated so far.
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (std::size_t i = 0; i < p_.size(); i += 2) {
    EncryptBlock(left, right);
    p_[i] = left;
    p_[i + 1] = right;
  }
  for (std::size_t i = 0; i < s_.size(); i += 2) {
    EncryptBlock(left, right);
    s_[i] = left;
    s_[i + 1] = right;
  }
  SecureWipe(&left, sizeof left);
  SecureWipe(&right, sizeof right);
}

KeySchedule::~KeySchedule() {
  SecureWipe(p_.data(), sizeof p_);
  SecureWipe(s_.data(), sizeof s_);
}

void KeySchedule::EncryptBlock(std::uint32_t& left, std::uint32_t& right) const noexcept {
  CipherBlock<false>(p_.data(), s_.data(), left, right);
}

void KeySchedule::DecryptBlock(std::uint32_t& left, std::uint32_t& right) const noexcept {
  CipherBlock<true>(p_.data(), s_.data(), left, right);
}

// Fewer blocks than the narrowest kernel's lanes go one at a time, straight away: an 8-byte call
// pays for no kernel look-up.
constexpr std::size_t kFewBlocks = 4;

void KeySchedule::EncryptBlocks(const std::uint8_t* in, std::uint8_t* out,
                                std::size_t blocks) const noexcept {
  if (blocks < kFewBlocks) {
    CipherBlocks<false>(p_.data(), s_.data(), in, out, blocks);
  } else {
    ChosenBulkKernel().encrypt(p_.data(), s_.data(), in, out, blocks);
  }
}

void KeySchedule::DecryptBlocks(const std::uint8_t* in, std::uint8_t* out,
                                std::size_t blocks) const noexcept {
  if (blocks < kFewBlocks) {
    CipherBlocks<true>(p_.data(), s_.data(), in, out, blocks);
  } else {
    ChosenBulkKernel().decrypt(p_.data(), s_.data(), in, out, blocks);
  }
}

void KeySchedule::EncryptBlocks(const BulkKernel& kernel, const std::uint8_t* in, std::uint8_t* out,
                                std::size_t blocks) const noexcept {
  kernel.encrypt(p_.data(), s_.data(), in, out, blocks);
}

void KeySchedule::DecryptBlocks(const BulkKernel& kernel, const std::uint8_t* in, std::uint8_t* out,
                                std::size_t blocks) const noexcept {
  kernel.decrypt(p_.data(), s_.data(), in, out, blocks);
}

}  // namespace tolvane
