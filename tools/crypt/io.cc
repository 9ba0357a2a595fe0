#include "tools/crypt/io.h"

#include <algorithm>

#include "tolvane/base/error.h"
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

void WritePrivateFile(const std::string& path, std::span<const std::uint8_t> data) {
  if (IsStdStream(path)) return WriteStdout(data);
  AtomicFileWriter writer(PathFromUtf8(path), nullptr, NewFileAccess::kOwnerOnly);
  writer.Write(data);
  CommitUninterrupted([&writer] { writer.Commit(); });
}

}  // namespace tolvane::crypt
