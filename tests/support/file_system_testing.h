#ifndef TOLVANE_TESTS_SUPPORT_FILE_SYSTEM_TESTING_H_
#define TOLVANE_TESTS_SUPPORT_FILE_SYSTEM_TESTING_H_

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "tolvane/platform/file_system.h"
#ifndef _WIN32
#include "tolvane/platform/file_system_calls_posix.h"
#endif

namespace tolvane::testing {

// A fresh, empty folder under the system's temporary folder, removed with all it holds.
class TempFolder {
 public:
  TempFolder() {
    // create_directory reports whether it made the folder, so a name taken meanwhile by
    // another process is simply skipped.
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = base / ("tolvane-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(path_)) return;
    }
    throw std::runtime_error("cannot create a temporary folder");
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // The names of the entries directly inside the folder.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      const std::u8string name = entry.path().filename().u8string();
      names.insert(std::string(name.begin(), name.end()));
    }
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read a test file");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write a test file");
}

// Makes an entry at `path` that exists but is not a file the file methods take as a source: a
// FIFO on POSIX, a file marked hidden on Windows.
inline bool MakeFileThatIsNoSource(const std::filesystem::path& path) {
#ifdef _WIN32
  WriteBytes(path, {1});
  return SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN) != 0;
#else
  return mkfifo(path.c_str(), 0600) == 0;
#endif
}

#ifndef _WIN32
// A user and group id that are not this process's: the tests' "another user" (nobody, or the
// id next to it when the tests run as nobody). Files are given to it with chown, which only
// root may do; rows that need one skip elsewhere.
inline uid_t OtherUser() { return geteuid() == 65534 ? 65533 : 65534; }
inline gid_t OtherGroup() { return getegid() == 65534 ? 65533 : 65534; }

// Replaces the file-system call table for its lifetime, e.g. to make one step fail.
class ScopedFileSystemCalls {
 public:
  explicit ScopedFileSystemCalls(const FileSystemCalls& calls)
      : previous_(SetFileSystemCalls(calls)) {}
  ~ScopedFileSystemCalls() { SetFileSystemCalls(previous_); }
  ScopedFileSystemCalls(const ScopedFileSystemCalls&) = delete;
  ScopedFileSystemCalls& operator=(const ScopedFileSystemCalls&) = delete;

 private:
  FileSystemCalls previous_;
};
#endif

}  // namespace tolvane::testing

#endif  // TOLVANE_TESTS_SUPPORT_FILE_SYSTEM_TESTING_H_
