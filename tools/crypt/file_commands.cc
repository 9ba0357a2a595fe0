// encrypt-file, decrypt-file and check: files in the length-prefixed format.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "tolvane/base/byte_stream.h"
#include "tolvane/base/error.h"
#include "tolvane/cipher/failure_labels.h"
#include "tolvane/core/encrypted_file.h"
#include "tolvane/platform/file_system.h"
#include "tools/crypt/command.h"
#include "tools/crypt/interrupts.h"
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

// Standard output as the end of the streaming: the bytes go out as they are made. A failure to
// write is the tool's own, not the cipher's, and is reported as such.
class StdoutSink final : public ByteSink {
 public:
  void Write(std::span<const std::uint8_t> bytes) override {
    try {
      WriteStdout(bytes);
    } catch (...) {
      failed_ = true;
      throw;
    }
  }
  bool failed() const noexcept { return failed_; }

 private:
  bool failed_ = false;
};

// Encrypts or decrypts SRC into DST. Decryption runs every check of the format and the key
// before its first byte is written, so a refused file leaves DST as it was and, for standard
// output, prints nothing.
int FileCommand(const FileOptions& o, Session& session, bool encrypt) {
  DecideCodePage(session, o.code_page);
  session.context = session.command + " " + Quote(o.src);
  RequireOneUseOfStdin(o.key, IsStdStream(o.src));
  if (IsStdStream(o.dst)) RequireStdStream(1);
  const KeySchedule key = ReadKeySchedule(o, session, encrypt);
  std::optional<StdinSpool> spool;
  if (IsStdStream(o.src)) spool.emplace();
  const std::filesystem::path source_path = spool ? spool->path() : PathFromUtf8(o.src);

  ProgressDisplay progress(o.quiet      ? ProgressDisplay::Mode::kSilent
                           : o.progress ? ProgressDisplay::Mode::kForced
                                        : ProgressDisplay::Mode::kAuto);
  const ProgressFunction show = [&progress](std::uint64_t done, std::uint64_t total) {
    progress.Update(done, total);
  };
  StdoutSink stdout_sink;
  try {
    InputFile source(source_path);
    std::optional<EncryptedLayout> layout;
    if (encrypt) {
      CheckPlainLength(source.size());
    } else {
      layout = ReadEncryptedHeader(key, source, source_path);
    }
    std::optional<AtomicFileWriter> writer;
    if (!IsStdStream(o.dst)) writer.emplace(PathFromUtf8(o.dst), &source);
    ByteSink& sink = writer ? static_cast<ByteSink&>(*writer) : stdout_sink;
    if (encrypt) {
      EncryptStream(key, ThreadsOf(o), source, sink, show);
    } else {
      DecryptStream(key, ThreadsOf(o), source, *layout, sink, show);
    }
    source.Close();
    if (writer) CommitUninterrupted([&writer] { writer->Commit(); });
  } catch (const Error& error) {
    progress.EndLine();
    if (stdout_sink.failed()) throw;
    const Error named = spool ? NamingStdin(error, spool->path()) : error;
    return ReportFailure(
        session,
        face::FailureLabel(encrypt ? face::Operation::kEncryptFile : face::Operation::kDecryptFile,
                           named),
        named);
  }
  return kExitOk;
}

// Runs the checks decryption makes before writing anything; says on standard error what it
// found, and whether the key could be checked at all.
int CheckCommand(const CipherOptions& o, const std::string& file, Session& session) {
  DecideCodePage(session, o.code_page);
  session.context = session.command + " " + Quote(file);
  RequireOneUseOfStdin(o.key, IsStdStream(file));
  const KeySchedule key = ReadKeySchedule(o, session, false);
  std::optional<StdinSpool> spool;
  if (IsStdStream(file)) spool.emplace();
  const std::filesystem::path path = spool ? spool->path() : PathFromUtf8(file);
  EncryptedLayout layout;
  try {
    InputFile source(path);
    layout = ReadEncryptedHeader(key, source, path);
  } catch (const Error& e) {
    const Error named = spool ? NamingStdin(e, spool->path()) : e;
    PrintMessage(session.context + ": " + std::to_string(named.number()) + " - " +
                 named.description());
    return kExitFailed;
  }
  PrintMessage(session.context + ": " +
               (layout.key_checked
                    ? "in the format, and the key fits"
                    : "in the format; the key cannot be checked, since the plaintext's length is "
                      "a multiple of 8 (no padding to test it against)"));
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
  AddCodePageOption(check, o->code_page);
  OnRun(check, session, [o, &session] { return CheckCommand(*o, o->src, session); });
}

}  // namespace tolvane::crypt
