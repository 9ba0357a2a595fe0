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

namespace tolvane {
namespace {

Error SystemError(int err, const std::string& doing, const std::filesystem::path& path) {
  std::int32_t number = kErrPathAccess;
  if (err == EACCES || err == EPERM || err == EROFS) number = kErrPermissionDenied;
  if (err == ENOSPC || err == EDQUOT) number = kErrDiskFull;
  return Error(number, "Cannot " + doing + " \"" + path.string() + "\": " + std::strerror(err));
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
  // Created here rather than by the database library, so that it never exists, even for a
  // moment, with the wider permissions the process umask would give it. Never through a
  // link, and nothing but a regular file of the user's own is narrowed: changing the mode of
  // whatever a planted link or name points at would change someone else's file.
  const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) {
    if (errno == ELOOP) {
      throw Error(kErrPathAccess, "Cannot use the settings file \"" + file.string() +
                                      "\": it is a symbolic link; it was left unchanged");
    }
    throw SystemError(errno, "create the settings file", file);
  }
  struct stat info {};
  int err = 0;
  const char* wrong = nullptr;
  if (fstat(fd, &info) != 0) {
    err = errno;
  } else if (!S_ISREG(info.st_mode)) {
    wrong = "it is not a regular file";
  } else if (info.st_uid != geteuid()) {
    wrong = "it belongs to another user";
  } else if ((info.st_mode & 077) != 0 && fchmod(fd, info.st_mode & 0700) != 0) {
    err = errno;
  }
  close(fd);
  if (wrong != nullptr) {
    throw Error(kErrPathAccess, "Cannot use the settings file \"" + file.string() + "\": " + wrong +
                                    "; it was left unchanged");
  }
  if (err != 0) throw SystemError(err, "restrict access to the settings file", file);
}

}  // namespace tolvane
