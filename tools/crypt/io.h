#ifndef TOOLS_CRYPT_IO_H_
#define TOOLS_CRYPT_IO_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "tolvane/support/wipe.h"

namespace tolvane::crypt {

// The most the tool reads whole into memory from one input (Base64 text, a binary setting,
// text to convert): more is refused before it is read, so that /dev/zero or a wrong file
// fails at once instead of filling memory.
inline constexpr std::size_t kMaxInputBytes = std::size_t{64} << 20;

// "-" names standard input or output wherever the tool takes a path; "./-" is a file so named.
inline bool IsStdStream(const std::string& path) { return path == "-"; }

// Reads a whole file, or standard input for "-", of at most `limit` bytes: reading stops at
// limit + 1 bytes and the input is refused. Throws tolvane::Error naming the path.
SecureBytes ReadAll(const std::string& path, std::size_t limit = kMaxInputBytes);

// Writes `data` to standard output. Throws tolvane::Error.
void WriteStdout(std::span<const std::uint8_t> data);
inline void WriteStdout(const std::string& text) {
  WriteStdout({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

// Writes `data` to standard output for "-", or else replaces the file at `path` as a whole
// (a temporary file renamed over it) with mode 0600, never writing through a link: what the
// tool writes itself may be key material. Throws tolvane::Error naming the path.
void WritePrivateFile(const std::string& path, std::span<const std::uint8_t> data);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_IO_H_
