#ifndef TOLVANE_TESTS_SUPPORT_ENVIRONMENT_TESTING_H_
#define TOLVANE_TESTS_SUPPORT_ENVIRONMENT_TESTING_H_

#include <cstdlib>
#include <optional>
#include <string>

namespace tolvane::testing {

// Sets an environment variable, or removes it when `value` is null. The C runtime's own
// environment, which std::getenv reads, is changed on either platform. On Windows an empty
// value removes the variable too.
inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

// Sets (or with null removes) an environment variable while it lives, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    SetEnv(name, value);
  }
  ~ScopedEnv() { SetEnv(name_, saved_ ? saved_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

}  // namespace tolvane::testing

#endif  // TOLVANE_TESTS_SUPPORT_ENVIRONMENT_TESTING_H_
