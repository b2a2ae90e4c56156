// The bytes of the Linux page bridge, shared by the web-process extension
// (which cannot link the program's libraries) and the user-interface side:
// header-only, standard library only.
//
// A connection starts with one frame holding the token, then carries
// request/reply pairs. Every frame is a 4-byte little-endian length and
// that many bytes. A request is the method name, a NUL, and the arguments
// as a JSON array; a reply is one kind byte (kReplyResult or kReplyError)
// and the result as JSON (empty: the method returns nothing) or the error
// text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace UiDeck::bridge_wire {

constexpr std::size_t kHeaderSize = 4;
// Large enough for any document the page reads; a larger frame ends the
// connection rather than the memory.
constexpr std::uint32_t kMaxFrameSize = 64u << 20;
constexpr char kReplyResult = 'R';
constexpr char kReplyError = 'E';
// The socket's name inside the private runtime folder.
constexpr const char* kSocketName = "bridge.sock";

inline void AppendFrame(std::string& out, std::string_view payload) {
  const auto size = static_cast<std::uint32_t>(payload.size());
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((size >> shift) & 0xFF);
  out.append(payload);
}

// The length in a frame header (kHeaderSize bytes).
inline std::uint32_t FrameSize(const char* header) {
  std::uint32_t size = 0;
  for (int i = 3; i >= 0; --i) size = (size << 8) | static_cast<unsigned char>(header[i]);
  return size;
}

inline std::string Request(std::string_view method, std::string_view argsJson) {
  std::string payload;
  payload.reserve(method.size() + 1 + argsJson.size());
  payload.append(method);
  payload += '\0';
  payload.append(argsJson);
  return payload;
}

// Splits a request payload; false when it holds no NUL.
inline bool SplitRequest(std::string_view payload, std::string_view* method,
                         std::string_view* argsJson) {
  const std::size_t nul = payload.find('\0');
  if (nul == std::string_view::npos) return false;
  *method = payload.substr(0, nul);
  *argsJson = payload.substr(nul + 1);
  return true;
}

inline std::string Reply(bool ok, std::string_view text) {
  std::string payload(1, ok ? kReplyResult : kReplyError);
  payload.append(text);
  return payload;
}

// Collects received bytes and hands out whole frames.
class FrameReader {
 public:
  void Append(std::string_view bytes) { m_buffer.append(bytes); }

  // The next whole frame's payload, or nullopt when more bytes are needed
  // or the stream announced a frame larger than kMaxFrameSize (Broken()).
  std::optional<std::string> Next() {
    if (m_broken || m_buffer.size() - m_offset < kHeaderSize) return std::nullopt;
    const std::uint32_t size = FrameSize(m_buffer.data() + m_offset);
    if (size > kMaxFrameSize) {
      m_broken = true;
      return std::nullopt;
    }
    if (m_buffer.size() - m_offset - kHeaderSize < size) return std::nullopt;
    std::string payload = m_buffer.substr(m_offset + kHeaderSize, size);
    m_offset += kHeaderSize + size;
    if (m_offset == m_buffer.size()) {
      m_buffer.clear();
      m_offset = 0;
    } else if (m_offset > m_buffer.size() / 2) {
      m_buffer.erase(0, m_offset);
      m_offset = 0;
    }
    return payload;
  }

  bool Broken() const { return m_broken; }

 private:
  std::string m_buffer;
  std::size_t m_offset = 0;
  bool m_broken = false;
};

}  // namespace UiDeck::bridge_wire
