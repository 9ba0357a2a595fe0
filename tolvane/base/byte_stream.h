#ifndef TOLVANE_BASE_BYTE_STREAM_H_
#define TOLVANE_BASE_BYTE_STREAM_H_

#include <cstdint>
#include <span>

namespace tolvane {

// Where the core's streaming reads bytes from: a file of known size, read from its start on.
// The file layer implements it (InputFile); so may a test or another host. Failures throw
// tolvane::Error.
class ByteSource {
 public:
  // The number of bytes the source holds.
  virtual std::uint64_t size() const noexcept = 0;
  // Fills `buffer` with the next bytes; throws when the source ends first.
  virtual void ReadExactly(std::span<std::uint8_t> buffer) = 0;
  // Fills `buffer` from `offset` on, without moving where ReadExactly goes on.
  virtual void ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) = 0;

 protected:
  ~ByteSource() = default;
};

// Where the core's streaming writes bytes to, in order: a file being replaced
// (AtomicFileWriter), standard output, a buffer. Failures throw tolvane::Error.
class ByteSink {
 public:
  virtual void Write(std::span<const std::uint8_t> bytes) = 0;

 protected:
  ~ByteSink() = default;
};

}  // namespace tolvane

#endif  // TOLVANE_BASE_BYTE_STREAM_H_
