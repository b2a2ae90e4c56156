// Reads zip archives (stored and deflated entries) with zlib's inflate.
//
// Only what the layout archive needs: no encryption, no ZIP64, no
// multi-disk archives; such entries are refused, not guessed at. Each
// entry's CRC-32 and size are checked while it is extracted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/seq_stream.h"

namespace QuickKit {

struct ZipEntry {
  std::string name;  // as stored: UTF-8, '/' between folders
  bool isFolder = false;
  std::uint16_t method = 0;  // 0 stored, 8 deflated
  std::uint16_t flags = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t size = 0;
  std::uint32_t localHeaderOffset = 0;
};

class ZipArchive {
 public:
  // Largest archive read into memory; the layout is a few hundred KiB.
  static constexpr std::uint64_t kMaxArchiveSize = 256u << 20;

  // Reads the archive's file and its central directory.
  // HRESULT_FROM_WIN32(ERROR_BAD_FORMAT) for anything that is not a
  // readable zip archive.
  HRESULT Open(const std::string& path);
  // The same over bytes already in memory (copied).
  HRESULT OpenBytes(std::string bytes);

  // In archive order.
  const std::vector<ZipEntry>& Entries() const { return m_entries; }

  // Writes the entry's content to target. A damaged entry (bad data, CRC
  // or size) fails with ERROR_BAD_FORMAT after whatever was written.
  HRESULT Extract(const ZipEntry& entry, ISequentialStream* target) const;

 private:
  HRESULT ReadDirectory();

  std::string m_bytes;
  std::vector<ZipEntry> m_entries;
};

}  // namespace QuickKit
