#include "tolvane/platform/file_system.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/file_system_testing.h"
#include "tests/support/message_capture_testing.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/platform/file_system_calls_posix.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::ReadBytes;
using testing::ScopedFileSystemCalls;
using testing::TempFolder;
using testing::WriteBytes;

// Makes one chosen step fail through the call table.
enum class Step {
  kNone,
  kOpen,  // opening the source
  kCreate,
  kCreateUnnamed,  // only the unnamed temporary file: no named one may stand in for it
  kWrite,
  kFchmod,
  kFsync,
  kClose,
  kRename,
  kFolderSync,
  kRead,
  kLink,  // naming the unnamed temporary file
  kWriteback,
  kSignalBeforeRename,  // a handler runs DiscardPendingTemporaryFiles, then the rename comes
  kFchown,              // giving the new content the replaced file's group
  kSetAcl,              // giving it the replaced file's access ACL
};

struct Fault {
  Step step = Step::kNone;
  int error = EIO;
  std::size_t write_budget = 0;  // bytes written before the failing write
  int temp_fd = -1;
  mode_t temp_mode = 0;  // as created, seen from the first write
  bool named = false;    // the file system refuses unnamed files (O_TMPFILE)
};
Fault g_fault;
std::vector<std::pair<off_t, off_t>> g_writeback;  // the ranges asked for, failed or not

int FaultyOpen(const char* path, int flags, mode_t mode) {
  const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
  if (unnamed && g_fault.named) return errno = EOPNOTSUPP, -1;
  if (unnamed && g_fault.step == Step::kCreateUnnamed) return errno = g_fault.error, -1;
  const bool create = (flags & O_CREAT) || unnamed;
  if (create && g_fault.step == Step::kCreate) return errno = g_fault.error, -1;
  if (!(flags & (O_CREAT | O_DIRECTORY)) && g_fault.step == Step::kOpen) {
    return errno = g_fault.error, -1;
  }
  const int fd = DefaultFileSystemCalls().open(path, flags, mode);
  if (create) g_fault.temp_fd = fd;
  return fd;
}
int FaultyLinkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  if (g_fault.step == Step::kLink) return errno = g_fault.error, -1;
  return DefaultFileSystemCalls().linkat(from_dir, from, to_dir, to, flags);
}
ssize_t FaultyWrite(int fd, const void* buffer, std::size_t size) {
  struct stat info {};
  if (g_fault.temp_mode == 0 && fstat(fd, &info) == 0) g_fault.temp_mode = info.st_mode & 07777;
  if (g_fault.step != Step::kWrite) return DefaultFileSystemCalls().write(fd, buffer, size);
  if (g_fault.write_budget == 0) return errno = g_fault.error, -1;
  const std::size_t n = std::min(size, g_fault.write_budget);
  g_fault.write_budget -= n;
  return DefaultFileSystemCalls().write(fd, buffer, n);
}
int FaultyFchmod(int fd, mode_t mode) {
  if (g_fault.step == Step::kFchmod) return errno = g_fault.error, -1;
  return DefaultFileSystemCalls().fchmod(fd, mode);
}
int FaultyFsync(int fd) {
  const bool temp = fd == g_fault.temp_fd;
  if ((temp && g_fault.step == Step::kFsync) || (!temp && g_fault.step == Step::kFolderSync)) {
    return errno = g_fault.error, -1;
  }
  return DefaultFileSystemCalls().fsync(fd);
}
int FaultyClose(int fd) {
  const int result = DefaultFileSystemCalls().close(fd);  // the descriptor is gone either way
  if (fd != g_fault.temp_fd) return result;
  g_fault.temp_fd = -1;  // the number may be reused, e.g. for the folder
  if (g_fault.step == Step::kClose) return errno = g_fault.error, -1;
  return result;
}
int FaultyRename(const char* from, const char* to) {
  if (g_fault.step == Step::kRename) return errno = g_fault.error, -1;
  if (g_fault.step == Step::kSignalBeforeRename) DiscardPendingTemporaryFiles();
  return DefaultFileSystemCalls().rename(from, to);
}
int FaultyWriteback(int fd, off_t offset, off_t length) {
  g_writeback.emplace_back(offset, length);
  if (g_fault.step == Step::kWriteback) return errno = g_fault.error, -1;
  return DefaultFileSystemCalls().start_writeback(fd, offset, length);
}
int FaultyFchown(int fd, uid_t owner, gid_t group) {
  if (g_fault.step == Step::kFchown) return errno = g_fault.error, -1;
  return DefaultFileSystemCalls().fchown(fd, owner, group);
}
int FaultyFsetxattr(int fd, const char* name, const void* value, std::size_t size, int flags) {
  if (g_fault.step == Step::kSetAcl) return errno = g_fault.error, -1;
  return DefaultFileSystemCalls().fsetxattr(fd, name, value, size, flags);
}
ssize_t FaultyRead(int fd, void* buffer, std::size_t size) {
  if (g_fault.step == Step::kRead) return errno = g_fault.error, -1;
  return DefaultFileSystemCalls().read(fd, buffer, size);
}
ssize_t FaultyPread(int fd, void* buffer, std::size_t size, off_t offset) {
  if (g_fault.step == Step::kRead) return errno = g_fault.error, -1;
  return DefaultFileSystemCalls().pread(fd, buffer, size, offset);
}

