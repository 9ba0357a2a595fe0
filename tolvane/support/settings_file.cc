#include "tolvane/support/settings_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tolvane/base/error.h"
#include "tolvane/platform/file_system_shared.h"

namespace tolvane {
namespace {

// The number as every file failure has it (platform/); the text the settings have always had.
Error SystemError(int err, const std::string& doing, const std::filesystem::path& path) {
  return Error(FileFailureNumber(FileFailureOf(err)),
               "Cannot " + doing + " \"" + path.string() + "\": " + std::strerror(err));
}

std::filesystem::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && *found->pw_dir != '\0') {
    return found->pw_dir;
  }
  throw Error(kErrPathAccess,
              "Cannot find the settings folder: neither XDG_CONFIG_HOME nor HOME is set and "
              "the user has no home folder");
}

// mkdir -p with mode 0700 for each folder it creates; existing folders are left as they are.
void CreateFolders(const std::filesystem::path& folder) {
  std::filesystem::path partial;
  for (const auto& part : folder) {
    partial /= part;
    if (mkdir(partial.c_str(), 0700) == 0) continue;
    const int err = errno;
    struct stat info {};
    if (err == EEXIST && stat(partial.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
    throw SystemError(err == EEXIST ? ENOTDIR : err, "create the settings folder", partial);
  }
}

// The checks and narrowing of an existing store, through an O_PATH descriptor: it opens no
// file, so closing it leaves alone the locks that SQLite connections of this process hold on
// the store (closing an ordinary descriptor would release every one of them). Never through a
// link, and nothing but a regular file of the user's own is narrowed: changing the mode of
// whatever a planted link or name points at would change someone else's file. Returns false
// when there is no file.
bool NarrowExistingFile(const std::filesystem::path& file) {
  const int fd = open(file.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    throw SystemError(errno, "open the settings file", file);
  }
  struct stat info {};
  int err = 0;
  const char* wrong = nullptr;
  if (fstat(fd, &info) != 0) {
    err = errno;
  } else if (S_ISLNK(info.st_mode)) {
    wrong = "it is a symbolic link";
  } else if (!S_ISREG(info.st_mode)) {
    wrong = "it is not a regular file";
  } else if (info.st_uid != geteuid()) {
    wrong = "it belongs to another user";
  } else if ((info.st_mode & 077) != 0) {
    // fchmod refuses an O_PATH descriptor; its /proc name reaches the same file.
    const std::string by_descriptor = "/proc/self/fd/" + std::to_string(fd);
    if (chmod(by_descriptor.c_str(), info.st_mode & 0700) != 0) err = errno;
  }
  close(fd);
  if (wrong != nullptr) {
    throw Error(kErrPathAccess, "Cannot use the settings file \"" + file.string() + "\": " + wrong +
                                    "; it was left unchanged");
  }
  if (err != 0) throw SystemError(err, "restrict access to the settings file", file);
  return true;
}

// Makes a new empty store with mode 0600 under a temporary name, closes it, and only then
// links it in, so that no descriptor of ours to the store is ever closed once another
// connection could have found it. A store another thread or process made meanwhile is kept.
void CreateNewFile(const std::filesystem::path& file) {
  std::string temporary = file.string() + ".new-XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) throw SystemError(errno, "create the settings file", file);
  // mkostemp's mode is 0600 less the umask: made exactly 0600, or the store could be unwritable.
  const int err = fchmod(fd, 0600) != 0 ? errno : 0;
  close(fd);
  int link_err = err != 0 ? err : (link(temporary.c_str(), file.c_str()) == 0 ? 0 : errno);
  unlink(temporary.c_str());
  if (link_err == EEXIST) return;
  if (link_err == EPERM || link_err == EOPNOTSUPP || link_err == EMLINK) {
    // A file system without hard links: created in place, where the moment between creating
    // and closing is the one left open to a racing connection.
    const int made = open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    link_err = made >= 0 || errno == EEXIST ? 0 : errno;
    if (made >= 0) close(made);
  }
  if (link_err != 0) throw SystemError(link_err, "create the settings file", file);
}

}  // namespace

std::filesystem::path SettingsFilePath() {
  std::filesystem::path base;
  // Relative values are ignored, as the XDG base directory rules ask.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    base = HomeFolder() / ".config";
  }
  return base / "Brennix" / "Tolvane" / "settings.sqlite3";
}

void CreatePrivateFile(const std::filesystem::path& file) {
  CreateFolders(file.parent_path());
  if (NarrowExistingFile(file)) return;
  CreateNewFile(file);
  // Checked as any existing store, in case another program made it meanwhile.
  NarrowExistingFile(file);
}

}  // namespace tolvane
