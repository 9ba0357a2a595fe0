#ifndef TOOLS_CRYPT_INTERRUPTS_H_
#define TOOLS_CRYPT_INTERRUPTS_H_

namespace tolvane::crypt {

// Makes SIGINT, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the console)
// end the tool cleanly: a terminal whose echo the key prompt switched off gets it back, no
// temporary file stays behind, and the exit code is 128 plus the signal's number, as shells
// report a program killed by that signal (Ctrl-C: 130).
void InstallInterruptHandlers();

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_INTERRUPTS_H_
