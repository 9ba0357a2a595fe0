#include "tolvane/support/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_system_testing.h"
#include "tolvane/base/error.h"
#include "tolvane/support/settings_file.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Sets an environment variable for the scope, restoring the earlier value afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Every test gets its own configuration folder; the user's own is never touched.
class SettingsStore : public ::testing::Test {
 protected:
  SettingsStore()
      : root_(MakeTempFolder()), config_("XDG_CONFIG_HOME", (root_ / "config").c_str()) {}
  ~SettingsStore() override { fs::remove_all(root_); }

  static fs::path MakeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tolvane-settings-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }

  fs::path StorePath() const { return root_ / "config/Brennix/Tolvane/settings.sqlite3"; }

  // The rows as the sqlite3 shell would show them: key|name|type|typeof(data).
  std::vector<std::string> Rows() const {
    sqlite3* db = nullptr;
    std::vector<std::string> rows;
    EXPECT_EQ(sqlite3_open_v2(StorePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_exec(
        db,
        "SELECT key_path || '|' || value_name || '|' || value_type || '|' || typeof(value_data)"
        " FROM reg_values ORDER BY value_name",
        [](void* out, int, char** values, char**) {
          static_cast<std::vector<std::string>*>(out)->push_back(values[0]);
          return 0;
        },
        &rows, nullptr);
    sqlite3_close(db);
    return rows;
  }

  fs::path root_;
  ScopedEnv config_;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::int32_t ErrorNumber(const std::function<void()>& call, std::string* description = nullptr) {
  try {
    call();
  } catch (const Error& e) {
    if (description != nullptr) *description = e.description();
    return e.number();
  }
  return 0;
}

TEST_F(SettingsStore, ValuesRoundTripExactly) {
  const struct {
    std::string name;
    RegValue value;
  } cases[] = {
      {"Greeting", std::string("Grüße, ✓ 日本")},
      {"", std::string("the key's default value")},
      {"Empty text", std::string()},
      {"With NUL", std::string("a\0b", 3)},
      {"Key", Bytes{0, 1, 0, 255, 0}},
      {"Empty binary", Bytes{}},
      {"Back\\slash ü", Bytes{42}},
      {"A\\B\\C", std::string("deep")},
  };
  EXPECT_EQ(ReadRegValue("Greeting"), std::nullopt);
  for (const auto& c : cases) WriteRegValue(c.name, c.value);
  for (const auto& c : cases) EXPECT_EQ(ReadRegValue(c.name), c.value) << c.name;
  EXPECT_EQ(ReadRegValue("Missing"), std::nullopt);

  const std::string key(kRegistryKey);
  EXPECT_EQ(Rows(), (std::vector<std::string>{
                        key + "||text|text",
                        key + "|Back\\slash ü|binary|blob",
                        key + "A\\B\\|C|text|text",
                        key + "|Empty binary|binary|blob",
                        key + "|Empty text|text|text",
                        key + "|Greeting|text|text",
                        key + "|Key|binary|blob",
                        key + "|With NUL|text|text",
                    }));

  std::vector<std::string> listed;
  for (const RegValueInfo& v : ListRegValues()) listed.push_back(v.name + (v.binary ? "|b" : "|t"));
  EXPECT_EQ(listed,
            (std::vector<std::string>{"|t", "A\\B\\C|t", "Back\\slash ü|b", "Empty binary|b",
                                      "Empty text|t", "Greeting|t", "Key|b", "With NUL|t"}));
  EXPECT_TRUE(DeleteRegValue("Key"));
  EXPECT_FALSE(DeleteRegValue("Key"));
  EXPECT_TRUE(DeleteRegValue(""));
  EXPECT_EQ(ReadRegValue("Key"), std::nullopt);
  EXPECT_EQ(ReadRegValue("Greeting"), RegValue(std::string("Grüße, ✓ 日本")));
  EXPECT_EQ(Rows().size(), 6u);
}

TEST_F(SettingsStore, OlderFlatTextIsReadUntilTheNameIsWritten) {
  // Earlier versions kept every text value flat, backslashes and all. Another program may also
  // have left both a flat and a subkey value of one name: the subkey's is read first.
  WriteRegValue("seed", std::string());
  const std::string key(kRegistryKey);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(StorePath().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         ("INSERT INTO reg_values VALUES ('" + key +
                          "', 'Old\\Name', 'text', 'old'),"
                          " ('" +
                          key +
                          "', 'Both\\Name', 'text', 'flat'),"
                          " ('" +
                          key + "Both\\', 'Name', 'text', 'subkey')")
                             .c_str(),
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  EXPECT_EQ(ReadRegValue("old\\name"), RegValue(std::string("old")));
  EXPECT_EQ(ReadRegValue("Both\\Name"), RegValue(std::string("subkey")));
  WriteRegValue("Old\\Name", std::string("new"));
  EXPECT_EQ(ReadRegValue("Old\\Name"), RegValue(std::string("new")));
  EXPECT_TRUE(DeleteRegValue("Both\\Name"));
  EXPECT_EQ(ReadRegValue("Both\\Name"), std::nullopt);
  EXPECT_EQ(Rows(),
            (std::vector<std::string>{key + "Old\\|Name|text|text", key + "|seed|text|text"}));
}

TEST_F(SettingsStore, WritingAgainReplacesValueAndType) {
  WriteRegValue("Value", std::string("text"));
  WriteRegValue("Value", Bytes{1, 2, 3});
  EXPECT_EQ(ReadRegValue("Value"), RegValue(Bytes{1, 2, 3}));
  WriteRegValue("Value", std::string("again"));
  EXPECT_EQ(ReadRegValue("Value"), RegValue(std::string("again")));
  EXPECT_EQ(Rows().size(), 1u);

  // Values may be key material: what is replaced or deleted is overwritten in the file, not
  // merely unlinked from its pages.
  WriteRegValue("Secret", std::string("first-secret-7f3a"));
  WriteRegValue("Secret", std::string("second-secret-9b1c"));
  EXPECT_TRUE(DeleteRegValue("Secret"));
  const std::string file = ReadFile(StorePath());
  for (const char* gone : {"first-secret-7f3a", "second-secret-9b1c"}) {
    EXPECT_EQ(file.find(gone), std::string::npos) << gone;
  }
}

TEST_F(SettingsStore, ReadingCreatesNothing) {
  EXPECT_EQ(ReadRegValue("Anything"), std::nullopt);
  EXPECT_TRUE(ListRegValues().empty());
  EXPECT_FALSE(DeleteRegValue("Anything"));
  EXPECT_FALSE(fs::exists(root_ / "config"));
}

TEST_F(SettingsStore, FolderAndFileAreOwnerOnly) {
  const mode_t old_mask = umask(0);  // the store must not rely on the caller's umask
  WriteRegValue("Secret", Bytes{7});
  umask(old_mask);
  const auto mode = [](const fs::path& p) {
    struct stat info {};
    EXPECT_EQ(stat(p.c_str(), &info), 0) << p;
    return info.st_mode & 07777;
  };
  EXPECT_EQ(mode(root_ / "config"), 0700u);
  EXPECT_EQ(mode(root_ / "config/Brennix"), 0700u);
  EXPECT_EQ(mode(root_ / "config/Brennix/Tolvane"), 0700u);
  EXPECT_EQ(mode(StorePath()), 0600u);

  // A file that was opened up by hand is closed again on the next write.
  chmod(StorePath().c_str(), 0644);
  WriteRegValue("Secret", Bytes{8});
  EXPECT_EQ(mode(StorePath()), 0600u);
}

TEST(SettingsFilePath, FollowsXdgRules) {
  const ScopedEnv home("HOME", "/home/someone");
  const struct {
    const char* xdg;
    const char* path;
  } cases[] = {
      {"/cfg", "/cfg/Brennix/Tolvane/settings.sqlite3"},
      {nullptr, "/home/someone/.config/Brennix/Tolvane/settings.sqlite3"},
      {"", "/home/someone/.config/Brennix/Tolvane/settings.sqlite3"},
      {"relative/cfg", "/home/someone/.config/Brennix/Tolvane/settings.sqlite3"},
  };
  for (const auto& c : cases) {
    const ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    EXPECT_EQ(SettingsFilePath(), fs::path(c.path)) << (c.xdg ? c.xdg : "(unset)");
  }
}

TEST_F(SettingsStore, FileThatIsNotADatabaseIsRefusedAndKept) {
  std::string header_then_junk("SQLite format 3", 16);
  header_then_junk += std::string(4096, '\x5A');
  const std::string contents[] = {"hello", std::string(8192, '\xA5'), header_then_junk};
  // Each refused file is closed again: no descriptor (and no connection) is left behind.
  const auto open_files = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  const auto files_before = open_files();
  for (const auto& content : contents) {
    fs::create_directories(StorePath().parent_path());
    std::ofstream(StorePath(), std::ios::binary) << content;
    std::string description;
    EXPECT_EQ(ErrorNumber([] { WriteRegValue("Name", std::string("value")); }, &description),
              kErrBadFileFormat);
    EXPECT_NE(description.find(StorePath().string()), std::string::npos) << description;
    EXPECT_EQ(ErrorNumber([] { ReadRegValue("Name"); }), kErrBadFileFormat);
    EXPECT_EQ(ReadFile(StorePath()), content);
    EXPECT_FALSE(fs::exists(StorePath().string() + "-journal"));
  }
  EXPECT_EQ(open_files(), files_before);
}

// What is not the user's own is refused, and neither it nor what a link points at changes: a
// link as the file (to a readable file, or to nothing), a link as a folder, a pipe, a file or
// folder of another user, another program's database. A store file with no table yet holds nothing.
TEST_F(SettingsStore, WhatIsNotTheUsersOwnStoreIsRefusedAndLeftAlone) {
  const fs::path elsewhere = root_ / "elsewhere";
  const fs::path folder = StorePath().parent_path();
  const struct {
    const char* what;
    void (*make)(const fs::path& store, const fs::path& elsewhere);
    std::int32_t number;  // 0: nothing stored, and no failure
  } cases[] = {
      {"link to a readable file",
       [](const fs::path& store, const fs::path& other) {
         std::ofstream(other) << "keep";
         fs::permissions(other, fs::perms(0644));
         fs::create_symlink(other, store);
       },
       kErrPathAccess},
      {"dangling link",
       [](const fs::path& store, const fs::path& other) { fs::create_symlink(other, store); },
       kErrPathAccess},
      {"linked folder",
       [](const fs::path& store, const fs::path& other) {
         fs::create_directory(other);
         fs::remove(store.parent_path());
         fs::create_directory_symlink(other, store.parent_path());
       },
       kErrPathAccess},
      {"pipe", [](const fs::path& store, const fs::path&) { mkfifo(store.c_str(), 0600); },
       kErrPathAccess},
      {"another user's file",
       [](const fs::path& store, const fs::path&) {
         std::ofstream(store) << "";
         if (chown(store.c_str(), testing::OtherUser(), testing::OtherGroup()) != 0)
           fs::remove_all(store.parent_path().parent_path().parent_path());
       },
       kErrPathAccess},
      // The Brennix folder above the store's own is checked alike.
      {"linked Brennix folder",
       [](const fs::path& store, const fs::path& other) {
         fs::create_directories(other / "Tolvane");
         fs::remove_all(store.parent_path().parent_path());
         fs::create_directory_symlink(other, store.parent_path().parent_path());
       },
       kErrPathAccess},
      {"another user's Brennix folder",
       [](const fs::path& store, const fs::path&) {
         const fs::path brennix = store.parent_path().parent_path();
         if (chown(brennix.c_str(), testing::OtherUser(), testing::OtherGroup()) != 0)
           fs::remove_all(brennix.parent_path());
       },
       kErrPathAccess},
      {"another program's database",
       [](const fs::path& store, const fs::path&) {
         sqlite3* db = nullptr;
         sqlite3_open(store.c_str(), &db);
         sqlite3_exec(db, "CREATE TABLE other (x)", nullptr, nullptr, nullptr);
         sqlite3_close(db);
         fs::permissions(store, fs::perms(0600));
       },
       kErrBadFileFormat},
      {"store with no table yet",
       [](const fs::path& store, const fs::path&) { std::ofstream(store) << ""; }, 0},
  };
  for (const auto& c : cases) {
    fs::remove_all(root_ / "config");
    fs::remove_all(elsewhere);
    fs::create_directories(folder);
    c.make(StorePath(), elsewhere);
    if (!fs::exists(root_ / "config")) continue;  // another user's files need root
    const auto snapshot = [&] {
      std::string state;
      for (const auto& e : fs::recursive_directory_iterator(root_)) {
        state += e.path().string() + " " +
                 std::to_string(static_cast<int>(e.symlink_status().permissions()));
        if (e.is_regular_file())
          state += " " + std::to_string(std::hash<std::string>()(ReadFile(e.path())));
        state += "\n";
      }
      return state;
    };
    const std::string before = snapshot();
    std::string description;
    const std::int32_t read = ErrorNumber([] {
      EXPECT_FALSE(ReadRegValue("Name"));
      EXPECT_TRUE(ListRegValues().empty());
      EXPECT_FALSE(DeleteRegValue("Name"));
    });
    EXPECT_EQ(read, c.number) << c.what;
    if (c.number == 0) continue;
    EXPECT_EQ(ErrorNumber([] { WriteRegValue("Name", std::string("v")); }, &description), c.number)
        << c.what;
    EXPECT_NE(description.find(StorePath().string()), std::string::npos) << description;
    EXPECT_EQ(snapshot(), before) << c.what;
  }
}

TEST_F(SettingsStore, UnusableFolderThrowsAndCreatesNothing) {
  // A file where a folder should be; running as root rules out a permission test.
  std::ofstream(root_ / "config") << "a file";
  std::string description;
  EXPECT_EQ(ErrorNumber([] { WriteRegValue("Name", std::string("v")); }, &description),
            kErrPathAccess);
  EXPECT_NE(description.find("settings folder \"" + (root_ / "config").string()), std::string::npos)
      << description;
  EXPECT_EQ(ReadFile(root_ / "config"), "a file");
}

// Child processes report through their exit status only; they must never return into the
// test framework.
template <typename Body>
pid_t Spawn(Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int status = 0;
    try {
      body();
    } catch (const Error& e) {
      fprintf(stderr, "child %d: %s\n", getpid(), e.description().c_str());
      status = 1;
    } catch (...) {
      status = 2;
    }
    _exit(status);
  }
  return pid;
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) on "literal" + std::to_string(...).
std::string ValueName(const char* prefix, int i) {
  std::string name(prefix);
  name += std::to_string(i);
  return name;
}

Bytes Payload(int writer, int i, std::size_t size) {
  Bytes b(size);
  for (std::size_t k = 0; k < size; ++k) b[k] = static_cast<std::uint8_t>(writer * 31 + i + k);
  return b;
}

// PRAGMA integrity_check on the store, as a separate connection sees it.
std::string IntegrityCheck(const fs::path& store) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::string check;
  sqlite3_exec(
      db, "PRAGMA integrity_check",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) += values[0];
        return 0;
      },
      &check, nullptr);
  sqlite3_close(db);
  return check;
}

