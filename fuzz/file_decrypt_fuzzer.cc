// sFileDecrypt on arbitrary file content, lying length headers included, in a temporary
// folder: nothing escapes; the source never changes; the target is either exactly the
// decrypted bytes at the stored length or untouched; no temporary file is left behind; and a
// call that leaves the target untouched shows exactly one message, a call that writes it none.
//
// Input: one byte of options (bit 0: decrypt in place; bit 1: a target exists beforehand;
// bits 2 to 6 all set, one input in
// 32: repeat the content after the header to a little over 1 MiB, so that the file
// spans more than one of the chunks the method streams through), then the content of the file.
//
// Writing goes through the file-system seam with one change: more than kWriteCap bytes in one
// input fail as a full disk, since a stored length near 2^31 would otherwise write 2 GiB per
// input. (Flushing stays real: on this machine it did not measurably slow the runs.)

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
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/platform/file_system.h"
#include "tolvane/platform/file_system_posix_testing.h"
#include "tolvane/platform/file_system_testing.h"

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

// What the target must hold afterwards, or nothing when it must stay untouched: the cipher
// data decrypted and cut or zero-extended to the stored length; refused when the file is
// shorter than its header, the cipher data is no multiple of 8 bytes, the stored length is
// negative, or writing it would pass the cap.
std::optional<std::vector<std::uint8_t>> ExpectedTarget(const std::vector<std::uint8_t>& file) {
  if (file.size() < 4) return std::nullopt;
  const std::int32_t stored =
      static_cast<std::int32_t>(std::uint32_t{file[0]} | std::uint32_t{file[1]} << 8 |
                                std::uint32_t{file[2]} << 16 | std::uint32_t{file[3]} << 24);
  const std::size_t cipher_size = file.size() - 4;
  if (cipher_size % 8 != 0 || stored < 0) return std::nullopt;
  if (static_cast<std::size_t>(stored) > kWriteCap) return std::nullopt;
  std::vector<std::uint8_t> plain(cipher_size);
  if (cipher_size > 0) {
    ByteArray in(std::vector<std::uint8_t>(file.begin() + 4, file.end()));
    ByteArray out(cipher_size);
    Blowfish bf = Keyed();
    bf.sDecrypt(in, out);
    FUZZ_CHECK(TakeMessages().empty());
    plain = out.ToVector();
  }
  plain.resize(static_cast<std::size_t>(stored), 0);
  return plain;
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
  const std::size_t messages = TakeMessages().size();

  const auto expected = ExpectedTarget(content);
  if (expected) {
    FUZZ_CHECK(messages == 0);
    FUZZ_CHECK(ReadFile(target) == *expected);
  } else {
    FUZZ_CHECK(messages == 1);
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
