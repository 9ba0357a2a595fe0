#ifndef TOOLS_CRYPT_PLATFORM_H_
#define TOOLS_CRYPT_PLATFORM_H_

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tolvane/support/wipe.h"

namespace tolvane::crypt {

// What the tool needs from the terminal, the environment and the file system, in UTF-8
// everywhere: on Windows the UTF-16 interfaces, on POSIX the byte-oriented ones.

// Puts standard input and output in binary mode, so that cipher bytes pass unchanged (no
// CR/LF translation on Windows), and makes a console show UTF-8 output as such.
void PrepareStandardStreams();

// The program's arguments in UTF-8: on Windows from the UTF-16 command line, so that any
// file name or text survives; elsewhere argv as it is.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The value of an environment variable in UTF-8, or nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const std::string& name);

// Whether standard input is an interactive terminal (a console on Windows).
bool StandardInputIsTerminal();

// Writes `prompt` to standard error, reads one line from the terminal with echo switched
// off, restores the echo and returns the line in UTF-8, without its line break.
SecureBytes ReadLineWithoutEcho(std::string_view prompt);

// Opens a file named in UTF-8 with std::fopen's modes.
std::FILE* OpenFile(const std::string& path, const char* mode);

// A path named in UTF-8, whatever the platform's narrow encoding.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_PLATFORM_H_
