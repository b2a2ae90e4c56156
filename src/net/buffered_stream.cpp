#include "net/buffered_stream.h"

#include <algorithm>
#include <cstring>

namespace QuickKit {

BufferedSeqStream::BufferedSeqStream(ISequentialStream* target, std::uint32_t capacity)
    : m_target(target), m_buffer(capacity == 0 ? 1 : capacity) {}

BufferedSeqStream::~BufferedSeqStream() { (void)Flush(); }

HRESULT BufferedSeqStream::Flush() {
  if (FAILED(m_failure)) return m_failure;
  if (m_target == nullptr) return m_used == 0 ? S_OK : E_POINTER;
  std::size_t done = 0;
  while (done < m_used) {
    std::uint32_t written = 0;
    const HRESULT hr = m_target->Write(m_buffer.data() + done,
                                       static_cast<std::uint32_t>(m_used - done), &written);
    if (FAILED(hr)) {
      m_failure = hr;
      return hr;
    }
    if (written == 0) {  // a target that takes nothing would loop for ever
      m_failure = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
      return m_failure;
    }
    done += written;
  }
  m_used = 0;
  return S_OK;
}

HRESULT BufferedSeqStream::Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  if (bytesRead != nullptr) *bytesRead = 0;
  const HRESULT hr = Flush();
  if (FAILED(hr)) return hr;
  return m_target->Read(buffer, count, bytesRead);
}

HRESULT BufferedSeqStream::Write(const void* buffer, std::uint32_t count,
                                 std::uint32_t* bytesWritten) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (FAILED(m_failure)) return m_failure;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    if (m_used == m_buffer.size()) {
      const HRESULT hr = Flush();
      if (FAILED(hr)) return hr;
    }
    const std::size_t take = std::min<std::size_t>(m_buffer.size() - m_used, count - done);
    std::memcpy(m_buffer.data() + m_used, bytes + done, take);
    m_used += take;
    done += static_cast<std::uint32_t>(take);
  }
  if (bytesWritten != nullptr) *bytesWritten = done;
  return S_OK;
}

}  // namespace QuickKit