// Several processes with several threads each: threads of one process share its file locks,
// which a write must never release under another thread's connection.
TEST_F(SettingsStore, ConcurrentWritersLoseNothing) {
  constexpr int kProcesses = 3;
  constexpr int kThreads = 3;
  constexpr int kValues = 20;
  WriteRegValue("Start", std::string("created before the writers race"));
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(Spawn([p] {
      std::vector<std::thread> threads;
      std::atomic<int> failures{0};
      for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([w = p * kThreads + t, &failures] {
          try {
            for (int i = 0; i < kValues; ++i) {
              const std::string name = ValueName("w", w * 1000 + i);
              if (i % 2 == 0) {
                WriteRegValue(name, Payload(w, i, 100));
              } else {
                WriteRegValue(name, name + " ü");
              }
              WriteRegValue("Last", Bytes{static_cast<std::uint8_t>(w)});
            }
          } catch (const Error& e) {
            fprintf(stderr, "writer %d: %s\n", w, e.description().c_str());
            ++failures;
          }
        });
      }
      for (std::thread& t : threads) t.join();
      if (failures != 0) throw Error(kErrPathAccess, "a writer failed");
    }));
  }
  for (const pid_t pid : children) {
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  for (int w = 0; w < kProcesses * kThreads; ++w) {
    for (int i = 0; i < kValues; ++i) {
      const std::string name = ValueName("w", w * 1000 + i);
      const RegValue expected = i % 2 == 0 ? RegValue(Payload(w, i, 100)) : RegValue(name + " ü");
      ASSERT_EQ(ReadRegValue(name), expected) << name;
    }
  }
  EXPECT_EQ(Rows().size(), 2u + kProcesses * kThreads * kValues);
  EXPECT_EQ(IntegrityCheck(StorePath()), "ok");
}

