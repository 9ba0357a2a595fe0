#ifndef TOOLS_CRYPT_TERMINAL_H_
#define TOOLS_CRYPT_TERMINAL_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tolvane/base/wipe.h"

namespace tolvane::crypt {

// What the tool needs from the terminal (a console on Windows), its arguments and its
// environment, in UTF-8 on every platform.

// Standard input and output in binary mode, so that cipher bytes pass unchanged (Windows
// would otherwise translate CR/LF and stop at Ctrl-Z). On POSIX, descriptors 0 to 2 that the
// tool was started without are opened on /dev/null, so that no file the tool opens takes
// their place and is read or written as a standard stream; and a write to a closed pipe
// fails with EPIPE instead of ending the tool. Call before any I/O.
void PrepareStandardStreams();

// Whether standard input (0) or output (1) was closed when the tool started: reading or
// writing it is then an error, never the empty input or lost output of /dev/null.
bool StandardStreamWasClosed(int stream) noexcept;

// The program's arguments in UTF-8: on Windows from the UTF-16 command line, so that any file
// name or text survives whatever the ANSI code page; elsewhere argv as it is.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The value of an environment variable in UTF-8, or nothing when it is not set.
std::optional<SecureBytes> EnvironmentVariable(const std::string& name);

bool StdinIsTerminal();
bool StderrIsTerminal();

// Writes `prompt` to standard error once echo is off, reads one line from the terminal on
// standard input and puts echo back. Returns the line in UTF-8 without its line break; of a
// longer line, `limit` + 1 bytes are kept and the rest is read and dropped, so that it is not
// taken as a command. An interrupt meanwhile puts echo back too (RestoreTerminalOnInterrupt).
SecureBytes ReadLineWithoutEcho(const char* prompt, std::size_t limit);

// For an interrupt handler: puts back the terminal state that ReadLineWithoutEcho changed, if
// it is still changed, and ends the prompt's open line. Async-signal-safe.
void RestoreTerminalOnInterrupt() noexcept;

// For the handler of a stop (Ctrl-Z) while a prompt waits: echo comes back on for the shell
// before the stop, and goes off again, with the prompt shown anew, when the tool continues.
// Nothing when no prompt is waiting. Async-signal-safe; POSIX only.
void RestoreTerminalOnStop() noexcept;
void QuietTerminalOnContinue() noexcept;

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_TERMINAL_H_
