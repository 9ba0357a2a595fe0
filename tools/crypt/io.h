#ifndef TOOLS_CRYPT_IO_H_
#define TOOLS_CRYPT_IO_H_

#include <string>

namespace tolvane::crypt {

// Reads a whole file, or standard input for "-". Throws tolvane::Error naming the path.
std::string ReadAll(const std::string& path);

// Writes `data` to a file (created or truncated), or to standard output for "-". Throws
// tolvane::Error naming the path.
void WriteAll(const std::string& path, const std::string& data);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_IO_H_
