#ifndef TOOLS_CRYPT_IO_H_
#define TOOLS_CRYPT_IO_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/base/wipe.h"

namespace tolvane::crypt {

// The most the tool reads whole into memory from one input (Base64 text, a binary setting,
// text to convert): more is refused before it is read, so that /dev/zero or a wrong file
// fails at once instead of filling memory.
inline constexpr std::size_t kMaxInputBytes = std::size_t{64} << 20;

// "-" names standard input or output wherever the tool takes a path; "./-" is a file so named.
inline bool IsStdStream(const std::string& path) { return path == "-"; }

// Whether `path` reaches the tool's standard input: "-", or on POSIX any name of the same
// file, pipe or terminal (/dev/stdin, /dev/fd/0).
bool NamesStandardInput(const std::string& path);

// A path given in UTF-8 (as all the tool's text is), whatever the platform's narrow encoding.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A standard stream that cannot be used, with the reason: "cannot read standard input: ..."
// (`stream` 0) or "cannot write to standard output: ..." (1), as 75 "Path/File access error".
Error StdStreamError(int stream, const std::string& reason);
// The same for a standard stream that was closed when the tool started; the check made
// before a standard stream is used.
void RequireStdStream(int stream);

// The error for the last failed system call on `path` (errno, or GetLastError on Windows):
// 53, 70, 61 or 75 as the library maps them, naming the path.
Error LastSystemError(const std::filesystem::path& path);

// A file named in UTF-8, or standard input for "-", open for reading: io_posix.cc and
// io_win.cc. Any kind of file works (a pipe, a terminal, a device), unlike the library's
// InputFile, which takes regular files only.
class InputStream {
 public:
  // Throws tolvane::Error naming the path.
  explicit InputStream(const std::string& path);
  ~InputStream();
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  // Reads at most `size` bytes into `data`; 0 at the end. Throws tolvane::Error naming the
  // path.
  std::size_t Read(std::uint8_t* data, std::size_t size);

 private:
  std::string path_;
  std::intptr_t handle_;  // a file descriptor, or a Windows HANDLE
  bool owned_;
};

// Reads a whole file, or standard input for "-", of at most `limit` bytes: reading stops at
// limit + 1 bytes and the input is refused. Throws tolvane::Error naming the path.
SecureBytes ReadAll(const std::string& path, std::size_t limit = kMaxInputBytes);

// Writes `data` to standard output. Throws tolvane::Error.
void WriteStdout(std::span<const std::uint8_t> data);
inline void WriteStdout(const std::string& text) {
  WriteStdout({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

// Reads a whole input of text, as ReadAll does, and gives it as UTF-8 the way Windows
// programs write text too: one leading UTF-8 byte-order mark is dropped, and text that starts
// with a UTF-16 mark (little- or big-endian) is converted from UTF-16. Throws tolvane::Error
// for UTF-16 of an odd length or with half a surrogate pair. Other bytes are left as they are.
SecureBytes ReadText(const std::string& path, std::size_t limit);

// Writes `text` to standard error as it is; on Windows a console gets it as UTF-16, as
// standard output does. A failure is ignored: there is nowhere left to report it.
void WriteStderr(std::string_view text) noexcept;

// Writes `data` to standard output for "-", or else replaces the file at `path` as a whole
// (a temporary file renamed over it) with mode 0600, never writing through a link: what the
// tool writes itself may be key material. Throws tolvane::Error naming the path.
void WritePrivateFile(const std::string& path, std::span<const std::uint8_t> data);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_IO_H_
