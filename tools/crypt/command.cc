#include "tools/crypt/command.h"

#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/errors/report.h"
#include "tolvane/platform/code_page.h"
#include "tools/crypt/help_text.h"
#include "tools/crypt/interrupts.h"
#include "tools/crypt/io.h"
#include "tools/crypt/manual.h"
#include "tools/crypt/printable.h"

namespace tolvane::crypt {
namespace {

// The library names a refused code page that came from the system or TOLVANE_ANSI_CODEPAGE
// but not how to get past it; the tool's message says. (Its number is shared with other
// failures, so the run's page itself is asked; a run that decided none asks the active one.)
std::string CodePageHint(const Session& session, const Error& error) {
  if (error.number() != kErrUnsupportedCodePage) return "";
  const bool refused =
      session.code_page ? session.code_page->refused() : ResolvedCodePage::Active().refused();
  if (!refused) return "";
  return "; give a supported one with --code-page N or the environment variable " +
         std::string(kAnsiCodePageVariable);
}

}  // namespace

void OnRun(CLI::App* sub, Session& session, std::function<int()> work) {
  sub->callback([sub, &session, work = std::move(work)] {
    session.command = sub->get_name();
    session.context = session.command;
    InstallInterruptHandlers();
    try {
      session.exit_code = work();
    } catch (const UsageError& e) {
      PrintMessage(session.context + ": " + e.what());
      WriteStderr("Run 'tolvane-crypt " + session.command + " --help' for usage.\n");
      session.exit_code = kExitUsage;
    } catch (const Error& e) {
      PrintMessage(session.context + ": " + e.description() + CodePageHint(session, e));
      session.exit_code = kExitFailed;
    } catch (const std::exception& e) {
      PrintMessage(session.context + ": " + e.what());
      session.exit_code = kExitFailed;
    } catch (...) {
      PrintMessage(session.context + ": failed for an unknown reason");
      session.exit_code = kExitFailed;
    }
  });
}

CLI::App* AddDocumentedSubcommand(CLI::App& app, const char* name) {
  const CommandDoc& doc = Command(name);
  CLI::App* sub = app.add_subcommand(name, doc.summary);
  sub->footer(CommandHelpFooter(doc, SettingsLocation()));
  return sub;
}

std::string Help(const CLI::App* sub, const char* name) {
  return ArgumentHelp(sub->get_name(), name);
}

void AddKeyOptions(CLI::App* sub, KeyOptions& key) {
  auto* file = sub->add_option("--key-file", key.file, Help(sub, "--key-file"))->type_name("PATH");
  auto* env = sub->add_option("--key-env", key.env, Help(sub, "--key-env"))->type_name("NAME");
  file->excludes(env);
}

void AddThreadsOption(CLI::App* sub, unsigned& threads) {
  sub->add_option("--threads", threads, Help(sub, "--threads"))->type_name("N");
}

void AddCodePageOption(CLI::App* sub, std::optional<int>& code_page) {
  sub->add_option("--code-page", code_page, Help(sub, "--code-page"))->type_name("N");
}

const ResolvedCodePage& DecideCodePage(Session& session, const std::optional<int>& code_page) {
  if (!code_page) return session.code_page.emplace(ResolvedCodePage::Active());
  try {
    return session.code_page.emplace(CodePage::Of(*code_page));
  } catch (const Error& e) {
    throw UsageError(e.description());
  }
}

KeySchedule ReadKeySchedule(const CipherOptions& o, Session& session, bool confirm) {
  const std::string saved = session.context;
  session.context =
      session.command + (o.key.file.empty() ? std::string() : " --key-file " + Quote(o.key.file));
  // Both wipe their bytes when they go.
  const SecureBytes key = ReadKey(o.key, *session.code_page, confirm);
  session.context = saved;
  try {
    return KeySchedule(std::span<const std::uint8_t>(key.data(), key.size()));
  } catch (const Error& e) {
    throw UsageError("the key is refused (" + e.description() + "): keys are 1 to 32767 bytes");
  }
}

CipherThreads ThreadsOf(const CipherOptions& o) {
  return OnSharedPool(ResolveThreadCount(o.threads));
}

void PrintMessage(std::string_view message) {
  WriteStderr("tolvane-crypt: " + Printable(message) + "\n");
}

int ReportFailure(const Session& session, std::string_view label, const Error& error) {
  PrintMessage(session.context + ": " + FormatErrorMessage(label, error) +
               CodePageHint(session, error));
  return kExitFailed;
}

Error NamingStdin(const Error& error, const std::filesystem::path& internal) {
  const std::u8string name = internal.u8string();
  const std::string path(name.begin(), name.end());
  std::string text = error.description();
  for (const std::string& form : {"'" + path + "'", path}) {
    for (std::size_t at = 0; !form.empty() && (at = text.find(form, at)) != std::string::npos;) {
      text.replace(at, form.size(), "standard input");
      at += std::string_view("standard input").size();
    }
  }
  return Error(error.number(), std::move(text));
}

void RequireOneUseOfStdin(const KeyOptions& key, bool other_use) {
  if (other_use && !key.file.empty() && NamesStandardInput(key.file)) {
    throw UsageError("standard input cannot give both the key and the input");
  }
}

std::string Quote(const std::string& path) {
  return IsStdStream(path) ? "standard input" : "'" + path + "'";
}

}  // namespace tolvane::crypt
