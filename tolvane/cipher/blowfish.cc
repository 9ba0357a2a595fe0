// Blowfish: the keying, the thread setting and the byte-array methods. Each method makes its
// checks in the order the class has always made them, then hands the work to the core; a
// failure is reported under the method's label and the method returns normally.

#include "tolvane/cipher/blowfish.h"

#include <span>
#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/cipher/failure_labels.h"
#include "tolvane/core/ecb.h"
#include "tolvane/core/key_schedule.h"
#include "tolvane/errors/reported_call.h"

namespace tolvane {
namespace {

std::span<const std::uint8_t> Bytes(const ByteArray& array) noexcept {
  return {array.data(), array.size()};
}
std::span<std::uint8_t> Bytes(ByteArray& array) noexcept { return {array.data(), array.size()}; }

// Both byte-array methods share these argument checks once their own first checks passed.
// UBound throws 9 for an array never given a size.
void CheckSizesAndKey(const ByteArray& in, const ByteArray& out, bool keyed) {
  if (in.UBound() != out.UBound()) throw SizeMismatchError();
  if (in.size() % 8 != 0) throw NotMultipleOf8Error();
  if (!keyed) throw NotKeyedError();
}

}  // namespace

Blowfish::Blowfish() noexcept = default;

Blowfish::Blowfish(const Blowfish& other)
    : schedule_(other.schedule_ ? std::make_unique<KeySchedule>(*other.schedule_) : nullptr),
      intThreads(other.intThreads),
      progress_(other.progress_) {}

Blowfish& Blowfish::operator=(const Blowfish& other) {
  if (this != &other) *this = Blowfish(other);
  return *this;
}

// The schedule moves with its pointer, so nothing of the key stays behind in the source.
Blowfish::Blowfish(Blowfish&& other) noexcept
    : schedule_(std::move(other.schedule_)),
      intThreads(other.intThreads),
      progress_(std::move(other.progress_)) {}

Blowfish& Blowfish::operator=(Blowfish&& other) noexcept {
  if (this != &other) {
    schedule_ = std::move(other.schedule_);
    intThreads = other.intThreads;
    progress_ = std::move(other.progress_);
  }
  return *this;
}

// The schedule wipes itself when it goes.
Blowfish::~Blowfish() = default;

void Blowfish::sInitBF(const ByteArray& ByteKey) {
  // Every check comes before the first change, so a refused key leaves the instance as it
  // was: a keyed instance must never fall back to the publicly known initial tables.
  const std::int32_t upper = ByteKey.UBound();  // 9 when never sized
  if (upper > static_cast<std::int32_t>(kMaxKeyBytes) - 1) throw OverflowError();
  if (upper < 0) throw SubscriptError();
  // Keyed in place on the heap; the schedule it replaces wipes itself as it goes.
  schedule_ = std::make_unique<KeySchedule>(Bytes(ByteKey));
}

void Blowfish::SetThreads(unsigned count) { intThreads = ResolveThreadCount(count); }

CipherThreads Blowfish::CipherThreadsOf() const noexcept { return OnSharedPool(intThreads); }

void Blowfish::sEncrypt(const ByteArray& bytToEncrypt, ByteArray& bytEncrypted) {
  RunReported(face::kEncrypt, [&] {
    // Both arrays must hold an element at index 0 before anything else is looked at.
    if (!bytToEncrypt.IsSized() || bytToEncrypt.empty()) throw SubscriptError();
    if (!bytEncrypted.IsSized() || bytEncrypted.empty()) throw SubscriptError();
    CheckSizesAndKey(bytToEncrypt, bytEncrypted, schedule_ != nullptr);
    EcbEncrypt(*schedule_, Bytes(bytToEncrypt), Bytes(bytEncrypted), CipherThreadsOf());
  });
}

void Blowfish::sDecrypt(const ByteArray& bytToDecrypt, ByteArray& bytUnencrypted) {
  RunReported(face::kDecrypt, [&] {
    CheckSizesAndKey(bytToDecrypt, bytUnencrypted, schedule_ != nullptr);
    EcbDecrypt(*schedule_, Bytes(bytToDecrypt), Bytes(bytUnencrypted), CipherThreadsOf());
  });
}

}  // namespace tolvane
