// The file methods' behaviour that only Windows shows: attributes, read-only targets, sharing
// and names beyond the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/blowfish_file_testing.h"

namespace tolvane {
namespace {

using namespace file_testing;  // NOLINT(google-build-using-namespace): the shared fixture

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A directory search that asks for no special attributes finds neither folders nor hidden or
// system files, nor does a name with wildcards name one file: none of them is a source.
TEST_F(BlowfishFileTest, SourcesASearchWouldSkipAreNotFound) {
  fs::create_directory(dir_ / "folder");
  for (const char* name : {"hidden", "system", "p1"}) WriteBytes(dir_ / name, {1, 2, 3});
  ASSERT_TRUE(SetFileAttributesW((dir_ / "hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW((dir_ / "system").c_str(), FILE_ATTRIBUTE_SYSTEM));
  for (const char* name : {"folder", "hidden", "system", "p*", "p?"}) {
    WriteBytes(dir_ / "t", {7});
    bf_.sFileEncrypt(dir_ / name, dir_ / "t");
    EXPECT_EQ(capture_.Take(), std::vector<std::string>{kEncLabel + kNotFound}) << name;
    EXPECT_EQ(ReadBytes(dir_ / "t"), Bytes{7}) << name;
  }
}

TEST_F(BlowfishFileTest, TargetsThatCannotBeReplacedAreReportedAndKept) {
  WriteBytes(dir_ / "p", RandomBytes(10, 8));
  fs::create_directory(dir_ / "folder");
  WriteBytes(dir_ / "read-only", {5});
  ASSERT_TRUE(SetFileAttributesW((dir_ / "read-only").c_str(), FILE_ATTRIBUTE_READONLY));
  WriteBytes(dir_ / "open", {6});
  // Held open without sharing, as another program may hold it.
  const HANDLE held = CreateFileW((dir_ / "open").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const struct {
    fs::path target;
    std::string message;  // the start of what follows the label
  } cases[] = {
      {dir_ / "no" / "t", "(53 - File not found: '" + Utf8(dir_ / "no" / "t") + "': "},
      {dir_ / "folder", "(75 - Path/File access error: '" + Utf8(dir_ / "folder") + "': "},
      {dir_ / "read-only",
       "(75 - Path/File access error: '" + Utf8(dir_ / "read-only") + "': the file is read-only)"},
      {dir_ / "open", "(70 - Permission denied: '" + Utf8(dir_ / "open") + "': "},
  };
  for (const auto& c : cases) {
    bf_.sFileEncrypt(dir_ / "p", c.target);
    const std::vector<std::string> messages = capture_.Take();
    ASSERT_EQ(messages.size(), 1u) << Utf8(c.target);
    EXPECT_EQ(messages[0].substr(0, kEncLabel.size() + c.message.size()), kEncLabel + c.message);
  }
  CloseHandle(held);
  SetFileAttributesW((dir_ / "read-only").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadBytes(dir_ / "read-only"), Bytes{5});
  EXPECT_EQ(ReadBytes(dir_ / "open"), Bytes{6});
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"p", "folder", "read-only", "open"}));
}

TEST_F(BlowfishFileTest, AnyUnicodeNameWorks) {
  const Bytes plain = RandomBytes(21, 14);
  for (const char16_t* name : {u"Grüße ✓ 日本.txt", u"\U0001F600 ΑΒΓ.bin", u"ł€.dat"}) {
    const fs::path source = dir_.path() / std::u16string(name);
    const fs::path cipher = dir_.path() / (std::u16string(name) + u".enc");
    WriteBytes(source, plain);
    bf_.sFileEncrypt(source, cipher);
    EXPECT_EQ(ReadBytes(cipher).size(), 28u);
    bf_.sFileDecrypt(cipher, cipher);
    EXPECT_EQ(ReadBytes(cipher), plain);
  }
  EXPECT_TRUE(capture_.messages().empty());
}

// A path beyond MAX_PATH, which a program without a long-path manifest (a DLL's caller) could
// not pass as it is: encrypted, decrypted in place, and named as given in a message.
TEST_F(BlowfishFileTest, PathsBeyondMaxPathWork) {
  const fs::path folder = testing::MakeLongFolder(dir_.path(), 300);
  const fs::path source = folder / "plain.txt";
  const fs::path cipher = folder / "plain.enc";
  const Bytes plain = RandomBytes(1000, 3);
  WriteBytes(testing::Extended(source), plain);
  bf_.sFileEncrypt(source, cipher);
  bf_.sFileDecrypt(cipher, cipher);
  EXPECT_EQ(ReadBytes(testing::Extended(cipher)), plain);
  EXPECT_TRUE(capture_.messages().empty());
  const fs::path missing = folder / "no" / "t";
  bf_.sFileEncrypt(source, missing);
  const std::string expected = kEncLabel + "(53 - File not found: '" + Utf8(missing) + "': ";
  const std::vector<std::string> messages = capture_.Take();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].substr(0, expected.size()), expected);
}

}  // namespace
}  // namespace tolvane
