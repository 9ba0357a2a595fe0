// sFileDecrypt on arbitrary file content, lying length headers included, in a temporary
// folder: nothing escapes; the source never changes; no temporary file is left behind; and
// either the target is exactly the decrypted bytes at the stored length and no message was
// shown, or the target is untouched and exactly one message was shown, with the number that
// the file's first fault calls for (9, -2147218101, or 321 for a format or key mismatch).
//
// Input: one byte of options (bit 0: decrypt in place; bit 1: a target exists beforehand;
// bits 2 to 6 all set, one input in 32: repeat the content after the header to a little over
// 1 MiB, so that the file spans more than one of the chunks the method streams through; bit 7:
// the content is a plaintext, made into a well-formed encrypted file with the fuzzer's key
// first, so that the checks also meet files they must let through), then the content.
//
// Writing goes through the file-system seam with one change: more than kWriteCap bytes in one
// input fail as a full disk. No well-formed file here needs that much; the cap keeps a
// regression that writes what a lying header asks for (up to 2 GiB) from filling the disk.
// (Flushing stays real: on this machine it did not measurably slow the runs.)

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/platform/file_system.h"
#include "tolvane/platform/file_system_calls_posix.h"
#include "tests/support/file_system_testing.h"

namespace tolvane::fuzz {
namespace {

constexpr std::size_t kWriteCap = 3 << 19;  // 1.5 MiB
constexpr std::size_t kStretchedBytes = (1 << 20) + 4;
std::size_t g_written = 0;

ssize_t CappedWrite(int fd, const void* buffer, std::size_t size) {
  if (g_written + size > kWriteCap) {
    errno = ENOSPC;
    return -1;
  }
  const ssize_t put = DefaultFileSystemCalls().write(fd, buffer, size);
  if (put > 0) g_written += static_cast<std::size_t>(put);
  return put;
}

const Blowfish& Keyed() {
  static const Blowfish bf = [] {
    Blowfish keyed;
    keyed.sInitBF(ByteArray{'f', 'i', 'l', 'e', ' ', 'k', 'e', 'y'});
    return keyed;
  }();
  return bf;
}

std::int32_t StoredLength(const std::vector<std::uint8_t>& file) {
  return static_cast<std::int32_t>(std::uint32_t{file[0]} | std::uint32_t{file[1]} << 8 |
                                   std::uint32_t{file[2]} << 16 | std::uint32_t{file[3]} << 24);
}

// The cipher bytes of `data`, a multiple of 8 bytes long, through sEncrypt or sDecrypt.
std::vector<std::uint8_t> Transform(const std::uint8_t* data, std::size_t size, bool encrypt) {
  if (size == 0) return {};
  ByteArray in(std::vector<std::uint8_t>(data, data + size));
  ByteArray out(size);
  Blowfish bf = Keyed();
  encrypt ? bf.sEncrypt(in, out) : bf.sDecrypt(in, out);
  FUZZ_CHECK(TakeMessages().empty());
  return out.ToVector();
}

// A well-formed encrypted file of `plain`.
std::vector<std::uint8_t> EncryptedFile(std::vector<std::uint8_t> plain) {
  const auto length = static_cast<std::uint32_t>(plain.size());
  std::vector<std::uint8_t> file = {
      static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
      static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
  plain.resize((plain.size() + 7) / 8 * 8, 0);
  const std::vector<std::uint8_t> cipher = Transform(plain.data(), plain.size(), true);
  file.insert(file.end(), cipher.begin(), cipher.end());
  return file;
}

// What the call must do: write `target`, or leave it untouched and show `number`.
struct Outcome {
  std::optional<std::vector<std::uint8_t>> target;
  std::int32_t number = 0;
};

// The checks in the order sFileDecrypt makes them, written out independently: the header is
// there and not negative, the cipher data are whole blocks, exactly the stored length padded,
// and the padding decrypts to zeros.
Outcome Expected(const std::vector<std::uint8_t>& file) {
  if (file.size() < 4) return {std::nullopt, 9};
  const std::int32_t stored = StoredLength(file);
  if (stored < 0) return {std::nullopt, 9};
  const std::size_t cipher_size = file.size() - 4;
  if (cipher_size % 8 != 0) return {std::nullopt, -2147218101};
  const auto length = static_cast<std::size_t>(stored);
  if (cipher_size != (length + 7) / 8 * 8) return {std::nullopt, 321};
  std::vector<std::uint8_t> plain = Transform(file.data() + 4, cipher_size, false);
  if (std::any_of(plain.begin() + static_cast<std::ptrdiff_t>(length), plain.end(),
                  [](std::uint8_t b) { return b != 0; })) {
    return {std::nullopt, 321};
  }
  plain.resize(length);
  return {plain, 0};
}

// The whole file, read in one go (the stream iterators take most of the run on 1 MiB).
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::vector<std::uint8_t> bytes(std::filesystem::file_size(path));
  std::FILE* file = std::fopen(path.c_str(), "rb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size());
  std::fclose(file);
  return bytes;
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane;
  using namespace tolvane::fuzz;
  static const testing::TempFolder folder;
  static const testing::ScopedFileSystemCalls calls([] {
    FileSystemCalls c = DefaultFileSystemCalls();
    c.write = CappedWrite;
    return c;
  }());
  TakeMessages();

  Input input(data, size);
  const std::uint8_t options = input.Byte();
  const bool in_place = options & 1;
  const bool target_exists = options & 2;
  std::vector<std::uint8_t> content = input.Rest();
  if ((options & 0x7C) == 0x7C && content.size() > 4) {
    // The header stays; the data repeats, ending at one of 16 lengths.
    std::size_t at = content.size();
    content.resize(kStretchedBytes + 4 + content.size() % 16);
    while (at < content.size()) {
      // Doubling: the (at - 4) bytes of data so far are whole repetitions.
      const std::size_t n = std::min(at - 4, content.size() - at);
      std::memcpy(content.data() + at, content.data() + 4, n);
      at += n;
    }
  }
  if (options & 0x80) content = EncryptedFile(std::move(content));
  const std::vector<std::uint8_t> previous_target = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'};

  const std::filesystem::path source = folder / "source";
  const std::filesystem::path target = in_place ? source : folder / "target";
  std::filesystem::remove(folder / "target");
  testing::WriteBytes(source, content);
  if (target_exists && !in_place) testing::WriteBytes(target, previous_target);

  g_written = 0;
  Blowfish bf = Keyed();
  try {
    bf.sFileDecrypt(source, target);
  } catch (...) {
    FUZZ_CHECK(!"sFileDecrypt let an exception escape");
  }
  const std::vector<std::string> messages = TakeMessages();

  const Outcome expected = Expected(content);
  if (expected.target) {
    FUZZ_CHECK(messages.empty());
    FUZZ_CHECK(ReadFile(target) == *expected.target);
  } else {
    FUZZ_CHECK(messages.size() == 1);
    FUZZ_CHECK(messages[0].find("(" + std::to_string(expected.number) + " - ") !=
               std::string::npos);
    if (in_place) {
      FUZZ_CHECK(ReadFile(source) == content);
    } else if (target_exists) {
      FUZZ_CHECK(ReadFile(target) == previous_target);
    } else {
      FUZZ_CHECK(!std::filesystem::exists(target));
    }
  }
  if (!in_place) FUZZ_CHECK(ReadFile(source) == content);

  // Nothing else in the folder: no temporary file left behind.
  std::set<std::string> names = folder.Names();
  names.erase("source");
  names.erase("target");
  FUZZ_CHECK(names.empty());
  return 0;
}
