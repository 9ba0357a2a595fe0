// sInitBF, sEncrypt and sDecrypt on arbitrary keys and data: keys outside 1 to 32767 bytes
// are refused with tolvane::Error and change nothing; bytes after the 72nd have no effect;
// decryption inverts encryption, in place or not; the interleaved bulk path gives the same
// bytes as one block at a time; arrays the methods refuse get one message and stay untouched.
//
// Input: a 16-bit key length (low byte first), key bytes (repeated when the input has fewer),
// then the data.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tolvane/base/error.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/core/key_schedule.h"

namespace tolvane {
namespace fuzz {
namespace {

// The core's block transform one block at a time, which never takes the interleaved path.
std::vector<std::uint8_t> OneBlockAtATime(const KeySchedule& key, bool decrypt,
                                          const std::vector<std::uint8_t>& in) {
  std::vector<std::uint8_t> out(in.size());
  for (std::size_t i = 0; i < in.size(); i += 8) {
    if (decrypt) {
      key.DecryptBlocks(in.data() + i, out.data() + i, 1);
    } else {
      key.EncryptBlocks(in.data() + i, out.data() + i, 1);
    }
  }
  return out;
}

constexpr std::size_t kMaxKeyBytes = 32767;
constexpr std::size_t kEffectiveKeyBytes = 72;

// Keys `bf` with `key`, checking what sInitBF promises about refused keys.
bool Key(Blowfish& bf, const std::vector<std::uint8_t>& key) {
  const Blowfish before = bf;
  try {
    bf.sInitBF(ByteArray(key));
  } catch (const Error& e) {
    FUZZ_CHECK(key.empty() ? e.number() == kErrSubscript : e.number() == kErrOverflow);
    // The instance is exactly as it was: it still encrypts as before.
    ByteArray probe(8), with_before(8), with_after(8);
    Blowfish copy = before;
    copy.sEncrypt(probe, with_before);
    bf.sEncrypt(probe, with_after);
    FUZZ_CHECK(with_before == with_after);
    TakeMessages();
    return false;
  } catch (...) {
    FUZZ_CHECK(!"sInitBF threw something other than tolvane::Error");
  }
  FUZZ_CHECK(!key.empty() && key.size() <= kMaxKeyBytes);
  FUZZ_CHECK(TakeMessages().empty());  // sInitBF never reports
  return true;
}

void CheckRefusedArrays(Blowfish& bf, const std::vector<std::uint8_t>& data) {
  // Sizes that are not a multiple of 8, or that differ: one message, the output untouched.
  const std::vector<std::uint8_t> untouched(data.size() + 8, 0x5A);
  for (const std::size_t out_size : {data.size(), data.size() + 8}) {
    if (out_size == data.size() && data.size() % 8 == 0) continue;
    for (const bool decrypt : {false, true}) {
      ByteArray out(std::vector<std::uint8_t>(untouched.begin(), untouched.begin() + out_size));
      const ByteArray in(data);
      decrypt ? bf.sDecrypt(in, out) : bf.sEncrypt(in, out);
      FUZZ_CHECK(TakeMessages().size() == 1);
      FUZZ_CHECK(out.ToVector() ==
                 std::vector<std::uint8_t>(untouched.begin(), untouched.begin() + out_size));
    }
  }
}

void CheckTransforms(Blowfish& bf, const KeySchedule& key, std::vector<std::uint8_t> data) {
  data.resize(data.size() / 8 * 8);
  if (data.empty()) return;
  const ByteArray plain(data);

  ByteArray cipher(data.size());
  bf.sEncrypt(plain, cipher);
  FUZZ_CHECK(cipher.ToVector() == OneBlockAtATime(key, false, data));
  ByteArray back(data.size());
  bf.sDecrypt(cipher, back);
  FUZZ_CHECK(back == plain);

  // The input read as cipher text: the bulk decryption agrees too, and encryption inverts it.
  ByteArray decrypted(data.size());
  bf.sDecrypt(plain, decrypted);
  FUZZ_CHECK(decrypted.ToVector() == OneBlockAtATime(key, true, data));

  // In place gives the same bytes.
  ByteArray in_place = plain;
  bf.sEncrypt(in_place, in_place);
  FUZZ_CHECK(in_place == cipher);
  bf.sDecrypt(in_place, in_place);
  FUZZ_CHECK(in_place == plain);
  FUZZ_CHECK(TakeMessages().empty());
}

}  // namespace
}  // namespace fuzz
}  // namespace tolvane

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane;
  using namespace tolvane::fuzz;
  TakeMessages();
  Input input(data, size);
  const std::size_t key_size = input.Word();
  std::vector<std::uint8_t> key = input.Bytes(key_size);
  for (std::size_t i = key.size(); i < key_size; ++i)
    key.push_back(key.empty() ? 0 : key[i % key.size()]);
  const std::vector<std::uint8_t> rest = input.Rest();

  // Keyed before, so that a refused key can be seen to leave the old key in place.
  static const Blowfish kPrior = [] {
    Blowfish prior;
    prior.sInitBF(ByteArray{'p', 'r', 'i', 'o', 'r'});
    return prior;
  }();
  Blowfish bf = kPrior;
  if (!Key(bf, key)) {
    // An instance never keyed refuses every transform with one message, changing nothing.
    Blowfish unkeyed;
    CheckRefusedArrays(unkeyed, rest);
    if (!rest.empty() && rest.size() % 8 == 0) {
      ByteArray out(rest.size());
      unkeyed.sEncrypt(ByteArray(rest), out);
      FUZZ_CHECK(TakeMessages().size() == 1 && out == ByteArray(rest.size()));
    }
    return 0;
  }
  if (key.size() > kEffectiveKeyBytes) {
    Blowfish short_key;
    Key(short_key, std::vector<std::uint8_t>(key.begin(), key.begin() + kEffectiveKeyBytes));
    ByteArray a(16), b(16);
    const ByteArray probe(std::vector<std::uint8_t>(
        rest.begin(), rest.begin() + std::min<std::size_t>(rest.size(), 16)));
    if (probe.size() == 16) {
      bf.sEncrypt(probe, a);
      short_key.sEncrypt(probe, b);
      FUZZ_CHECK(a == b);
    }
  }
  CheckTransforms(bf, KeySchedule(key), rest);
  CheckRefusedArrays(bf, rest);
  return 0;
}
