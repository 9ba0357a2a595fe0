#ifndef TOLVANE_BASE_EXPORT_H_
#define TOLVANE_BASE_EXPORT_H_

// Marks a declaration as part of the library's binary interface.
//
// The library is compiled with hidden visibility, so a shared build exports what carries
// TOLVANE_API and tolvane/exported_symbols.txt lists, and keeps every internal symbol internal.
// On ELF and Mach-O the mark is harmless in a static build. A Windows DLL exports what that
// list names through a module-definition file made from it, so the mark is empty there.
#if defined(__GNUC__) && !defined(_WIN32)
#define TOLVANE_API __attribute__((visibility("default")))
#else
#define TOLVANE_API
#endif

#endif  // TOLVANE_BASE_EXPORT_H_
