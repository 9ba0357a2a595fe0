#ifndef TOOLS_CRYPT_COMMAND_H_
#define TOOLS_CRYPT_COMMAND_H_

#include <CLI/CLI.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/base/wipe.h"
#include "tolvane/core/ecb.h"
#include "tolvane/core/key_schedule.h"
#include "tolvane/platform/code_page.h"
#include "tools/crypt/key_source.h"

namespace tolvane::crypt {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// What the run is about, for messages: the subcommand and the file or option involved. One
// per run; the subcommand that runs sets it up.
struct Session {
  std::string command;
  std::string context;
  int exit_code = kExitOk;
  // The code page the run converts text through, once DecideCodePage has decided it.
  std::optional<ResolvedCodePage> code_page;
};

// Makes `work` the callback of subcommand `sub`: it runs once the command line is parsed,
// with the interrupt handlers in place. Its exit code, or that of what it throws (UsageError
// 2, any other failure 1, each reported as one line under session.context), becomes
// session.exit_code.
void OnRun(CLI::App* sub, Session& session, std::function<int()> work);

// The options the cipher subcommands share.
struct CipherOptions {
  KeyOptions key;
  std::optional<int> code_page;
  unsigned threads = 0;
};
// A subcommand with its summary and the footer of its --help from the manual (manual.cc).
CLI::App* AddDocumentedSubcommand(CLI::App& app, const char* name);
// The one-line help of an argument or option of `sub`, from the manual.
std::string Help(const CLI::App* sub, const char* name);

void AddKeyOptions(CLI::App* sub, KeyOptions& key);
void AddThreadsOption(CLI::App* sub, unsigned& threads);
void AddCodePageOption(CLI::App* sub, std::optional<int>& code_page);

// Decides, once for the run, the code page its text goes through: the one --code-page names,
// else the active ANSI code page (the system's or TOLVANE_ANSI_CODEPAGE's). An unsupported
// --code-page is a UsageError; a refused active page fails only the steps that convert.
// Returns the decision, which session.code_page keeps.
const ResolvedCodePage& DecideCodePage(Session& session, const std::optional<int>& code_page);

// The key schedule of the key the options name, a text key through the run's code page (after
// DecideCodePage); `confirm` asks twice at a prompt. Messages about the key name the key file.
// Throws UsageError for a key the cipher refuses.
KeySchedule ReadKeySchedule(const CipherOptions& o, Session& session, bool confirm);
// The threads the options allow; the shared pool only when more than one.
CipherThreads ThreadsOf(const CipherOptions& o);

// Writes "tolvane-crypt: MESSAGE" as one line on standard error, control characters escaped
// (printable.h): a file name must not break the line or reach the terminal as a command.
void PrintMessage(std::string_view message);

// Reports a failure of the cipher work as one line, "tolvane-crypt: CONTEXT:
// LABEL(NUMBER - DESCRIPTION)", under the label that scripts have always seen for that step
// (the name of the library's method that did it). Returns kExitFailed.
int ReportFailure(const Session& session, std::string_view label, const Error& error);

// Wipes a string's characters when it goes: text that may be plaintext.
template <typename String>
class WipeOnExit {
 public:
  explicit WipeOnExit(String& text) : text_(text) {}
  ~WipeOnExit() { SecureWipe(text_.data(), text_.size() * sizeof(text_[0])); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  String& text_;
};

// Standard input can give one thing only: with `other_use`, a key file that is standard input
// ("-" or another name of it, such as /dev/stdin) is a UsageError.
void RequireOneUseOfStdin(const KeyOptions& key, bool other_use);

// `error` with the internal path of spooled standard input (StdinSpool::path) replaced by
// "standard input", so that messages name what the user gave.
Error NamingStdin(const Error& error, const std::filesystem::path& internal);

// "standard input" for "-", else the path in quotes.
std::string Quote(const std::string& path);

inline std::string_view AsText(const SecureBytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
inline std::span<const std::uint8_t> AsBytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The subcommand groups, each in its own file.
void AddFileCommands(CLI::App& app, Session& session);
void AddTextCommands(CLI::App& app, Session& session);
void AddSettingsCommands(CLI::App& app, Session& session);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_COMMAND_H_
