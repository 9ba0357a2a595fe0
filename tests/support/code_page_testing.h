#ifndef TOLVANE_TESTS_SUPPORT_CODE_PAGE_TESTING_H_
#define TOLVANE_TESTS_SUPPORT_CODE_PAGE_TESTING_H_

#include "tolvane/platform/code_page.h"

namespace tolvane::testing {

// Restores the active ANSI code page when it goes out of scope, so that a test may change it.
class ScopedAnsiCodePage {
 public:
  ScopedAnsiCodePage() : saved_(AnsiCodePage()) {}
  explicit ScopedAnsiCodePage(int codePage) : ScopedAnsiCodePage() { SetAnsiCodePage(codePage); }
  ~ScopedAnsiCodePage() { SetAnsiCodePage(saved_); }
  ScopedAnsiCodePage(const ScopedAnsiCodePage&) = delete;
  ScopedAnsiCodePage& operator=(const ScopedAnsiCodePage&) = delete;

 private:
  int saved_;
};

}  // namespace tolvane::testing

#endif  // TOLVANE_TESTS_SUPPORT_CODE_PAGE_TESTING_H_
