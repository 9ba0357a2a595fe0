#ifndef TOLVANE_BASE_EXPORT_H_
#define TOLVANE_BASE_EXPORT_H_

// Marks a declaration as part of the library's binary interface.
//
// The library is compiled with hidden visibility, so a shared build exports exactly what
// carries TOLVANE_API and keeps every internal symbol internal. On ELF and Mach-O the mark is
// harmless in a static build. Windows builds are static, and a MinGW DLL built without any
// dllexport mark exports every symbol, so the mark is empty there.
#if defined(__GNUC__) && !defined(_WIN32)
#define TOLVANE_API __attribute__((visibility("default")))
#else
#define TOLVANE_API
#endif

#endif  // TOLVANE_BASE_EXPORT_H_
