// The file methods' behaviour that only POSIX systems show: errno texts, file size limits,
// permission bits and symbolic links.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tolvane/cipher/blowfish_file_testing.h"

namespace tolvane {
namespace {

using namespace file_testing;  // NOLINT(google-build-using-namespace): the shared fixture

TEST_F(BlowfishFileTest, TargetsThatCannotBeWrittenAreReportedWithPathAndReason) {
  WriteBytes(dir_ / "p", RandomBytes(10, 8));
  fs::create_directory(dir_ / "folder");
  const struct {
    fs::path target;
    std::string message;
  } cases[] = {
      {dir_ / "no" / "t",
       "(53 - File not found: '" + (dir_ / "no" / "t").string() + "': No such file or directory)"},
      {dir_ / "p" / "t",
       "(75 - Path/File access error: '" + (dir_ / "p" / "t").string() + "': Not a directory)"},
      {dir_ / "folder",
       "(75 - Path/File access error: '" + (dir_ / "folder").string() + "': Is a directory)"},
  };
  for (const auto& c : cases) {
    bf_.sFileEncrypt(dir_ / "p", c.target);
    EXPECT_EQ(capture_.Take(), std::vector<std::string>{kEncLabel + c.message});
  }
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"p", "folder"}));
  EXPECT_TRUE(fs::is_empty(dir_ / "folder"));
}

TEST_F(BlowfishFileTest, WriteFailingHalfWayKeepsTheOldTargetAndLeavesNoTemporaryFile) {
  WriteBytes(dir_ / "p", RandomBytes(1 << 20, 9));
  const Bytes old_target = RandomBytes(200000, 10);
  WriteBytes(dir_ / "t", old_target);
  // The child may not write files beyond 64 KiB; the write fails with EFBIG part of the way.
  const auto child = [&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 << 10, 64 << 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    SetMessageBoxHandler({});  // the built-in box writes to standard error
    bf_.sFileEncrypt(dir_ / "p", dir_ / "t");
    std::_Exit(0);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0),
              "Blowfish, sFileEncrypt\\(61 - Disk full: '.*': File too large\\)");
  EXPECT_EQ(ReadBytes(dir_ / "t"), old_target);
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"p", "t"}));
}

TEST_F(BlowfishFileTest, PermissionsOfNewAndReplacedTargets) {
  WriteBytes(dir_ / "p", RandomBytes(10, 11));
  const mode_t old_mask = umask(027);
  bf_.sFileEncrypt(dir_ / "p", dir_ / "new");
  ASSERT_EQ(chmod((dir_ / "p").c_str(), 0604), 0);
  bf_.sFileEncrypt(dir_ / "p", dir_ / "p");
  umask(old_mask);
  const auto mode = [](const fs::path& p) {
    struct stat info {};
    stat(p.c_str(), &info);
    return info.st_mode & 07777;
  };
  EXPECT_EQ(mode(dir_ / "new"), 0640u);
  EXPECT_EQ(mode(dir_ / "p"), 0604u);
  EXPECT_TRUE(capture_.messages().empty());
}

TEST_F(BlowfishFileTest, OnlyTheNamedTargetIsReplacedNeverWhatALinkPointsTo) {
  WriteBytes(dir_ / "p", RandomBytes(10, 12));
  for (const char* name : {"a*.txt", "a?.txt", "ab.txt", "elsewhere"}) {
    WriteBytes(dir_ / name, {1});
  }
  fs::create_symlink(dir_ / "elsewhere", dir_ / "link");
  bf_.sFileEncrypt(dir_ / "p", dir_ / "a*.txt");
  bf_.sFileEncrypt(dir_ / "p", dir_ / "link");
  EXPECT_EQ(ReadBytes(dir_ / "a*.txt").size(), 20u);
  EXPECT_FALSE(fs::is_symlink(dir_ / "link"));
  EXPECT_EQ(ReadBytes(dir_ / "link").size(), 20u);
  for (const char* name : {"a?.txt", "ab.txt", "elsewhere"}) {
    EXPECT_EQ(ReadBytes(dir_ / name), Bytes{1}) << name;
  }
  EXPECT_TRUE(capture_.messages().empty());
}

}  // namespace
}  // namespace tolvane
