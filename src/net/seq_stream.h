// Sequential streams and the program's one copy loop.
//
// Every transfer of bytes - a download into a file or into memory, an
// embedded resource written to disk, an HTTP response drained - is a
// CopyStream from one stream into another. Stream objects are owned by
// the code that creates them (usually locals) and never close or free what
// they wrap. Each is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "support/hresult.h"

namespace QuickKit {

// Read and Write follow ISequentialStream: the count pointers may be null.
class ISequentialStream {
 public:
  virtual ~ISequentialStream() = default;
  virtual HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) = 0;
  virtual HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) = 0;
};

// What Stat reports of a stream: only a name and a byte size.
struct StreamStat {
  std::string name;
  std::uint64_t size = 0;
};

constexpr std::uint32_t STATFLAG_DEFAULT = 0;
constexpr std::uint32_t STATFLAG_NONAME = 1;
// Stat's size when the length is not known.
constexpr std::uint64_t kUnknownStreamSize = ~std::uint64_t{0};
// CopyStream's total when the length is not known: the low 32 bits of
// kUnknownStreamSize, which is what a download passes on from Stat.
constexpr std::uint32_t kUnknownTotal = static_cast<std::uint32_t>(kUnknownStreamSize);

class IStream : public ISequentialStream {
 public:
  // Fills the name (unless flags has STATFLAG_NONAME) and the size.
  virtual HRESULT Stat(StreamStat* stat, std::uint32_t flags) = 0;
};

// Consulted by CopyStream around every chunk.
class IProgressCallback {
 public:
  virtual ~IProgressCallback() = default;
  virtual void OnProgress(std::uint32_t done, std::uint32_t total) = 0;
  virtual bool IsCancelled() = 0;
};

// A caller's memory block of fixed size. Read and Write share one position.
class MemoryAsSeqStream : public ISequentialStream {
 public:
  MemoryAsSeqStream(void* data, std::uint32_t size);
  // Read-only: Write fails with E_ACCESSDENIED (resources are read-only pages).
  MemoryAsSeqStream(const void* data, std::uint32_t size);

  // S_FALSE when fewer bytes than asked were left, else S_OK.
  HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
  // E_OUTOFMEMORY, writing nothing, when the block has no room for all.
  HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override;

 private:
  std::uint8_t* m_data;
  const std::uint8_t* m_readData;
  std::uint32_t m_size;
  std::uint32_t m_position = 0;
};

// A caller's byte string. Writes resize it to end exactly after the bytes
// written.
class StringAsSeqStreamA : public ISequentialStream {
 public:
  explicit StringAsSeqStreamA(std::string* target);

  HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
  HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override;

 private:
  std::string* m_target;
  std::uint32_t m_position = 0;
};

#ifdef _WIN32
using NativeFile = void*;  // a HANDLE from CreateFileW
#else
using NativeFile = int;  // a file descriptor
#endif

// An open file, read and written synchronously at its current offset.
class WinFileAsSeqStream : public ISequentialStream {
 public:
  explicit WinFileAsSeqStream(NativeFile file);

  // S_OK with the count read, 0 at end of file.
  HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
  // S_OK only when every byte was written.
  HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override;

 private:
  NativeFile m_file;
};

// Reads nothing (S_FALSE), swallows every write (S_OK).
class NullSeqStream : public ISequentialStream {
 public:
  HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
  // Leaves *bytesWritten as it was.
  HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override;
};

// Size of the chunks CopyStream moves.
constexpr std::uint32_t kCopyChunkSize = 512;

// Copies source into target until a read delivers no bytes. total is handed
// to the callback untouched (the expected size, or kUnknownTotal).
// Returns E_INVALIDARG without a source or target, E_ABORT when the
// callback cancels, the first failing Read or Write result, else S_OK.
HRESULT CopyStream(ISequentialStream* source, IProgressCallback* callback,
                   ISequentialStream* target, std::uint32_t total);

}  // namespace QuickKit