class FaultTest : public ::testing::Test {
 protected:
  FaultTest() : calls_(FaultyCalls()) { g_fault = Fault{}; }
  static FileSystemCalls FaultyCalls() {
    FileSystemCalls calls = DefaultFileSystemCalls();
    calls.open = FaultyOpen;
    calls.write = FaultyWrite;
    calls.fchmod = FaultyFchmod;
    calls.fsync = FaultyFsync;
    calls.close = FaultyClose;
    calls.rename = FaultyRename;
    calls.read = FaultyRead;
    calls.pread = FaultyPread;
    calls.linkat = FaultyLinkat;
    calls.start_writeback = FaultyWriteback;
    calls.fchown = FaultyFchown;
    calls.fsetxattr = FaultyFsetxattr;
    return calls;
  }
  // Writes `content` over `target` in two parts, as the file methods do.
  static void Replace(const std::filesystem::path& target, const Bytes& content,
                      NewFileAccess access = NewFileAccess::kAsReplaced) {
    AtomicFileWriter writer(target, nullptr, access);
    writer.Write({content.data(), 4});
    writer.Write({content.data() + 4, content.size() - 4});
    writer.Commit();
  }

  ScopedFileSystemCalls calls_;
  TempFolder dir_;
};

TEST_F(FaultTest, AnyFailingStepKeepsTheTargetAndRemovesTheTemporaryFile) {
  const Bytes old_content(1000, 0x11);
  const Bytes new_content(3 << 20, 0x22);
  const std::string target = (dir_ / "t").string();
  const struct {
    Step step;
    int error;
    std::size_t write_budget;
    std::string message;
  } cases[] = {
      {Step::kCreate, EACCES, 0, "Permission denied: '" + target + "': Permission denied"},
      {Step::kCreateUnnamed, ENOSPC, 0, "Disk full: '" + target + "': No space left on device"},
      {Step::kWrite, ENOSPC, 1 << 20, "Disk full: '" + target + "': No space left on device"},
      {Step::kWrite, EIO, 0, "Path/File access error: '" + target + "': Input/output error"},
      {Step::kFchmod, EIO, 0, "Path/File access error: '" + target + "': Input/output error"},
      {Step::kFsync, EIO, 0, "Path/File access error: '" + target + "': Input/output error"},
      {Step::kClose, EDQUOT, 0, "Disk full: '" + target + "': Disk quota exceeded"},
      {Step::kRename, EXDEV, 0,
       "Path/File access error: '" + target + "': Invalid cross-device link"},
      {Step::kLink, EMLINK, 0, "Path/File access error: '" + target + "': Too many links"},
  };
  for (const bool named : {false, true}) {
    for (const auto& c : cases) {
      // A named file is never linked, and comes where no unnamed one can be made.
      if (named && (c.step == Step::kLink || c.step == Step::kCreateUnnamed)) continue;
      SCOPED_TRACE(::testing::Message()
                   << "step " << static_cast<int>(c.step) << ", named " << named);
      WriteBytes(dir_ / "t", old_content);
      g_fault =
          Fault{.step = c.step, .error = c.error, .write_budget = c.write_budget, .named = named};
      try {
        Replace(dir_ / "t", new_content);
        ADD_FAILURE() << "no failure";
      } catch (const Error& e) {
        EXPECT_EQ(e.description(), c.message);
      }
      EXPECT_EQ(ReadBytes(dir_ / "t"), old_content);
      EXPECT_EQ(dir_.Names(), std::set<std::string>{"t"});
    }
  }
}

