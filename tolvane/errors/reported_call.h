#ifndef TOLVANE_ERRORS_REPORTED_CALL_H_
#define TOLVANE_ERRORS_REPORTED_CALL_H_

#include <exception>
#include <new>
#include <stdexcept>
#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/errors/report.h"

namespace tolvane {

// Runs `body` as a method with one error handler: whatever it throws is shown through
// ReportError under `label`, and the call then returns normally. Nothing escapes.
// Returns true when the body finished without a failure, so that a caller inside the class
// can stop instead of carrying on with an output that was never filled.
template <typename Body>
bool RunReported(std::string_view label, Body&& body) noexcept {
  try {
    body();
    return true;
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
  return false;
}

}  // namespace tolvane

#endif  // TOLVANE_ERRORS_REPORTED_CALL_H_
