// The file methods of Blowfish: whole files in the length-prefixed format (see
// tolvane/core/encrypted_file.h), streamed and replaced atomically by the core.

#include <cstdint>
#include <exception>
#include <filesystem>

#include "tolvane/base/error.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/cipher/failure_labels.h"
#include "tolvane/core/ecb.h"
#include "tolvane/core/encrypted_file.h"
#include "tolvane/core/key_schedule.h"
#include "tolvane/errors/report.h"
#include "tolvane/errors/reported_call.h"

namespace tolvane {
namespace {

// The caller's progress callback, with anything it throws that is not a standard exception
// reported as its own failure rather than as a failure to allocate.
ProgressFunction Guarded(const Blowfish::ProgressCallback& callback) {
  if (!callback) return {};
  return [&callback](std::uint64_t done, std::uint64_t total) {
    try {
      callback(done, total);
    } catch (const std::exception&) {
      throw;
    } catch (...) {
      throw Error(kErrInternal, "The progress callback failed");
    }
  };
}

}  // namespace

FileKeyCheck Blowfish::CheckEncryptedFile(const std::filesystem::path& strFileSrc) const {
  if (!schedule_) throw NotKeyedError();
  return tolvane::CheckEncryptedFile(*schedule_, strFileSrc).key_checked
             ? FileKeyCheck::kKeyFits
             : FileKeyCheck::kKeyNotCheckable;
}

void Blowfish::SetProgressCallback(ProgressCallback callback) { progress_ = std::move(callback); }

void Blowfish::sFileEncrypt(const std::filesystem::path& strFileSrc,
                            const std::filesystem::path& strFileTrg) {
  RunReported(face::kFileEncrypt, [&] {
    if (!schedule_) throw NotKeyedError();
    EncryptFile(*schedule_, CipherThreadsOf(), strFileSrc, strFileTrg, Guarded(progress_));
  });
}

void Blowfish::sFileDecrypt(const std::filesystem::path& strFileSrc,
                            const std::filesystem::path& strFileTrg) {
  RunReported(face::kFileDecrypt, [&] {
    if (!schedule_) throw NotKeyedError();
    try {
      DecryptFile(*schedule_, CipherThreadsOf(), strFileSrc, strFileTrg, Guarded(progress_));
    } catch (const Error& error) {
      // Cipher data of no whole blocks is what sDecrypt refuses: shown under its label, as
      // when it refused them itself.
      const std::string_view label = face::FailureLabel(face::Operation::kDecryptFile, error);
      if (label == face::kFileDecrypt) throw;
      ReportError(label, error);
    }
  });
}

}  // namespace tolvane
