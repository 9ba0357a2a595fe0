#ifndef TOLVANE_TESTS_SUPPORT_MESSAGE_CAPTURE_TESTING_H_
#define TOLVANE_TESTS_SUPPORT_MESSAGE_CAPTURE_TESTING_H_

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tolvane/errors/report.h"

namespace tolvane::testing {

// Collects every message shown while it lives, in place of the message box.
class MessageCapture {
 public:
  MessageCapture()
      : previous_(SetMessageBoxHandler([this](const std::string& message) {
          std::lock_guard<std::mutex> lock(mutex_);
          messages_.push_back(message);
        })) {}
  ~MessageCapture() { SetMessageBoxHandler(std::move(previous_)); }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  std::vector<std::string> messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  // Returns the messages so far and forgets them.
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(messages_, {});
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  MessageBoxHandler previous_;
};

}  // namespace tolvane::testing

#endif  // TOLVANE_TESTS_SUPPORT_MESSAGE_CAPTURE_TESTING_H_
