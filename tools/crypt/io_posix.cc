#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tolvane/platform/file_system.h"
#include "tools/crypt/io.h"

namespace tolvane::crypt {

Error LastSystemError(const std::filesystem::path& path) { return FileSystemError(errno, path); }

InputStream::InputStream(const std::string& path)
    : path_(path),
      handle_(IsStdStream(path) ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC)),
      owned_(!IsStdStream(path)) {
  if (handle_ < 0) throw FileSystemError(errno, path);
}

InputStream::~InputStream() {
  if (owned_) close(static_cast<int>(handle_));
}

std::size_t InputStream::Read(std::uint8_t* data, std::size_t size) {
  for (;;) {
    const ssize_t n = read(static_cast<int>(handle_), data, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw FileSystemError(errno, path_);
  }
}

void WriteStdout(std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    const ssize_t n = write(STDOUT_FILENO, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      throw Error(kErrPathAccess,
                  std::string("cannot write to standard output: ") + std::strerror(errno));
    }
    data = data.subspan(static_cast<std::size_t>(n));
  }
}

}  // namespace tolvane::crypt
