// Preloaded into tolvane-crypt by its tests (LD_PRELOAD) to make the system behave as some
// machines do, which a test cannot arrange otherwise:
// - TOLVANE_SHIM_NO_TMPFILE set: open with O_TMPFILE fails with EOPNOTSUPP, as on file
//   systems without unnamed files, so the named fallbacks run;
// - TOLVANE_SHIM_SIGNAL_AFTER_RENAME=N: each rename that succeeds is followed at once by
//   signal N, as if it had arrived just after a target was replaced.

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace {

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int OpenWith(const char* name, const char* path, int flags, va_list arguments) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    mode = static_cast<mode_t>(va_arg(arguments, int));
  }
  if ((flags & O_TMPFILE) == O_TMPFILE && std::getenv("TOLVANE_SHIM_NO_TMPFILE") != nullptr) {
    errno = EOPNOTSUPP;
    return -1;
  }
  using Open = int (*)(const char*, int, ...);
  static const Open next = Next<Open>(name);
  return next(path, flags, mode);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const int fd = OpenWith("open", path, flags, arguments);
  va_end(arguments);
  return fd;
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const int fd = OpenWith("open64", path, flags, arguments);
  va_end(arguments);
  return fd;
}

int rename(const char* from, const char* to) {
  using Rename = int (*)(const char*, const char*);
  static const Rename next = Next<Rename>("rename");
  const int result = next(from, to);
  if (result == 0) {
    if (const char* signal_number = std::getenv("TOLVANE_SHIM_SIGNAL_AFTER_RENAME")) {
      raise(std::atoi(signal_number));
    }
  }
  return result;
}

}  // extern "C"
