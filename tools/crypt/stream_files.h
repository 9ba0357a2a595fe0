#ifndef TOOLS_CRYPT_STREAM_FILES_H_
#define TOOLS_CRYPT_STREAM_FILES_H_

#include <cstdint>
#include <filesystem>

namespace tolvane::crypt {

// Standard input copied into an unnamed temporary file (mode 0600, in $TMPDIR or /tmp), for
// the file methods, which need a file whose length they learn before reading it. The file has
// no name to leave behind: it vanishes when the tool exits, however it exits. (On Windows it
// is a temporary file in the user's temporary folder, deleted when its handle closes, which
// the system does however the tool ends.) Input of 2 GiB or more, beyond the format's length
// field, is refused before it is all read.
class StdinSpool {
 public:
  // Reads standard input to its end. Throws tolvane::Error.
  StdinSpool();
  ~StdinSpool();
  StdinSpool(const StdinSpool&) = delete;
  StdinSpool& operator=(const StdinSpool&) = delete;

  // A path that opens the spooled file afresh.
  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::intptr_t handle_ = -1;  // a file descriptor, or a Windows HANDLE
  std::filesystem::path path_;
};

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_STREAM_FILES_H_
