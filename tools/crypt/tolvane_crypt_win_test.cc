// What only the Windows build of the tool has: its manifest, paths beyond MAX_PATH, and the
// file standard input is spooled to.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/file_system_testing.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace testing;  // NOLINT(google-build-using-namespace): the file helpers

const fs::path kTool = fs::path(TOLVANE_CRYPT_PATH).make_preferred();

// The manifest as the loader reads it: resource 1 of type RT_MANIFEST.
std::string Manifest() {
  const HMODULE exe = LoadLibraryExW(kTool.c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (exe == nullptr) return "";
  std::string text;
  if (const HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    const auto* data = static_cast<const char*>(LockResource(LoadResource(exe, found)));
    if (data != nullptr) text.assign(data, SizeofResource(exe, found));
  }
  FreeLibrary(exe);
  return text;
}

TEST(ToolOnWindows, ManifestAllowsLongPathsRunsAsInvokerAndKeepsTheAnsiCodePage) {
  const std::string manifest = Manifest();
  ASSERT_FALSE(manifest.empty());
  EXPECT_TRUE(std::regex_search(manifest, std::regex(R"(<longPathAware[^>]*>\s*true\s*<)")));
  EXPECT_TRUE(
      std::regex_search(manifest, std::regex(R"(<requestedExecutionLevel\s+level="asInvoker")")));
  EXPECT_EQ(manifest.find("<activeCodePage"), std::string::npos);
}

// Runs the tool with `arguments` and standard input a pipe, which `feed` gets to write to
// while the tool runs; the exit code.
DWORD RunTool(const std::wstring& arguments, const std::function<void(HANDLE)>& feed = {}) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE input = nullptr;
  HANDLE feeder = nullptr;
  HANDLE errors = nullptr;
  if (!CreatePipe(&input, &feeder, &inherit, 0) ||
      !DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(),
                       &errors, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    ADD_FAILURE() << "no pipe";
    return ~DWORD{0};
  }
  SetHandleInformation(feeder, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = errors;
  startup.hStdError = errors;
  std::wstring command = L"tolvane-crypt " + arguments;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(kTool.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(input);
  CloseHandle(errors);
  if (!started) {
    CloseHandle(feeder);
    ADD_FAILURE() << "cannot start the tool";
    return ~DWORD{0};
  }
  if (feed) feed(feeder);
  CloseHandle(feeder);
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = ~DWORD{0};
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

std::wstring Quoted(const fs::path& path) { return L"\"" + path.wstring() + L"\""; }

TEST(ToolOnWindows, EncryptsAndDecryptsBeyondMaxPath) {
  TempFolder dir;
  const fs::path folder = MakeLongFolder(dir.path(), 300);
  const std::vector<std::uint8_t> plain(1000, 'p');
  WriteBytes(Extended(folder / "plain"), plain);
  ASSERT_TRUE(SetEnvironmentVariableW(L"TOLVANE_TEST_KEY", L"secret"));
  EXPECT_EQ(RunTool(L"encrypt-file --key-env TOLVANE_TEST_KEY " + Quoted(folder / "plain") + L" " +
                    Quoted(folder / "plain.enc")),
            0u);
  EXPECT_EQ(ReadBytes(Extended(folder / "plain.enc")).size(), 4u + 1000u);
  EXPECT_EQ(RunTool(L"decrypt-file --key-env TOLVANE_TEST_KEY " + Quoted(folder / "plain.enc") +
                    L" " + Quoted(folder / "plain.out")),
            0u);
  EXPECT_EQ(ReadBytes(Extended(folder / "plain.out")), plain);
}

// The spool is made in %TEMP% with an access list that lets in nobody else, even where its
// path goes beyond MAX_PATH, and is gone when the tool ends.
TEST(ToolOnWindows, SpoolsStandardInputForTheUserAloneBeyondMaxPath) {
  TempFolder dir;
  const fs::path temp = MakeLongFolder(dir.path(), 250);  // GetTempPathW allows MAX_PATH
  ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", temp.c_str()));
  ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", temp.c_str()));
  ASSERT_TRUE(SetEnvironmentVariableW(L"TOLVANE_TEST_KEY", L"secret"));
  std::set<std::wstring> spools;
  AccessList spool;
  const DWORD code =
      RunTool(L"encrypt-file --key-env TOLVANE_TEST_KEY - " + Quoted(dir / "out"), [&](HANDLE in) {
        DWORD put = 0;
        WriteFile(in, "12345", 5, &put, nullptr);
        // The spool exists from before the tool reads its first byte until the tool ends.
        for (int wait = 0; wait < 200 && spools.empty(); ++wait) {
          spools = EntryNames(temp);
          if (spools.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!spools.empty()) spool = ReadAccessList(Extended(temp / *spools.begin()));
      });
  EXPECT_EQ(code, 0u);
  ASSERT_EQ(spools.size(), 1u);
  EXPECT_GE((temp / *spools.begin()).native().size(), std::size_t{MAX_PATH});
  const std::wstring user = CurrentUserSid();
  EXPECT_NE(std::find(spool.entries.begin(), spool.entries.end(),
                      std::make_pair(int{ACCESS_ALLOWED_ACE_TYPE}, user)),
            spool.entries.end());
  EXPECT_EQ(OthersAllowed(spool, user), std::set<std::wstring>{});
  EXPECT_EQ(ReadBytes(dir / "out").size(), 4u + 8u);
  EXPECT_EQ(EntryNames(temp), std::set<std::wstring>{});
}

}  // namespace
}  // namespace tolvane
