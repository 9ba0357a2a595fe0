#include "tools/crypt/io.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "tolvane/base/error.h"
#include "tolvane/base/utf8.h"
#include "tolvane/platform/file_system.h"
#include "tools/crypt/interrupts.h"

namespace tolvane::crypt {
namespace {

std::string Describe(const std::string& path) {
  return IsStdStream(path) ? std::string("standard input") : "'" + path + "'";
}

std::string LimitText(std::size_t limit) {
  return limit % (1 << 20) == 0 ? std::to_string(limit >> 20) + " MiB"
                                : std::to_string(limit) + " bytes";
}

// UTF-16 after its byte-order mark, as UTF-8. Converted here rather than through a string,
// so that no copy of the text is left unwiped.
SecureBytes Utf16ToUtf8Bytes(const SecureBytes& in, bool big_endian, const std::string& path) {
  if (in.size() % 2 != 0) {
    throw Error(kErrInvalidCall, Describe(path) +
                                     " starts with a UTF-16 byte-order mark but has an odd "
                                     "number of bytes, so it is not UTF-16 text");
  }
  auto unit = [&in, big_endian](std::size_t at) -> char32_t {
    return big_endian ? (in[at] << 8) | in[at + 1] : in[at] | (in[at + 1] << 8);
  };
  SecureBytes out;
  out.reserve(in.size() / 2 * 3);
  for (std::size_t at = 2; at < in.size(); at += 2) {
    char32_t c = unit(at);
    if (IsSurrogate(c)) {
      const bool paired = IsHighSurrogate(c) && at + 3 < in.size() && IsLowSurrogate(unit(at + 2));
      if (!paired) {
        throw Error(kErrInvalidCall, Describe(path) +
                                         " is UTF-16 text holding half a surrogate pair at byte " +
                                         std::to_string(at) + ", which is no character");
      }
      c = CombineSurrogates(c, unit(at + 2));
      at += 2;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

Error StdStreamError(int stream, const std::string& reason) {
  return Error(kErrPathAccess, (stream == 0 ? "cannot read standard input: "
                                            : "cannot write to standard output: ") +
                                   reason);
}

SecureBytes ReadAll(const std::string& path, std::size_t limit) {
  InputStream in(path);
  SecureBytes data;
  // One byte beyond the limit tells an input of exactly `limit` bytes from a longer one.
  std::size_t size = 0;
  for (;;) {
    if (size == data.size()) {
      if (size > limit) break;
      data.resize(std::min(size + (std::size_t{1} << 16), limit + 1));
    }
    const std::size_t n = in.Read(data.data() + size, data.size() - size);
    if (n == 0) break;
    size += n;
  }
  data.resize(size);
  if (size > limit) {
    throw Error(kErrOverflow, Describe(path) + " is larger than the limit of " + LimitText(limit) +
                                  "; nothing more was read");
  }
  return data;
}

SecureBytes ReadText(const std::string& path, std::size_t limit) {
  SecureBytes data = ReadAll(path, limit);
  const auto starts = [&data](std::initializer_list<std::uint8_t> mark) {
    return data.size() >= mark.size() && std::equal(mark.begin(), mark.end(), data.begin());
  };
  if (starts({0xEF, 0xBB, 0xBF})) {
    data.erase(data.begin(), data.begin() + 3);
    return data;
  }
  if (starts({0xFF, 0xFE})) return Utf16ToUtf8Bytes(data, false, path);
  if (starts({0xFE, 0xFF})) return Utf16ToUtf8Bytes(data, true, path);
  return data;
}

void WritePrivateFile(const std::string& path, std::span<const std::uint8_t> data) {
  if (IsStdStream(path)) return WriteStdout(data);
  AtomicFileWriter writer(PathFromUtf8(path), nullptr, NewFileAccess::kOwnerOnly);
  writer.Write(data);
  CommitUninterrupted([&writer] { writer.Commit(); });
}

}  // namespace tolvane::crypt
