// The Windows file layer's own parts: the extended-length form of long paths, the temporary
// files of long targets, and the owner-only access list.
#include "tolvane/platform/file_system_win.h"

#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/file_system_testing.h"
#include "tolvane/platform/file_system.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace testing;  // NOLINT(google-build-using-namespace): the file helpers

TEST(ExtendedLengthPath, OnlyLongPathsAreRewrittenAbsoluteAndNormalized) {
  const std::wstring cwd = fs::current_path().wstring();
  const std::wstring below(kLongPathFrom - 4, L'a');  // with "C:\\", one short of the limit
  const std::wstring name(130, L'n');
  const struct {
    std::wstring given, expected;
  } cases[] = {
      {L"C:\\" + below, L"C:\\" + below},
      {L"C:\\" + below + L"b", L"\\\\?\\C:\\" + below + L"b"},
      {L"C:/" + name + L"/x/../" + name + L"/./f", L"\\\\?\\C:\\" + name + L"\\" + name + L"\\f"},
      {L"\\\\server\\share\\" + name + L"\\" + name,
       L"\\\\?\\UNC\\server\\share\\" + name + L"\\" + name},
      {L"\\\\?\\C:\\" + name + L"\\..\\" + name, L"\\\\?\\C:\\" + name + L"\\..\\" + name},
      {L"f", L"f"},
      {name + L"\\" + name + L"\\f", L"\\\\?\\" + cwd + L"\\" + name + L"\\" + name + L"\\f"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtendedLengthPath(c.given), c.expected) << fs::path(c.given).string();
  }
}

// The child half of the test below: a writer at the target it is given, then what the tool's
// console control handler does.
TEST(LongPaths, DISABLED_InterruptedWriter) {
  std::wstring target(32768, L'\0');
  target.resize(GetEnvironmentVariableW(L"TOLVANE_TEST_TARGET", target.data(), 32768));
  AtomicFileWriter writer(target);
  writer.Write(std::vector<std::uint8_t>(1000, 1));
  DiscardPendingTemporaryFiles();
  TerminateProcess(GetCurrentProcess(), 130);
}

// However long its path, an interrupted writer leaves nothing, and one that commits puts its
// file in place.
TEST(LongPaths, AnInterruptedWriterLeavesNothingAndWritersCommit) {
  TempFolder dir;
  const fs::path folder = MakeLongFolder(dir.path(), 300);
  const fs::path target = folder / std::wstring(60, L't');
  ASSERT_TRUE(SetEnvironmentVariableW(L"TOLVANE_TEST_TARGET", target.c_str()));
  std::wstring self(32768, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), 32768));
  std::wstring command = L"test --gtest_also_run_disabled_tests --gtest_filter=*InterruptedWriter";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &child));
  WaitForSingleObject(child.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  EXPECT_EQ(code, 130u);
  EXPECT_EQ(EntryNames(folder), std::set<std::wstring>{});

  AtomicFileWriter writer(target);
  writer.Write(std::vector<std::uint8_t>{4, 5});
  writer.Commit();
  EXPECT_EQ(ReadBytes(Extended(target)), (std::vector<std::uint8_t>{4, 5}));
  EXPECT_EQ(EntryNames(folder), std::set<std::wstring>{target.filename().wstring()});
}

// kOwnerOnly: a protected list granting the user alone full access, for a new file or one it
// replaces; kAsReplaced keeps the folder's inherited list.
TEST(OwnerOnlyAccess, NobodyElseIsLetIn) {
  OwnerOnlySecurity security;
  ASSERT_EQ(security.failure(), 0u);
  EXPECT_EQ(Allowed(security.attributes()->lpSecurityDescriptor),
            std::make_pair(true, std::set<std::wstring>{UserSid()}));
  TempFolder dir;
  testing::WriteBytes(dir / "old", {1});
  // The replaced file lets a named account in (Wine, keeping permission bits, keeps only what
  // they can say: others may read); the new content lets nobody else in.
  const wchar_t* const guests = L"S-1-5-32-546";
  PSID sid = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(guests, &sid));
  EXPLICIT_ACCESSW grant{};
  grant.grfAccessPermissions = FILE_ALL_ACCESS;
  grant.grfAccessMode = GRANT_ACCESS;
  grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  grant.Trustee.ptstrName = static_cast<LPWSTR>(sid);
  PACL acl = nullptr;
  ASSERT_EQ(SetEntriesInAclW(1, &grant, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
  std::wstring old_path = (dir / "old").wstring();
  ASSERT_EQ(SetNamedSecurityInfoW(old_path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, acl, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  LocalFree(acl);
  LocalFree(sid);
  EXPECT_NE(OthersAllowed(dir / "old"), std::set<std::wstring>{});
  for (const char* name : {"new", "old"}) {
    AtomicFileWriter writer(dir / name, nullptr, NewFileAccess::kOwnerOnly);
    writer.Commit();
    EXPECT_EQ(OthersAllowed(dir / name), std::set<std::wstring>{}) << name;
  }
  AtomicFileWriter writer(dir / "shared", nullptr, NewFileAccess::kAsReplaced);
  writer.Commit();
  EXPECT_NE(OthersAllowed(dir / "shared"), std::set<std::wstring>{});
}

}  // namespace
}  // namespace tolvane