TEST_F(FaultTest, TemporaryFileIsOwnerOnlyAndTheTargetGetsItsModeAtTheEnd) {
  WriteBytes(dir_ / "t", {1});
  ASSERT_EQ(chmod((dir_ / "t").c_str(), 0644), 0);
  Replace(dir_ / "t", Bytes(20, 2));
  EXPECT_EQ(g_fault.temp_mode, 0600u);
  struct stat info {};
  ASSERT_EQ(stat((dir_ / "t").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);

  // Where permissions cannot be set, the owner-only mode stays and the write succeeds.
  g_fault = Fault{.step = Step::kFchmod, .error = EPERM};
  Replace(dir_ / "t", Bytes(20, 3));
  EXPECT_EQ(ReadBytes(dir_ / "t"), Bytes(20, 3));
}

// The access ACL in the kernel's form: version 2, then (tag, permissions, id) entries.
std::string AccessAclBytes(std::initializer_list<std::array<std::uint32_t, 3>> entries) {
  std::string acl;
  const auto put = [&acl](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) acl.push_back(static_cast<char>(value >> (8 * i)));
  };
  put(2, 4);
  for (const auto& [tag, perm, id] : entries) put(tag, 2), put(perm, 2), put(id, 4);
  return acl;
}

std::string AccessAclOf(const std::filesystem::path& path) {
  char acl[256];
  const ssize_t n = getxattr(path.c_str(), "system.posix_acl_access", acl, sizeof acl);
  return n > 0 ? std::string(acl, static_cast<std::size_t>(n)) : std::string();
}

// What the replaced file granted, the new content grants, and never more: its mode, on the
// named path too; its group bits cleared where its group cannot be kept; its access ACL (one
// other user may read, the group nothing), and where that cannot be set, the group nothing.
TEST_F(FaultTest, ReplacedTargetsGrantWhatTheyGrantedAndNeverMore) {
  constexpr std::uint32_t kNoId = 0xFFFFFFFF;
  const std::string acl = AccessAclBytes(
      {{0x01, 6, kNoId}, {0x02, 4, 65534}, {0x04, 0, kNoId}, {0x10, 4, kNoId}, {0x20, 0, kNoId}});
  const struct {
    const char* what;
    mode_t before;     // 0: a new file, made under the umask 002
    bool other_group;  // the target's group is one the new file does not get by itself
    bool with_acl;
    Fault fault;
    mode_t after;
    bool acl_after;
    NewFileAccess access = NewFileAccess::kAsReplaced;
  } cases[] = {
      {"new", 0, false, false, {}, 0664, false},
      {"new, named temporary file", 0, false, false, {.named = true}, 0664, false},
      {"mode", 0664, false, false, {}, 0664, false},
      // Writable by its group, not by its owner: not read-only (root may write it).
      {"group-writable only", 0464, false, false, {}, 0464, false},
      {"mode, named temporary file", 0604, false, false, {.named = true}, 0604, false},
      {"group kept", 0664, true, false, {}, 0664, false},
      {"group not kept", 0664, true, false, {.step = Step::kFchown, .error = EPERM}, 0604, false},
      {"ACL", 0640, false, true, {}, 0640, true},
      {"ACL not set", 0640, false, true, {.step = Step::kSetAcl, .error = EOPNOTSUPP}, 0600, false},
      // Private output takes nothing of the file it replaces: neither its mode nor its ACL.
      {"ACL, owner only", 0640, false, true, {}, 0600, false, NewFileAccess::kOwnerOnly},
  };
  const fs::path target = dir_ / "t";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if ((c.before & 0200) == 0 && c.before != 0 && geteuid() != 0) continue;
    fs::remove(target);
    if (c.before != 0) {
      WriteBytes(target, {1});
      ASSERT_EQ(chmod(target.c_str(), c.before), 0);
    }
    if (c.other_group && chown(target.c_str(), static_cast<uid_t>(-1), testing::OtherGroup()) != 0)
      continue;
    if (c.with_acl &&
        setxattr(target.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
      continue;  // the file system has no ACLs
    }
    const std::string acl_before = AccessAclOf(target);
    struct stat before {};
    if (c.before != 0) {
      ASSERT_EQ(stat(target.c_str(), &before), 0);
    }
    g_fault = c.fault;
    const mode_t mask = umask(002);
    Replace(target, Bytes(20, 4), c.access);
    umask(mask);
    EXPECT_EQ(g_fault.temp_mode, 0600u) << "while it was written";
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.after);
    if (c.before != 0 && c.fault.step != Step::kFchown) {
      EXPECT_EQ(info.st_gid, before.st_gid);
    }
    EXPECT_EQ(AccessAclOf(target), c.acl_after ? acl_before : std::string());
  }
}

