#ifndef TOLVANE_TESTS_SUPPORT_FILE_SYSTEM_TESTING_H_
#define TOLVANE_TESTS_SUPPORT_FILE_SYSTEM_TESTING_H_

#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <sddl.h>
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
#include <utility>
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

#ifdef _WIN32
// The \\?\ form of an absolute path with backslashes: the tests' own file calls beyond MAX_PATH.
inline std::filesystem::path Extended(const std::filesystem::path& absolute) {
  return L"\\\\?\\" + absolute.wstring();
}

// A folder `length` characters long (or one more) inside the absolute folder `base`.
inline std::filesystem::path MakeLongFolder(const std::filesystem::path& base, std::size_t length) {
  std::filesystem::path folder = base;
  while (folder.native().size() < length) {
    const std::size_t left = length - folder.native().size();
    folder /= std::wstring(left > 51 ? 50 : left > 1 ? left - 1 : 1, L'd');
    if (!CreateDirectoryW(Extended(folder).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      throw std::runtime_error("cannot create a long folder");
    }
  }
  return folder;
}

// The names in a folder of any length.
inline std::set<std::wstring> EntryNames(const std::filesystem::path& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(Extended(folder / L"*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
    if (found.cFileName != std::wstring(L".") && found.cFileName != std::wstring(L"..")) {
      names.insert(found.cFileName);
    }
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return names;
}

// Whether a security descriptor's access list is protected from inheritance, and the SIDs it
// allows in (marked when short of full access).
inline std::pair<bool, std::set<std::wstring>> Allowed(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  std::set<std::wstring> sids;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    LPWSTR sid = nullptr;
    if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) &&
        ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        ConvertSidToStringSidW(&ace->SidStart, &sid)) {
      sids.insert(sid + std::wstring((ace->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS
                                         ? L""
                                         : L" (partial)"));
      LocalFree(sid);
    }
  }
  return {(control & SE_DACL_PROTECTED) != 0, sids};
}

// The process's user's SID as text.
inline std::wstring UserSid() {
  HANDLE token = nullptr;
  alignas(TOKEN_USER) BYTE user[512] = {};
  DWORD size = 0;
  LPWSTR sid = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"?";
  const BOOL got = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
  CloseHandle(token);
  if (!got || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid))
    return L"?";
  const std::wstring text = sid;
  LocalFree(sid);
  return text;
}

// Whom a file's access list lets in besides the user and the system account (which Wine, keeping
// permission bits rather than access lists, lists for every file).
inline std::set<std::wstring> OthersAllowed(const std::filesystem::path& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot read an access list");
  }
  std::set<std::wstring> others = Allowed(descriptor).second;
  LocalFree(descriptor);
  others.erase(UserSid());
  others.erase(L"S-1-5-18");
  return others;
}
#else
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
