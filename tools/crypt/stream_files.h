#ifndef TOOLS_CRYPT_STREAM_FILES_H_
#define TOOLS_CRYPT_STREAM_FILES_H_

#include <cstdint>
#include <filesystem>

namespace tolvane::crypt {

// Standard input copied into an unnamed temporary file (mode 0600, in $TMPDIR or /tmp), for
// the file methods, which need a file whose length they learn before reading it. The file has
// no name to leave behind: it vanishes when the tool exits, however it exits. Input of 2 GiB
// or more, beyond the format's length field, is refused before it is all read.
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
  int fd_ = -1;
  std::filesystem::path path_;
};

// A private folder (mode 0700, in $TMPDIR or /tmp) where a file method writes what is bound
// for standard output. The folder and anything in it are removed when this goes, or by an
// interrupt.
class StdoutStaging {
 public:
  // Creates the folder. Throws tolvane::Error.
  StdoutStaging();
  ~StdoutStaging();
  StdoutStaging(const StdoutStaging&) = delete;
  StdoutStaging& operator=(const StdoutStaging&) = delete;

  // Where the file method is to write.
  const std::filesystem::path& target() const noexcept { return target_; }
  // Removes the written file from the folder and copies it to standard output. Throws
  // tolvane::Error.
  void SendToStdout();

 private:
  std::filesystem::path folder_;
  std::filesystem::path target_;
};

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_STREAM_FILES_H_