TEST_F(FaultTest, FolderThatCannotBeFlushedIsReportedAfterTheReplace) {
  WriteBytes(dir_ / "t", {1});
  g_fault = Fault{.step = Step::kFolderSync, .error = EIO};
  EXPECT_THROW(Replace(dir_ / "t", Bytes(20, 4)), Error);
  EXPECT_EQ(ReadBytes(dir_ / "t"), Bytes(20, 4));
  // A file system that cannot flush folders at all is no failure.
  g_fault = Fault{.step = Step::kFolderSync, .error = EINVAL};
  Replace(dir_ / "t", Bytes(20, 5));
  EXPECT_EQ(dir_.Names(), std::set<std::string>{"t"});
}

// A large file is handed to the disk in order while it is written, so that the final flush
// has little left to wait for; a file system that refuses that hint still gets the file.
TEST_F(FaultTest, WritebackStartsEarlyInOrderAndIsOnlyAHint) {
  const Bytes content((20 << 20) + 3, 0x33);
  for (const int error : {0, ENOSYS}) {
    g_fault = Fault{.step = error != 0 ? Step::kWriteback : Step::kNone, .error = error};
    g_writeback.clear();
    AtomicFileWriter writer(dir_ / "t");
    for (std::size_t at = 0; at < content.size(); at += 1 << 20) {
      writer.Write({content.data() + at, std::min<std::size_t>(1 << 20, content.size() - at)});
    }
    writer.Commit();
    EXPECT_EQ(ReadBytes(dir_ / "t"), content);
    const decltype(g_writeback) in_order = {{0, 8 << 20}, {8 << 20, 8 << 20}};
    EXPECT_EQ(g_writeback, in_order);
  }
}

TEST_F(FaultTest, ReadFailuresAndShrinkingFilesAreReported) {
  WriteBytes(dir_ / "s", Bytes(100, 7));
  {
    g_fault = Fault{.step = Step::kRead, .error = EIO};
    InputFile in(dir_ / "s");
    Bytes buffer(100);
    EXPECT_THROW(in.ReadExactly(buffer), Error);
  }
  g_fault = Fault{};
  InputFile in(dir_ / "s");
  ASSERT_EQ(in.size(), 100u);
  ASSERT_EQ(truncate((dir_ / "s").c_str(), 50), 0);
  Bytes buffer(100);
  try {
    in.ReadExactly(buffer);
    ADD_FAILURE() << "a short file went unnoticed";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 75);
  }
}

// What a signal handler calls before it ends the process: the named temporary files of the
// writers still open are gone; committed targets and every other file stay.
TEST_F(FaultTest, DiscardPendingTemporaryFilesRemovesOnlyTheFilesOfOpenWriters) {
  g_fault.named = true;  // unnamed files have nothing to remove
  const TempFolder& dir = dir_;
  WriteBytes(dir / "old", {1});
  {
    AtomicFileWriter done(dir / "done");
    done.Write(Bytes{2});
    done.Commit();
    AtomicFileWriter open_new(dir / "new");
    AtomicFileWriter open_old(dir / "old");
    ASSERT_EQ(dir.Names().size(), 4u);
    DiscardPendingTemporaryFiles();
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"done", "old"}));
  }
  // Writers free their places in the table whether they commit or not: a name a discarded
  // writer had, taken by a file of someone else's since, is not removed.
  std::string given_back;
  for (int i = 0; i < 200; ++i) {
    AtomicFileWriter writer(dir / "done");
    if (i % 2 == 0) writer.Commit();
    given_back = writer.temporary_path().filename().string();
  }
  WriteBytes(dir / given_back, {5});
  AtomicFileWriter open_new(dir / "new");
  DiscardPendingTemporaryFiles();
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"done", "old", given_back}));
  fs::remove(dir / given_back);

  // A signal between naming the finished file and renaming it removes that name too, on both
  // paths: the target keeps its old content and nothing is left.
  for (const bool named : {false, true}) {
    g_fault = Fault{.step = Step::kSignalBeforeRename, .named = named};
    EXPECT_THROW(Replace(dir / "old", Bytes(8, 3)), Error);
    EXPECT_EQ(ReadBytes(dir / "old"), Bytes{1});
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"done", "old"})) << "named " << named;
  }
}

