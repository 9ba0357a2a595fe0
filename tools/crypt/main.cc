// tolvane-crypt: the cipher components on the command line.
//
// Every job of the library without writing C++: files in the length-prefixed format, text
// through the hexadecimal code, Base64 decoding and the settings store. Keys are read from a
// file, an environment variable or a prompt, never from the command line. Where the library
// would convert silently (characters a code page lacks), the tool refuses instead, since a
// person typed the input and would otherwise lose it unknowingly.
//
// Each group of subcommands registers itself (file_commands.cc, text_commands.cc,
// settings_commands.cc); the subcommand given runs as CLI11 finishes parsing.

#include <CLI/CLI.hpp>

#include <exception>
#include <sstream>
#include <string>
#include <vector>

#include "tools/crypt/command.h"
#include "tools/crypt/help_text.h"
#include "tools/crypt/io.h"
#include "tools/crypt/manual.h"
#include "tools/crypt/terminal.h"

namespace tolvane::crypt {
namespace {

// Help and the version go out as every other output does, so that a Windows console shows
// them as text and a failed write is not taken for success.
int PrintHelp(const CLI::App& app, const CLI::Error& e) {
  std::ostringstream out, err;
  const int code = app.exit(e, out, err);
  WriteStderr(err.str());
  try {
    WriteStdout(out.str());
  } catch (const std::exception& failure) {
    PrintMessage(failure.what());
    return kExitFailed;
  }
  return code;
}

int Main(int argc, char** argv) {
  CLI::App app{kToolDescription, kToolName};
  app.require_subcommand(1, 1);
  // TOLVANE_VERSION comes from the project's version in the top-level CMakeLists.txt.
  app.set_version_flag("--version", "tolvane-crypt " TOLVANE_VERSION, OptionHelp("--version"));
  app.footer(HelpFooter(SettingsLocation()));
  Session session;
  AddFileCommands(app, session);
  AddTextCommands(app, session);
  AddSettingsCommands(app, session);

  PrepareStandardStreams();
  std::vector<std::string> arguments;
  try {
    arguments = Utf8Arguments(argc, argv);
  } catch (const std::exception& e) {
    PrintMessage(e.what());
    return kExitUsage;
  }
  // A first word that is no option and no subcommand is a mistyped subcommand, which CLI11
  // would only report as a missing one.
  if (arguments.size() > 1 && !arguments[1].empty() && arguments[1][0] != '-' &&
      app.get_subcommands([&](CLI::App* sub) { return sub->check_name(arguments[1]); }).empty()) {
    PrintMessage("unknown subcommand '" + arguments[1] + "'");
    WriteStderr("Run 'tolvane-crypt --help' for usage.\n");
    return kExitUsage;
  }
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  try {
    app.parse(static_cast<int>(pointers.size()), pointers.data());
  } catch (const CLI::CallForHelp& e) {
    return PrintHelp(app, e);
  } catch (const CLI::CallForAllHelp& e) {
    return PrintHelp(app, e);
  } catch (const CLI::CallForVersion& e) {
    return PrintHelp(app, e);
  } catch (const CLI::ParseError& e) {
    PrintMessage(e.what());
    WriteStderr("Run 'tolvane-crypt --help' for usage.\n");
    return kExitUsage;
  }
  return session.exit_code;
}

}  // namespace
}  // namespace tolvane::crypt

int main(int argc, char** argv) { return tolvane::crypt::Main(argc, argv); }
