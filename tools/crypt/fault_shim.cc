// Preloaded into tolvane-crypt by its tests (LD_PRELOAD) to behave as some systems do:
// TOLVANE_SHIM_NO_TMPFILE makes open with O_TMPFILE fail (EOPNOTSUPP), as on file systems
// without unnamed files; TOLVANE_SHIM_SIGNAL_AFTER_RENAME=N raises signal N just after each
// rename that succeeds, as if it came the moment a target was replaced;
// TOLVANE_SHIM_SIGNAL_IN_FAILED_RENAME=N raises signal N in each rename, which then fails (EIO).

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace {

int Open(const char* name, const char* path, int flags, va_list arguments) {
  const bool tmpfile = (flags & O_TMPFILE) == O_TMPFILE;
  const mode_t mode = (flags & O_CREAT) != 0 || tmpfile ? va_arg(arguments, mode_t) : 0;
  if (tmpfile && std::getenv("TOLVANE_SHIM_NO_TMPFILE") != nullptr) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, name))(path, flags,
                                                                                  mode);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const int fd = Open("open", path, flags, arguments);
  va_end(arguments);
  return fd;
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const int fd = Open("open64", path, flags, arguments);
  va_end(arguments);
  return fd;
}

int rename(const char* from, const char* to) {
  if (const char* failing = std::getenv("TOLVANE_SHIM_SIGNAL_IN_FAILED_RENAME")) {
    raise(std::atoi(failing));
    errno = EIO;
    return -1;
  }
  const int result =
      reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"))(from, to);
  const char* signal_number = std::getenv("TOLVANE_SHIM_SIGNAL_AFTER_RENAME");
  if (result == 0 && signal_number != nullptr) raise(std::atoi(signal_number));
  return result;
}

}  // extern "C"