// Both file methods, in place and onto an earlier target, failing at each step up to the
// rename: the source and the earlier target stay byte for byte, no temporary file is left,
// and the failure is shown exactly once, under the method's label, with the errno's number.
TEST_F(FaultTest, FileMethodsFailingAtAnyStepKeepEveryFileAndReportOnce) {
  Blowfish bf;
  bf.sInitBF({1, 2, 3});
  // More than one of the chunks the methods stream through.
  Bytes plain((3 << 19) + 5);
  for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i * 7);
  WriteBytes(dir_ / "plain", plain);
  bf.sFileEncrypt(dir_ / "plain", dir_ / "cipher");
  const Bytes cipher = ReadBytes(dir_ / "cipher");
  const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

  const struct {
    Step step;
    int error;
    std::size_t write_budget;
    int number;
  } cases[] = {
      {Step::kOpen, EACCES, 0, kErrPermissionDenied}, {Step::kRead, EIO, 0, kErrPathAccess},
      {Step::kCreate, ENOSPC, 0, kErrDiskFull},       {Step::kWrite, EIO, 0, kErrPathAccess},
      {Step::kWrite, ENOSPC, 2000, kErrDiskFull},     {Step::kFsync, EIO, 0, kErrPathAccess},
      {Step::kClose, EDQUOT, 0, kErrDiskFull},        {Step::kRename, EXDEV, 0, kErrPathAccess},
      {Step::kLink, EMLINK, 0, kErrPathAccess},
  };
  // With threads, a write failing half-way fails while the workers transform the next chunk.
  for (const auto& [decrypt, threads] :
       {std::pair{false, 1u}, {true, 1u}, {false, 2u}, {true, 2u}}) {
    const std::string label = decrypt ? "Blowfish, sFileDecrypt(" : "Blowfish, sFileEncrypt(";
    const Bytes& source = decrypt ? cipher : plain;
    bf.SetThreads(threads);
    for (const bool in_place : {false, true}) {
      for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << label << threads << " threads"
                     << (in_place ? ", in place, step " : ", step ") << static_cast<int>(c.step)
                     << ", budget " << c.write_budget);
        for (const auto& name : dir_.Names()) std::filesystem::remove(dir_ / name);
        WriteBytes(dir_ / "s", source);
        const auto target = in_place ? dir_ / "s" : dir_ / "t";
        if (!in_place) WriteBytes(target, earlier);
        testing::MessageCapture capture;
        g_fault = Fault{.step = c.step, .error = c.error, .write_budget = c.write_budget};
        decrypt ? bf.sFileDecrypt(dir_ / "s", target) : bf.sFileEncrypt(dir_ / "s", target);
        g_fault = Fault{};

        const std::vector<std::string> messages = capture.Take();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].rfind(label + std::to_string(c.number) + " - ", 0), 0u)
            << messages[0];
        EXPECT_EQ(ReadBytes(dir_ / "s"), source);
        if (!in_place) {
          EXPECT_EQ(ReadBytes(target), earlier);
        }
        const std::set<std::string> names =
            in_place ? std::set<std::string>{"s"} : std::set<std::string>{"s", "t"};
        EXPECT_EQ(dir_.Names(), names);
      }
    }
    // And without a fault, the same bytes as on one thread.
    const auto target = dir_ / "t";
    decrypt ? bf.sFileDecrypt(dir_ / "s", target) : bf.sFileEncrypt(dir_ / "s", target);
    EXPECT_EQ(ReadBytes(target), decrypt ? plain : cipher);
  }
}

}  // namespace
}  // namespace tolvane
