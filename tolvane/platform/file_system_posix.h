#ifndef TOLVANE_PLATFORM_FILE_SYSTEM_POSIX_H_
#define TOLVANE_PLATFORM_FILE_SYSTEM_POSIX_H_

// What the POSIX file layer (file_system_posix.cc) shares with the tool's own POSIX files.
// Not an installed header, nor exported: the tool links the library's internals.

#include <filesystem>

namespace tolvane {

// Opens a new file with no name in `folder` (O_TMPFILE), mode 0600, close-on-exec, for
// `access` (O_WRONLY or O_RDWR): it is gone once its last descriptor closes, however the
// process ends, and only linkat through /proc can give it a name. Returns its descriptor, or
// -1 where the kernel or the file system has no unnamed files, for the caller to fall back on
// a named file. Throws FileSystemError naming `named` for any other failure.
int OpenUnnamedFile(const std::filesystem::path& folder, int access,
                    const std::filesystem::path& named);

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_FILE_SYSTEM_POSIX_H_
