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
// The \\?\ form of an absolute path with backslashes: the tests' own reading and writing
// beyond MAX_PATH, independent of the library's conversion.
inline std::filesystem::path Extended(const std::filesystem::path& absolute) {
  return L"\\\\?\\" + absolute.wstring();
}

// A folder `length` characters long (or one more) inside the absolute folder `base`, of
// nested names of up to 50 characters, made through the \\?\ form.
inline std::filesystem::path MakeLongFolder(const std::filesystem::path& base, std::size_t length) {
  std::filesystem::path folder = base;
  while (folder.native().size() < length) {
    const std::size_t left = length - folder.native().size();
    folder /= std::wstring(left > 51 ? 50 : left > 1 ? left - 1 : 1, L'd');
    if (!CreateDirectoryW(Extended(folder).c_str(), nullptr)) {
      throw std::runtime_error("cannot create a long folder");
    }
  }
  return folder;
}

// An access list: whether it is protected from inheritance, and its entries as (type, SID).
struct AccessList {
  bool is_protected = false;
  std::vector<std::pair<int, std::wstring>> entries;
};

inline std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"?";
  std::wstring result = text;
  LocalFree(text);
  return result;
}

// The access list of a security descriptor; an allowing entry short of full access has its
// SID marked.
inline AccessList AccessListOf(PSECURITY_DESCRIPTOR descriptor) {
  AccessList list;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorControl(descriptor, &control, &revision) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
    throw std::runtime_error("cannot read a security descriptor");
  }
  list.is_protected = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    std::wstring sid = L"?";
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      sid = SidText(&allowed->SidStart);
      if ((allowed->Mask & FILE_ALL_ACCESS) != FILE_ALL_ACCESS) sid += L" (not full access)";
    }
    list.entries.emplace_back(header->AceType, sid);
  }
  return list;
}

inline AccessList ReadAccessList(const std::filesystem::path& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot read an access list");
  }
  AccessList list = AccessListOf(descriptor);
  LocalFree(descriptor);
  return list;
}

// Whom a file's access list lets in besides the user: Wine, which keeps permission bits rather
// than access lists, also lists the system account (S-1-5-18) for every file, and the others
// (Everyone) only for a file others may read.
inline std::set<std::wstring> OthersAllowed(const AccessList& list, const std::wstring& user) {
  std::set<std::wstring> others;
  for (const auto& [type, sid] : list.entries) {
    if (sid != user && sid != L"S-1-5-18") others.insert(sid);
  }
  return others;
}

// The names in a folder of any length, "." and ".." left out.
inline std::set<std::wstring> EntryNames(const std::filesystem::path& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(Extended(folder / L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.insert(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// The process's user, as the text of its SID.
inline std::wstring CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"?";
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<std::uint8_t> user(size);
  const BOOL got = GetTokenInformation(token, TokenUser, user.data(), size, &size);
  CloseHandle(token);
  if (!got) return L"?";
  return SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
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