// A host program's own connection keeps its write lock while a write of ours runs beside it
// in the same process (and waits for it).
TEST_F(SettingsStore, HostConnectionKeepsItsLock) {
  WriteRegValue("Start", std::string("v"));
  sqlite3* host = nullptr;
  ASSERT_EQ(sqlite3_open_v2(StorePath().c_str(), &host, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(host, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread writer([] { WriteRegValue("During", std::string("w")); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the write is waiting by now
  // Another process asks whether anything holds SQLite's reserved-lock byte; fcntl only ever
  // reports another process's locks.
  const std::string store = StorePath().string();
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(store.c_str(), O_RDONLY);
    struct flock query {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0x40000001;  // the reserved byte, just after the pending byte at 1 GiB
    query.l_len = 1;
    _exit(fd >= 0 && fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the host's lock was dropped";
  EXPECT_EQ(sqlite3_exec(host, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(host);
  writer.join();
  EXPECT_EQ(ReadRegValue("During"), RegValue(std::string("w")));
}

TEST_F(SettingsStore, KilledWriterLeavesEveryEarlierValueWhole) {
  constexpr std::size_t kSize = 20000;  // several pages, so a torn write would show
  WriteRegValue("Before", std::string("kept"));
  const pid_t pid = Spawn([] {
    for (int i = 0;; ++i) WriteRegValue(ValueName("n", i), Payload(0, i, kSize));
  });
  for (int tries = 0; tries < 500 && !ReadRegValue("n3"); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));

  // The next call rolls back whatever the killed process left half done.
  EXPECT_EQ(ReadRegValue("Before"), RegValue(std::string("kept")));
  int stored = 0;
  while (const auto value = ReadRegValue(ValueName("n", stored))) {
    ASSERT_EQ(*value, RegValue(Payload(0, stored, kSize))) << stored;
    ++stored;
  }
  EXPECT_GE(stored, 4);
  EXPECT_EQ(Rows().size(), 1u + stored);  // values were stored in order, none beyond a gap
  WriteRegValue("After", Bytes{1});
  EXPECT_EQ(ReadRegValue("After"), RegValue(Bytes{1}));

  EXPECT_EQ(IntegrityCheck(StorePath()), "ok");
}

}  // namespace
}  // namespace tolvane
