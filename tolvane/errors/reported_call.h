#ifndef TOLVANE_ERRORS_REPORTED_CALL_H_
#define TOLVANE_ERRORS_REPORTED_CALL_H_

#include <exception>
#include <new>
#include <string_view>

#include "tolvane/errors/error.h"
#include "tolvane/errors/report.h"

namespace tolvane {

// Runs `body` as a method with one error handler: whatever it throws is shown through
// ReportError under `label`, and the call then returns normally. Nothing escapes.
template <typename Body>
void RunReported(std::string_view label, Body&& body) noexcept {
  try {
    body();
  } catch (const Error& error) {
    ReportError(label, error);
  } catch (const std::bad_alloc&) {
    ReportError(label, OutOfMemoryError());
  } catch (const std::length_error&) {
    ReportError(label, OutOfMemoryError());
  } catch (const std::exception& e) {
    try {
      ReportError(label, Error(kErrInternal, e.what()));
    } catch (...) {
      ReportError(label, OutOfMemoryError());
    }
  } catch (...) {
    ReportError(label, OutOfMemoryError());
  }
}

}  // namespace tolvane

#endif  // TOLVANE_ERRORS_REPORTED_CALL_H_
