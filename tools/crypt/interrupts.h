#ifndef TOOLS_CRYPT_INTERRUPTS_H_
#define TOOLS_CRYPT_INTERRUPTS_H_

#include <functional>

namespace tolvane::crypt {

// Makes SIGINT, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the console)
// end the tool cleanly: a terminal whose echo the key prompt switched off gets it back, no
// temporary file stays behind, and the exit code is 128 plus the signal's number, as shells
// report a program killed by that signal (Ctrl-C: 130). A signal that the tool was started
// with ignored (nohup, a script's background job) stays ignored. On POSIX, a stop (Ctrl-Z) at
// the key prompt puts echo back until the tool continues.
void InstallInterruptHandlers();

// Runs `commit`, the step that puts the finished result in place, with interrupts held off
// until it returns. Once it has succeeded the work is done, and an interrupt that comes
// after it (or came during it) ends the tool with exit code 0 instead.
void CommitUninterrupted(const std::function<void()>& commit);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_INTERRUPTS_H_
