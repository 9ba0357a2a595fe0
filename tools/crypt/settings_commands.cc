// base64-decode, set, get, list and delete: Base64 text and the settings store.

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tolvane/base/error.h"
#include "tolvane/base/wipe.h"
#include "tolvane/support/base64.h"
#include "tolvane/support/registry.h"
#include "tools/crypt/command.h"
#include "tools/crypt/help_text.h"
#include "tools/crypt/io.h"

namespace tolvane::crypt {
namespace {

struct SettingsOptions {
  std::string name, value, input = "-", output = "-";
  bool binary = false;
};

int Base64DecodeCommand(const SettingsOptions& o, Session& session) {
  session.context = session.command + " " + Quote(o.input);
  std::vector<std::uint8_t> bytes = Base64Decode(AsText(ReadAll(o.input)));
  try {
    WritePrivateFile(o.output, bytes);
  } catch (...) {
    SecureWipe(bytes.data(), bytes.size());
    throw;
  }
  SecureWipe(bytes.data(), bytes.size());
  return kExitOk;
}

int SetCommand(const SettingsOptions& o) {
  if (o.binary) {
    const SecureBytes data = ReadAll(o.value);
    std::vector<std::uint8_t> value(data.begin(), data.end());
    WriteRegValue(o.name, value);
    SecureWipe(value.data(), value.size());
  } else {
    WriteRegValue(o.name, o.value);
  }
  return kExitOk;
}

int GetCommand(const SettingsOptions& o) {
  std::optional<RegValue> value = ReadRegValue(o.name);
  if (!value) throw Error(kErrInvalidCall, "no setting of that name");
  if (auto* text = std::get_if<std::string>(&*value)) {
    if (IsStdStream(o.output)) *text += "\n";
    WritePrivateFile(o.output, AsBytes(*text));
    SecureWipe(text->data(), text->size());
  } else {
    auto& bytes = std::get<std::vector<std::uint8_t>>(*value);
    WritePrivateFile(o.output, bytes);
    SecureWipe(bytes.data(), bytes.size());
  }
  return kExitOk;
}

int ListCommand() {
  std::string listing;
  for (const RegValueInfo& value : ListRegValues()) {
    listing += value.binary ? "binary  " : "text    ";
    listing += value.name + "\n";
  }
  WriteStdout(listing);
  return kExitOk;
}

int DeleteCommand(const SettingsOptions& o) {
  if (!DeleteRegValue(o.name)) throw Error(kErrInvalidCall, "no setting of that name");
  return kExitOk;
}

// Messages about a setting name it.
void NameSetting(const SettingsOptions& o, Session& session) {
  session.context = session.command + " '" + o.name + "'";
}

}  // namespace

void AddSettingsCommands(CLI::App& app, Session& session) {
  auto o = std::make_shared<SettingsOptions>();
  auto* b64 = app.add_subcommand("base64-decode", "Decode Base64 text");
  b64->add_option("INPUT", o->input, "File holding Base64 text; - for standard input")
      ->capture_default_str()
      ->type_name("PATH");
  b64->add_option("-o,--output", o->output,
                  "Write the bytes to PATH (replaced whole, mode 0600); - for standard output")
      ->capture_default_str()
      ->type_name("PATH");
  b64->footer(Base64Footer());
  OnRun(b64, session, [o, &session] { return Base64DecodeCommand(*o, session); });

  auto* set = app.add_subcommand("set",
                                 "Store a setting: NAME and a text VALUE, or with "
                                 "--binary NAME and a PATH whose bytes are stored");
  set->add_flag("--binary", o->binary, "VALUE is a PATH whose bytes are stored as binary");
  set->add_option("NAME", o->name, "Value name")->required();
  set->add_option("VALUE", o->value, "Text value, or with --binary the PATH (- for standard input)")
      ->required()
      ->type_name("TEXT|PATH");
  OnRun(set, session, [o, &session] {
    NameSetting(*o, session);
    return SetCommand(*o);
  });

  auto* get = app.add_subcommand("get",
                                 "Print a stored setting (text with a line break; "
                                 "binary as raw bytes)");
  get->add_option("NAME", o->name, "Value name")->required();
  get->add_option("-o,--output", o->output,
                  "Write the value to PATH (replaced whole, mode 0600); - for standard output")
      ->capture_default_str()
      ->type_name("PATH");
  OnRun(get, session, [o, &session] {
    NameSetting(*o, session);
    return GetCommand(*o);
  });

  auto* list = app.add_subcommand("list", "List the stored settings: type and name, one a line");
  OnRun(list, session, [] { return ListCommand(); });

  auto* del = app.add_subcommand("delete", "Delete a stored setting");
  del->add_option("NAME", o->name, "Value name")->required();
  OnRun(del, session, [o, &session] {
    NameSetting(*o, session);
    return DeleteCommand(*o);
  });
  for (auto* sub : {set, get, list, del}) sub->footer(SettingsFooter(sub->get_name()));
}

}  // namespace tolvane::crypt
