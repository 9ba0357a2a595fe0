// What only the Windows build of the tool has: its manifest, and the file standard input is
// spooled to, beyond MAX_PATH.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "tests/support/file_system_testing.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace testing;  // NOLINT(google-build-using-namespace): the file helpers

const fs::path kTool = fs::path(TOLVANE_CRYPT_PATH).make_preferred();

// The manifest as the loader reads it: resource 1 of type RT_MANIFEST.
TEST(ToolOnWindows, ManifestAllowsLongPathsRunsAsInvokerAndKeepsTheAnsiCodePage) {
  const HMODULE exe = LoadLibraryExW(kTool.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  const HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(exe, found))),
                             SizeofResource(exe, found));
  FreeLibrary(exe);
  EXPECT_TRUE(std::regex_search(manifest, std::regex(R"(<longPathAware[^>]*>\s*true\s*<)")));
  EXPECT_TRUE(
      std::regex_search(manifest, std::regex(R"(<requestedExecutionLevel\s+level="asInvoker")")));
  EXPECT_EQ(manifest.find("<activeCodePage"), std::string::npos);
}

// With %TEMP% so long that the spool's path goes beyond MAX_PATH, and a target beyond it too:
// the spool lets in nobody else while the tool reads into it, and is gone when it ends.
TEST(ToolOnWindows, SpoolsStandardInputForTheUserAloneBeyondMaxPath) {
  TempFolder dir;
  const fs::path temp = MakeLongFolder(dir.path(), 250);  // GetTempPathW allows MAX_PATH
  const fs::path target = MakeLongFolder(dir.path(), 300) / "out";
  ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", temp.c_str()));
  ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", temp.c_str()));
  ASSERT_TRUE(SetEnvironmentVariableW(L"TOLVANE_TEST_KEY", L"secret"));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE input = nullptr;
  HANDLE feeder = nullptr;
  ASSERT_TRUE(CreatePipe(&input, &feeder, &inherit, 0));
  SetHandleInformation(feeder, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  std::wstring command =
      L"tolvane-crypt encrypt-file --key-env TOLVANE_TEST_KEY - \"" + target.wstring() + L"\"";
  PROCESS_INFORMATION tool{};
  ASSERT_TRUE(CreateProcessW(kTool.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &startup, &tool));
  CloseHandle(input);
  DWORD put = 0;
  WriteFile(feeder, "12345", 5, &put, nullptr);
  // The spool exists from before the tool reads its first byte until the tool ends.
  std::set<std::wstring> spools;
  for (int wait = 0; wait < 200 && spools.empty(); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    spools = EntryNames(temp);
  }
  ASSERT_EQ(spools.size(), 1u);
  EXPECT_GE((temp / *spools.begin()).native().size(), std::size_t{MAX_PATH});
  EXPECT_EQ(OthersAllowed(Extended(temp / *spools.begin())), std::set<std::wstring>{});
  CloseHandle(feeder);
  WaitForSingleObject(tool.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(tool.hProcess, &code);
  CloseHandle(tool.hProcess);
  CloseHandle(tool.hThread);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(ReadBytes(Extended(target)).size(), 4u + 8u);
  EXPECT_EQ(EntryNames(temp), std::set<std::wstring>{});
}

}  // namespace
}  // namespace tolvane
