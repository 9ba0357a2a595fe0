// The file methods' behaviour that only POSIX systems show: errno texts, file size limits,
// permission bits, owners, symbolic links and killed processes.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/blowfish_file_testing.h"
#include "tolvane/errors/report.h"

namespace tolvane {
namespace {

using namespace file_testing;  // NOLINT(google-build-using-namespace): the shared fixture

TEST_F(BlowfishFileTest, TargetsThatCannotBeWrittenAreReportedWithPathAndReason) {
  WriteBytes(dir_ / "p", RandomBytes(10, 8));
  fs::create_directory(dir_ / "folder");
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  const struct {
    fs::path target;
    std::string message;
  } cases[] = {
      {dir_ / "fifo",
       "(75 - Path/File access error: '" + (dir_ / "fifo").string() + "': not a regular file)"},
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
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"p", "folder", "fifo"}));
  EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));
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

// A target of the process's own user keeps its mode; a new one, and one that belongs to
// another user (root writing into a file someone else made), get 0666 less the umask and the
// process as owner, so the other user cannot read what is written.
TEST_F(BlowfishFileTest, PermissionsOfNewAndReplacedTargets) {
  WriteBytes(dir_ / "p", RandomBytes(10, 11));
  const bool root = geteuid() == 0;
  const struct {
    const char* target;
    mode_t before;  // 0: no such file yet
    uid_t owner;
    mode_t after;
  } cases[] = {
      {"new", 0, 0, 0640},
      {"own", 0604, geteuid(), 0604},
      {"own-setuid", 04755, geteuid(), 0755},
      {"own-setgid", 02750, geteuid(), 0750},
      {"other", 0666, testing::OtherUser(), 0640},
  };
  const mode_t old_mask = umask(027);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    const fs::path target = dir_ / c.target;
    if (c.before != 0) {
      if (c.owner != geteuid() && !root) continue;  // only root can make such a file
      WriteBytes(target, {1});
      ASSERT_EQ(chown(target.c_str(), c.owner, static_cast<gid_t>(-1)), 0);
      ASSERT_EQ(chmod(target.c_str(), c.before), 0);
    }
    bf_.sFileEncrypt(dir_ / "p", target);
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.after);
    EXPECT_EQ(info.st_uid, geteuid());
    EXPECT_EQ(ReadBytes(target).size(), 20u);
  }
  umask(old_mask);
  EXPECT_TRUE(capture_.messages().empty());
}

// A target with no write bit is refused, even to root, and so is one the process may not
// write; in place too. Nothing changes and no file is added.
TEST_F(BlowfishFileTest, ReadOnlyTargetsAreRefused) {
  const Bytes plain = RandomBytes(10, 13);
  const struct {
    const char* target;
    mode_t mode;
    bool as_nobody;  // run by user 65534, the file owned by root (only where root can do that)
  } cases[] = {{"t", 0444, false}, {"t", 0555, false}, {"p", 0400, false}, {"t", 0644, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.target << " " << std::oct << c.mode);
    if (c.as_nobody && geteuid() != 0) continue;
    WriteBytes(dir_ / "p", plain);
    WriteBytes(dir_ / "t", {'o', 'l', 'd'});
    ASSERT_EQ(chmod((dir_ / c.target).c_str(), c.mode), 0);
    const fs::path target = dir_ / c.target;
    if (c.as_nobody) {
      ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);  // the folder itself may be written
      EXPECT_EXIT(
          {
            SetMessageBoxHandler({});  // the built-in box writes to standard error
            if (setgid(65534) != 0 || setuid(65534) != 0) std::_Exit(3);
            bf_.sFileEncrypt(dir_ / "p", target);
            std::_Exit(0);
          },
          ::testing::ExitedWithCode(0),
          "\\(75 - Path/File access error: '.*/t': Permission denied\\)");
    } else {
      bf_.sFileEncrypt(dir_ / "p", target);
      EXPECT_EQ(capture_.Take(),
                std::vector<std::string>{kEncLabel + "(75 - Path/File access error: '" +
                                         target.string() + "': the file is read-only)"});
    }
    EXPECT_EQ(ReadBytes(dir_ / "p"), plain);
    EXPECT_EQ(ReadBytes(dir_ / "t"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(dir_.Names(), (std::set<std::string>{"p", "t"}));
    ASSERT_EQ(chmod((dir_ / c.target).c_str(), 0644), 0);
  }
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

// In place through a symbolic link (or a chain of them, relative or absolute), the file the
// link names is replaced and the link stays: no plaintext copy remains anywhere.
TEST_F(BlowfishFileTest, InPlaceThroughALinkReplacesTheFileItNames) {
  const Bytes plain = RandomBytes(10, 14);
  const struct {
    const char* source;
    const char* target;
  } cases[] = {{"link", "link"}, {"real", "link"}, {"chain", "chain"}, {"link", "real"}};
  fs::create_directory(dir_ / "sub");
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.source << " " << c.target);
    WriteBytes(dir_ / "sub" / "real", plain);
    fs::remove(dir_ / "link");
    fs::remove(dir_ / "chain");
    fs::create_symlink("sub/real", dir_ / "link");
    fs::create_symlink(dir_ / "link", dir_ / "chain");
    const fs::path source =
        std::string(c.source) == "real" ? dir_ / "sub" / "real" : dir_ / c.source;
    const fs::path target =
        std::string(c.target) == "real" ? dir_ / "sub" / "real" : dir_ / c.target;
    bf_.sFileEncrypt(source, target);
    EXPECT_EQ(ReadBytes(dir_ / "sub" / "real"), Concat(LengthHeader(10), CipherOf(bf_, plain)));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "chain"));
    bf_.sFileDecrypt(target, source);
    EXPECT_EQ(ReadBytes(dir_ / "sub" / "real"), plain);
    EXPECT_EQ(dir_.Names(), (std::set<std::string>{"sub", "link", "chain"}));
    EXPECT_EQ(fs::directory_iterator(dir_ / "sub")->path().filename(), "real");
  }
  EXPECT_TRUE(capture_.messages().empty());
}

// A process killed outright half-way through writing a large target leaves the earlier
// target whole and no other file: the temporary file has no name until it is complete.
TEST_F(BlowfishFileTest, KilledHalfWayLeavesTheEarlierTargetAndNothingElse) {
  WriteBytes(dir_ / "p", {});
  fs::resize_file(dir_ / "p", 200u << 20);  // sparse: quick to make, read as zeros
  const Bytes earlier = RandomBytes(100, 15);
  WriteBytes(dir_ / "t", earlier);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bf_.SetProgressCallback([](std::uint64_t done, std::uint64_t total) {
      if (done >= total / 2) kill(getpid(), SIGKILL);
    });
    bf_.sFileEncrypt(dir_ / "p", dir_ / "t");
    std::_Exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  EXPECT_EQ(ReadBytes(dir_ / "t"), earlier);
  EXPECT_EQ(dir_.Names(), (std::set<std::string>{"p", "t"}));
}

}  // namespace
}  // namespace tolvane
