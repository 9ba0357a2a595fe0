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
#include "tools/crypt/io.h"
#include "tools/crypt/printable.h"

namespace tolvane::crypt {
namespace {

struct SettingsOptions {
  std::string name, value, input = "-", output = "-";
  bool binary = false;
};

int Base64DecodeCommand(const SettingsOptions& o, Session& session) {
  session.context = session.command + " " + Quote(o.input);
  std::vector<std::uint8_t> bytes = Base64Decode(AsText(ReadText(o.input, kMaxInputBytes)));
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
    // Padded to one width, in RegValueType's order.
    static constexpr const char* kTypes[] = {"text    ", "binary  ", "expand  ", "multi   ",
                                             "dword   ", "qword   ", "other   "};
    listing += kTypes[static_cast<std::size_t>(value.type)];
    listing += ListedName(value.name) + "\n";
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
  auto* b64 = AddDocumentedSubcommand(app, "base64-decode");
  b64->add_option("INPUT", o->input, Help(b64, "INPUT"))->capture_default_str()->type_name("PATH");
  b64->add_option("-o,--output", o->output, Help(b64, "-o,--output"))
      ->capture_default_str()
      ->type_name("PATH");
  OnRun(b64, session, [o, &session] { return Base64DecodeCommand(*o, session); });

  auto* set = AddDocumentedSubcommand(app, "set");
  set->add_flag("--binary", o->binary, Help(set, "--binary"));
  set->add_option("NAME", o->name, Help(set, "NAME"))->required();
  set->add_option("VALUE", o->value, Help(set, "VALUE"))->required()->type_name("TEXT|PATH");
  OnRun(set, session, [o, &session] {
    NameSetting(*o, session);
    return SetCommand(*o);
  });

  auto* get = AddDocumentedSubcommand(app, "get");
  get->add_option("NAME", o->name, Help(get, "NAME"))->required();
  get->add_option("-o,--output", o->output, Help(get, "-o,--output"))
      ->capture_default_str()
      ->type_name("PATH");
  OnRun(get, session, [o, &session] {
    NameSetting(*o, session);
    return GetCommand(*o);
  });

  auto* list = AddDocumentedSubcommand(app, "list");
  OnRun(list, session, [] { return ListCommand(); });

  auto* del = AddDocumentedSubcommand(app, "delete");
  del->add_option("NAME", o->name, Help(del, "NAME"))->required();
  OnRun(del, session, [o, &session] {
    NameSetting(*o, session);
    return DeleteCommand(*o);
  });
}

}  // namespace tolvane::crypt
