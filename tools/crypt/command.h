#ifndef TOOLS_CRYPT_COMMAND_H_
#define TOOLS_CRYPT_COMMAND_H_

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tolvane/base/wipe.h"
#include "tolvane/cipher/blowfish.h"
#include "tools/crypt/key_source.h"

namespace tolvane::crypt {

class ProgressDisplay;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// What the run is about, for messages: the subcommand and the file or option involved, and
// how many messages the library showed. One per run; the subcommand that runs sets it up.
struct Session {
  std::string command;
  std::string context;
  int messages_shown = 0;
  ProgressDisplay* progress = nullptr;  // while a file subcommand runs
  int exit_code = kExitOk;
};

// Makes `work` the callback of subcommand `sub`: it runs once the command line is parsed,
// with the interrupt handlers in place and the library's messages reported on standard error
// under session.context. Its exit code, or that of what it throws (UsageError 2, any other
// failure 1, each reported as one line), becomes session.exit_code.
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

// Makes `code_page` the active ANSI code page, if given; an unsupported one is a UsageError.
void ApplyCodePage(const std::optional<int>& code_page);

// A cipher keyed with the key the options name; `confirm` asks twice at a prompt. Messages
// about the key name the key file. Throws UsageError for a key the cipher refuses.
Blowfish KeyedCipher(const CipherOptions& o, Session& session, bool confirm);

// Standard input can give one thing only.
void RequireOneUseOfStdin(const KeyOptions& key, bool other_use);

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
