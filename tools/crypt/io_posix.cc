#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tolvane/platform/file_system.h"
#include "tools/crypt/io.h"
#include "tools/crypt/terminal.h"

namespace tolvane::crypt {

Error LastSystemError(const std::filesystem::path& path) { return FileSystemError(errno, path); }

void RequireStdStream(int stream) {
  if (StandardStreamWasClosed(stream)) throw StdStreamError(stream, std::strerror(EBADF));
}

bool NamesStandardInput(const std::string& path) {
  if (IsStdStream(path)) return true;
  struct stat named {
  }, input{};
  return stat(path.c_str(), &named) == 0 && fstat(STDIN_FILENO, &input) == 0 &&
         named.st_dev == input.st_dev && named.st_ino == input.st_ino;
}

InputStream::InputStream(const std::string& path)
    : path_(path),
      handle_(IsStdStream(path) ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC)),
      owned_(!IsStdStream(path)) {
  if (handle_ < 0) throw FileSystemError(errno, path);
  if (!owned_) RequireStdStream(0);
}

InputStream::~InputStream() {
  if (owned_) close(static_cast<int>(handle_));
}

std::size_t InputStream::Read(std::uint8_t* data, std::size_t size) {
  for (;;) {
    const ssize_t n = read(static_cast<int>(handle_), data, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (!owned_) throw StdStreamError(0, std::strerror(errno));
    throw FileSystemError(errno, path_);
  }
}

void WriteStdout(std::span<const std::uint8_t> data) {
  RequireStdStream(1);
  while (!data.empty()) {
    const ssize_t n = write(STDOUT_FILENO, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    // A closed pipe is EPIPE here, SIGPIPE being ignored: an error like any other.
    if (n <= 0) throw StdStreamError(1, std::strerror(n < 0 ? errno : ENOSPC));
    data = data.subspan(static_cast<std::size_t>(n));
  }
}

void WriteStderr(std::string_view text) noexcept {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace tolvane::crypt
