#include "tools/crypt/io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tolvane/errors/error.h"
#include "tools/crypt/platform.h"

namespace tolvane::crypt {
namespace {

[[noreturn]] void ThrowIo(const std::string& what, const std::string& path) {
  throw Error(kErrPathAccess, what + " " + (path == "-" ? "standard stream" : "\"" + path + "\"") +
                                  ": " + std::strerror(errno));
}

}  // namespace

std::string ReadAll(const std::string& path) {
  std::FILE* in = path == "-" ? stdin : OpenFile(path, "rb");
  if (in == nullptr) ThrowIo("cannot open", path);
  std::string data;
  char buffer[1 << 16];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) data.append(buffer, n);
  const bool failed = std::ferror(in) != 0;
  if (in != stdin) std::fclose(in);
  if (failed) ThrowIo("cannot read", path);
  return data;
}

void WriteAll(const std::string& path, const std::string& data) {
  std::FILE* out = path == "-" ? stdout : OpenFile(path, "wb");
  if (out == nullptr) ThrowIo("cannot create", path);
  bool failed = std::fwrite(data.data(), 1, data.size(), out) != data.size();
  failed |= std::fflush(out) != 0;
  if (out != stdout) failed |= std::fclose(out) != 0;
  if (failed) ThrowIo("cannot write", path);
}

}  // namespace tolvane::crypt
