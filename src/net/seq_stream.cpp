#include "net/seq_stream.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace QuickKit {
namespace {

void SetCount(std::uint32_t* out, std::uint32_t value) {
  if (out != nullptr) *out = value;
}

// Shared by the memory and string streams: copy what is left from position.
HRESULT ReadAt(const std::uint8_t* data, std::size_t size, std::uint32_t& position, void* buffer,
               std::uint32_t count, std::uint32_t* bytesRead) {
  const std::size_t left = size > position ? size - position : 0;
  const auto n = static_cast<std::uint32_t>(count < left ? count : left);
  if (n != 0) std::memcpy(buffer, data + position, n);
  position += n;
  SetCount(bytesRead, n);
  return count > left ? S_FALSE : S_OK;
}

}  // namespace

MemoryAsSeqStream::MemoryAsSeqStream(void* data, std::uint32_t size)
    : m_data(static_cast<std::uint8_t*>(data)), m_readData(m_data), m_size(size) {}

MemoryAsSeqStream::MemoryAsSeqStream(const void* data, std::uint32_t size)
    : m_data(nullptr), m_readData(static_cast<const std::uint8_t*>(data)), m_size(size) {}

HRESULT MemoryAsSeqStream::Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  return ReadAt(m_readData, m_size, m_position, buffer, count, bytesRead);
}

HRESULT MemoryAsSeqStream::Write(const void* buffer, std::uint32_t count,
                                 std::uint32_t* bytesWritten) {
  SetCount(bytesWritten, 0);
  if (m_data == nullptr) return E_ACCESSDENIED;
  // In 64 bits: position + count must not wrap around.
  if (std::uint64_t{m_position} + count > m_size) return E_OUTOFMEMORY;
  if (count != 0) std::memcpy(m_data + m_position, buffer, count);
  m_position += count;
  SetCount(bytesWritten, count);
  return S_OK;
}

StringAsSeqStreamA::StringAsSeqStreamA(std::string* target) : m_target(target) {}

HRESULT StringAsSeqStreamA::Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  return ReadAt(reinterpret_cast<const std::uint8_t*>(m_target->data()), m_target->size(),
                m_position, buffer, count, bytesRead);
}

HRESULT StringAsSeqStreamA::Write(const void* buffer, std::uint32_t count,
                                  std::uint32_t* bytesWritten) {
  SetCount(bytesWritten, 0);
  const std::uint64_t end = std::uint64_t{m_position} + count;
  if (end > std::numeric_limits<std::uint32_t>::max())
    return E_OUTOFMEMORY;  // the position could not follow
  try {
    m_target->resize(static_cast<std::size_t>(end));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;
  }
  if (count != 0) std::memcpy(m_target->data() + m_position, buffer, count);
  m_position = static_cast<std::uint32_t>(end);
  SetCount(bytesWritten, count);
  return S_OK;
}

WinFileAsSeqStream::WinFileAsSeqStream(NativeFile file) : m_file(file) {}

HRESULT NullSeqStream::Read(void*, std::uint32_t, std::uint32_t* bytesRead) {
  SetCount(bytesRead, 0);
  return S_FALSE;
}

HRESULT NullSeqStream::Write(const void*, std::uint32_t, std::uint32_t*) { return S_OK; }

HRESULT CopyStream(ISequentialStream* source, IProgressCallback* callback,
                   ISequentialStream* target, std::uint32_t total) {
  if (source == nullptr || target == nullptr) return E_INVALIDARG;

  std::uint8_t buffer[kCopyChunkSize];
  std::uint32_t done = 0;
  std::uint32_t read = 0;
  HRESULT hr = source->Read(buffer, kCopyChunkSize, &read);
  if (FAILED(hr)) return hr;
  // Only a read of zero bytes ends the loop: S_FALSE from a short read
  // does not.
  while (read != 0) {
    if (callback != nullptr && callback->IsCancelled()) return E_ABORT;
    std::uint32_t written = 0;
    hr = target->Write(buffer, read, &written);
    if (FAILED(hr)) return hr;
    done += written;
    if (callback != nullptr) {
      if (callback->IsCancelled()) return E_ABORT;
      callback->OnProgress(done, total);
    }
    read = 0;
    hr = source->Read(buffer, kCopyChunkSize, &read);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace QuickKit
