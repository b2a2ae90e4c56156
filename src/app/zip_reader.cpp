#include "app/zip_reader.h"

#include <zlib.h>

#include <cstring>

#include "net/native_file.h"

namespace QuickKit {
namespace {

constexpr std::uint32_t kEndOfDirectorySignature = 0x06054b50;
constexpr std::uint32_t kDirectoryEntrySignature = 0x02014b50;
constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::size_t kEndOfDirectorySize = 22;
constexpr std::size_t kDirectoryEntrySize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::size_t kChunk = 16384;

const HRESULT kBadFormat = HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);

std::uint16_t Read16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t Read32(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(Read16(bytes, at)) |
         static_cast<std::uint32_t>(Read16(bytes, at + 2)) << 16;
}

HRESULT WriteAll(ISequentialStream* target, const void* data, std::size_t size) {
  const auto count = static_cast<std::uint32_t>(size);
  std::uint32_t written = 0;
  const HRESULT hr = target->Write(data, count, &written);
  if (FAILED(hr)) return hr;
  return written == count ? S_OK : HRESULT_FROM_WIN32(ERROR_DISK_FULL);
}

}  // namespace

HRESULT ZipArchive::Open(const std::string& path) {
  m_bytes.clear();
  m_entries.clear();
  ScopedNativeFile file;
  HRESULT hr = OpenFileForReading(path, &file);
  if (FAILED(hr)) return hr;
  WinFileAsSeqStream source(file.Get());
  std::string bytes;
  StringAsSeqStreamA target(&bytes);
  hr = CopyStream(&source, nullptr, &target, kUnknownTotal);
  if (FAILED(hr)) return hr;
  return OpenBytes(std::move(bytes));
}

HRESULT ZipArchive::OpenBytes(std::string bytes) {
  m_entries.clear();
  if (bytes.size() > kMaxArchiveSize) return kBadFormat;
  m_bytes = std::move(bytes);
  const HRESULT hr = ReadDirectory();
  if (FAILED(hr)) {
    m_bytes.clear();
    m_entries.clear();
  }
  return hr;
}

HRESULT ZipArchive::ReadDirectory() {
  const std::string& b = m_bytes;
  if (b.size() < kEndOfDirectorySize) return kBadFormat;
  // The end record sits at the very end, before a comment of up to 64 KiB.
  std::size_t end = b.size() - kEndOfDirectorySize;
  const std::size_t lowest = end > 0xFFFF ? end - 0xFFFF : 0;
  while (Read32(b, end) != kEndOfDirectorySignature) {
    if (end == lowest) return kBadFormat;
    --end;
  }
  const std::uint16_t disk = Read16(b, end + 4);
  const std::uint16_t directoryDisk = Read16(b, end + 6);
  const std::uint16_t count = Read16(b, end + 10);
  const std::uint32_t directorySize = Read32(b, end + 12);
  const std::uint32_t directoryOffset = Read32(b, end + 16);
  if (disk != 0 || directoryDisk != 0 || Read16(b, end + 8) != count) return kBadFormat;
  if (std::uint64_t{directoryOffset} + directorySize > end) return kBadFormat;

  std::size_t at = directoryOffset;
  for (std::uint16_t i = 0; i < count; ++i) {
    if (at + kDirectoryEntrySize > end || Read32(b, at) != kDirectoryEntrySignature) {
      return kBadFormat;
    }
    ZipEntry entry;
    entry.flags = Read16(b, at + 8);
    entry.method = Read16(b, at + 10);
    entry.crc = Read32(b, at + 16);
    entry.compressedSize = Read32(b, at + 20);
    entry.size = Read32(b, at + 24);
    const std::uint16_t nameLength = Read16(b, at + 28);
    const std::uint16_t extraLength = Read16(b, at + 30);
    const std::uint16_t commentLength = Read16(b, at + 32);
    entry.localHeaderOffset = Read32(b, at + 42);
    const std::size_t next = at + kDirectoryEntrySize + nameLength + extraLength + commentLength;
    if (next > end) return kBadFormat;
    entry.name.assign(b, at + kDirectoryEntrySize, nameLength);
    entry.isFolder = !entry.name.empty() && entry.name.back() == '/';
    m_entries.push_back(std::move(entry));
    at = next;
  }
  return S_OK;
}

HRESULT ZipArchive::Extract(const ZipEntry& entry, ISequentialStream* target) const {
  if (target == nullptr) return E_INVALIDARG;
  const std::string& b = m_bytes;
  const std::size_t header = entry.localHeaderOffset;
  if ((entry.flags & kFlagEncrypted) != 0) return E_NOTIMPL;
  if (entry.method != kMethodStored && entry.method != kMethodDeflated) return E_NOTIMPL;
  if (std::uint64_t{header} + kLocalHeaderSize > b.size() ||
      Read32(b, header) != kLocalHeaderSignature) {
    return kBadFormat;
  }
  const std::size_t data =
      header + kLocalHeaderSize + Read16(b, header + 26) + Read16(b, header + 28);
  if (std::uint64_t{data} + entry.compressedSize > b.size()) return kBadFormat;
  const auto* input = reinterpret_cast<const Bytef*>(b.data() + data);

  uLong crc = crc32(0, Z_NULL, 0);
  std::uint64_t produced = 0;
  HRESULT hr = S_OK;
  if (entry.method == kMethodStored) {
    if (entry.compressedSize != entry.size) return kBadFormat;
    for (std::size_t done = 0; done < entry.size && SUCCEEDED(hr);) {
      const std::size_t n = entry.size - done < kChunk ? entry.size - done : kChunk;
      crc = crc32(crc, input + done, static_cast<uInt>(n));
      hr = WriteAll(target, input + done, n);
      done += n;
    }
    produced = entry.size;
  } else {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return E_OUTOFMEMORY;
    z.next_in = const_cast<Bytef*>(input);
    z.avail_in = entry.compressedSize;
    Bytef out[kChunk];
    int status = Z_OK;
    while (status != Z_STREAM_END && SUCCEEDED(hr)) {
      z.next_out = out;
      z.avail_out = sizeof out;
      status = inflate(&z, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END) {
        hr = kBadFormat;  // damaged data, or input that ends too soon
        break;
      }
      const std::size_t n = sizeof out - z.avail_out;
      produced += n;
      // Never write past the size the directory promised.
      if (produced > entry.size) {
        hr = kBadFormat;
        break;
      }
      crc = crc32(crc, out, static_cast<uInt>(n));
      if (n != 0) hr = WriteAll(target, out, n);
      if (status == Z_OK && n == 0 && z.avail_in == 0) {
        hr = kBadFormat;
        break;
      }
    }
    inflateEnd(&z);
  }
  if (FAILED(hr)) return hr;
  if (produced != entry.size || crc != entry.crc) return kBadFormat;
  return S_OK;
}

}  // namespace QuickKit
