#ifndef TOOLS_CRYPT_INTERRUPTS_H_
#define TOOLS_CRYPT_INTERRUPTS_H_

#include <termios.h>

#include <filesystem>

namespace tolvane::crypt {

// Makes SIGINT, SIGTERM and SIGHUP end the tool cleanly: a terminal whose echo the key prompt
// switched off gets it back, no temporary file stays behind, and the exit code is 128 plus the
// signal's number, as shells report a program killed by that signal.
void InstallInterruptHandlers();

// While set, an interrupt puts `state` back on the terminal `fd` before the tool exits.
void RememberTerminalState(int fd, const termios& state) noexcept;
void ForgetTerminalState() noexcept;

// While set, an interrupt removes `file` and then the folder `folder` (the tool's own private
// folder for output bound for standard output).
void RememberTemporaryFile(const std::filesystem::path& file, const std::filesystem::path& folder);
void ForgetTemporaryFile() noexcept;

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_INTERRUPTS_H_
