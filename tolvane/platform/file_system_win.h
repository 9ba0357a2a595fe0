#ifndef TOLVANE_PLATFORM_FILE_SYSTEM_WIN_H_
#define TOLVANE_PLATFORM_FILE_SYSTEM_WIN_H_

// What the Windows file layer (file_system_win.cc) and the tool's own Windows files share: the
// extended-length form of long paths and an owner-only security descriptor. Inline, as the tool
// may be linked to the DLL, which exports neither. Not an installed header.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tolvane {

// Paths this long or longer are given in the extended-length form. A program without a
// long-path manifest (any program calling the DLL) may name at most MAX_PATH - 1 characters,
// and a folder must leave room for an 8.3 name in it, hence 12 less.
inline constexpr std::size_t kLongPathFrom = MAX_PATH - 12;

// `path` in a form the wide file calls accept at any length: unchanged when it is short (or
// already a \\?\ or \\.\ path), else made absolute and normalized as the system would
// (GetFullPathNameW: the current folder, "." and "..", "/") and prefixed with \\?\ (\\?\UNC\ for
// a share), which passes it on without the MAX_PATH limit or any further parsing. Messages
// keep naming the path as given; only the calls take this form.
inline std::wstring ExtendedLengthPath(const std::filesystem::path& path) {
  const std::wstring& given = path.native();
  if (given.starts_with(L"\\\\?\\") || given.starts_with(L"\\\\.\\")) return given;
  if (given.size() < kLongPathFrom && path.is_absolute()) return given;
  std::wstring full(given.size() + MAX_PATH, L'\0');
  for (;;) {
    const DWORD n =
        GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return given;  // the call that takes it reports what is wrong with it
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n);  // too small: n counts the terminator too
  }
  if (full.size() < kLongPathFrom && given.size() < kLongPathFrom) return given;
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Security attributes for a new file that only the process's user may open: a protected access
// list (nothing inherited from the folder) with one entry, full access for the user's SID.
// Neither copied nor moved, as the attributes point into the object.
class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      failure_ = GetLastError();
      return;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    const BOOL got = size != 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
    failure_ = got ? 0 : GetLastError();
    CloseHandle(token);
    if (!got) return;
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    ACL* const acl = reinterpret_cast<ACL*>(acl_.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      failure_ = GetLastError();
      return;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
  OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
  OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

  // 0 when the attributes are ready, else the system's code for what failed.
  DWORD failure() const noexcept { return failure_; }
  SECURITY_ATTRIBUTES* attributes() noexcept { return &attributes_; }

 private:
  DWORD failure_ = 0;
  std::vector<std::uint8_t> user_;  // TOKEN_USER, which holds the SID
  std::vector<std::uint8_t> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_FILE_SYSTEM_WIN_H_
