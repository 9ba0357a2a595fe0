#include "tolvane/errors/report.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tests/support/message_capture_testing.h"
#include "tolvane/errors/reported_call.h"
#include "tests/support/environment_testing.h"

namespace tolvane {
namespace {

TEST(FormatErrorMessage, JoinsLabelNumberAndDescription) {
  struct Case {
    std::string label;
    std::int32_t number;
    std::string description;
    std::string expected;
  };
  const Case cases[] = {
      {"Blowfish, sEncrypt", kErrNotKeyed, "Call sInitBF before calling this sub",
       "Blowfish, sEncrypt(-2147218103 - Call sInitBF before calling this sub)"},
      {"Blowfish, sDecrypt", 9, "Subscript out of range",
       "Blowfish, sDecrypt(9 - Subscript out of range)"},
      {"", 0, "", "(0 - )"},
      {"L", -2147483647 - 1, "x", "L(-2147483648 - x)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatErrorMessage(c.label, Error(c.number, c.description)), c.expected);
  }
}

TEST(SetMessageBoxHandler, ReturnsThePreviousHandlerAndRestoresTheBuiltIn) {
  std::string seen;
  MessageBoxHandler previous = SetMessageBoxHandler([&](const std::string& m) { seen = m; });
  EXPECT_FALSE(previous);  // the built-in box was active
  ReportError("A", Error(1, "b"));
  EXPECT_EQ(seen, "A(1 - b)");

  MessageBoxHandler mine = SetMessageBoxHandler(nullptr);
  EXPECT_TRUE(mine);
  // Without a display the built-in box takes its standard-error form rather than opening a
  // dialog on the developer's desktop.
  testing::ScopedEnv no_x11("DISPLAY", nullptr);
  testing::ScopedEnv no_wayland("WAYLAND_DISPLAY", nullptr);
  ::testing::internal::CaptureStderr();
  ReportError("A", Error(2, "c"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "A(2 - c)\n");
}

TEST(ReportError, AThrowingHandlerFallsBackToStandardError) {
  MessageBoxHandler previous =
      SetMessageBoxHandler([](const std::string&) { throw std::runtime_error("no display"); });
  ::testing::internal::CaptureStderr();
  ReportError("A", Error(3, "d"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "A(3 - d)\n");
  SetMessageBoxHandler(std::move(previous));
}

TEST(RunReported, ReportsWhateverTheBodyThrowsOnce) {
  testing::MessageCapture capture;
  RunReported("L", [] { throw Error(5, "five"); });
  RunReported("L", [] { throw std::bad_alloc(); });
  RunReported("L", [] { throw std::runtime_error("odd"); });
  RunReported("L", [] { throw 42; });
  RunReported("L", [] {});
  const std::vector<std::string> expected = {"L(5 - five)", "L(7 - Out of memory)", "L(51 - odd)",
                                             "L(7 - Out of memory)"};
  EXPECT_EQ(capture.messages(), expected);
}

}  // namespace
}  // namespace tolvane
