// A write buffer in front of another stream. CopyStream moves 512 bytes at
// a time; written straight into a file that is one system call per chunk.
// This sink gathers the chunks and hands the target large blocks instead.
#pragma once

#include <cstdint>
#include <vector>

#include "net/seq_stream.h"

namespace QuickKit {

class BufferedSeqStream : public ISequentialStream {
 public:
  static constexpr std::uint32_t kDefaultCapacity = 256 * 1024;

  // target is not owned and must outlive this object.
  explicit BufferedSeqStream(ISequentialStream* target, std::uint32_t capacity = kDefaultCapacity);
  // Writes what is still buffered; its result is lost here, so callers
  // that care call Flush first.
  ~BufferedSeqStream() override;

  BufferedSeqStream(const BufferedSeqStream&) = delete;
  BufferedSeqStream& operator=(const BufferedSeqStream&) = delete;

  // Flushes, then reads from the target.
  HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
  // Takes the bytes into the buffer, writing it out whenever it fills. A
  // failure of the target is returned by this or the next Write and by
  // every later Flush.
  HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override;
  // Writes out everything buffered; S_OK only when the target took it all.
  HRESULT Flush();

 private:
  ISequentialStream* m_target;
  std::vector<std::uint8_t> m_buffer;
  std::size_t m_used = 0;
  HRESULT m_failure = S_OK;
};

}  // namespace QuickKit
