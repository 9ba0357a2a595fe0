// encrypt-file, decrypt-file and check: files in the length-prefixed format.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "tolvane/base/error.h"
#include "tools/crypt/command.h"
#include "tools/crypt/io.h"
#include "tools/crypt/progress.h"
#include "tools/crypt/stream_files.h"

namespace tolvane::crypt {
namespace {

struct FileOptions : CipherOptions {
  std::string src, dst;
  bool progress = false;
  bool quiet = false;
};

int FileCommand(const FileOptions& o, Session& session, bool encrypt) {
  ApplyCodePage(o.code_page);
  session.context = session.command + " " + Quote(o.src);
  RequireOneUseOfStdin(o.key, IsStdStream(o.src));
  Blowfish bf = KeyedCipher(o, session, encrypt);
  // The staging folder first: an interrupt while standard input is still being read then
  // finds it and removes it.
  std::optional<StdoutStaging> staging;
  if (IsStdStream(o.dst)) staging.emplace();
  const std::filesystem::path target = staging ? staging->target() : PathFromUtf8(o.dst);
  std::optional<StdinSpool> spool;
  if (IsStdStream(o.src)) spool.emplace();
  const std::filesystem::path source = spool ? spool->path() : PathFromUtf8(o.src);

  ProgressDisplay progress(o.quiet      ? ProgressDisplay::Mode::kSilent
                           : o.progress ? ProgressDisplay::Mode::kForced
                                        : ProgressDisplay::Mode::kAuto);
  bf.SetProgressCallback(
      [&progress](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); });
  session.progress = &progress;
  if (encrypt) {
    bf.sFileEncrypt(source, target);
  } else {
    bf.sFileDecrypt(source, target);
  }
  session.progress = nullptr;
  if (session.messages_shown != 0) return kExitFailed;
  if (staging) staging->SendToStdout();
  return kExitOk;
}

// Runs the checks decryption makes before writing anything; says on standard error what it
// found, and whether the key could be checked at all.
int CheckCommand(const CipherOptions& o, const std::string& file, Session& session) {
  session.context = session.command + " " + Quote(file);
  RequireOneUseOfStdin(o.key, IsStdStream(file));
  const Blowfish bf = KeyedCipher(o, session, false);
  std::optional<StdinSpool> spool;
  if (IsStdStream(file)) spool.emplace();
  FileKeyCheck result;
  try {
    result = bf.CheckEncryptedFile(spool ? spool->path() : PathFromUtf8(file));
  } catch (const Error& e) {
    std::fprintf(stderr, "tolvane-crypt: %s: %d - %s\n", session.context.c_str(), e.number(),
                 e.description().c_str());
    return kExitFailed;
  }
  std::fprintf(stderr, "tolvane-crypt: %s: %s\n", session.context.c_str(),
               result == FileKeyCheck::kKeyFits
                   ? "in the format, and the key fits"
                   : "in the format; the key cannot be checked, since the plaintext's length is "
                     "a multiple of 8 (no padding to test it against)");
  return kExitOk;
}

}  // namespace

void AddFileCommands(CLI::App& app, Session& session) {
  auto o = std::make_shared<FileOptions>();
  auto* enc_file = AddDocumentedSubcommand(app, "encrypt-file");
  auto* dec_file = AddDocumentedSubcommand(app, "decrypt-file");
  for (auto* sub : {enc_file, dec_file}) {
    sub->add_option("SRC", o->src, Help(sub, "SRC"))->required()->type_name("PATH");
    sub->add_option("DST", o->dst, Help(sub, "DST"))->required()->type_name("PATH");
    AddKeyOptions(sub, o->key);
    AddThreadsOption(sub, o->threads);
    AddCodePageOption(sub, o->code_page);
    auto* progress = sub->add_flag("--progress", o->progress, Help(sub, "--progress"));
    sub->add_flag("--quiet", o->quiet, Help(sub, "--quiet"))->excludes(progress);
  }
  OnRun(enc_file, session, [o, &session] { return FileCommand(*o, session, true); });
  OnRun(dec_file, session, [o, &session] { return FileCommand(*o, session, false); });

  auto* check = AddDocumentedSubcommand(app, "check");
  check->add_option("FILE", o->src, Help(check, "FILE"))->required()->type_name("PATH");
  AddKeyOptions(check, o->key);
  OnRun(check, session, [o, &session] { return CheckCommand(*o, o->src, session); });
}

}  // namespace tolvane::crypt
