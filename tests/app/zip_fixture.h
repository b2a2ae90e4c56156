// Builds small zip archives in memory for the tests, hostile ones included.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace QuickKit::testing_zip {

struct FixtureEntry {
  std::string name;
  std::string content;
  bool deflate = true;
};

inline void Put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

inline std::string RawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// crcOverride: when not 0, written instead of the real CRC (damaged entry).
inline std::string MakeZip(const std::vector<FixtureEntry>& entries,
                           std::uint32_t crcOverride = 0) {
  std::string local, directory;
  for (const FixtureEntry& e : entries) {
    const bool folder = !e.name.empty() && e.name.back() == '/';
    const bool deflated = e.deflate && !folder;
    const std::string data = deflated ? RawDeflate(e.content) : e.content;
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(e.content.data()), static_cast<uInt>(e.content.size())));
    if (crcOverride != 0 && !folder) crc = crcOverride;
    const auto offset = static_cast<std::uint32_t>(local.size());
    const std::uint16_t method = deflated ? 8 : 0;
    Put32(local, 0x04034b50);
    Put16(local, 20);
    Put16(local, 0x0800);  // names are UTF-8
    Put16(local, method);
    Put32(local, 0);
    Put32(local, crc);
    Put32(local, static_cast<std::uint32_t>(data.size()));
    Put32(local, static_cast<std::uint32_t>(e.content.size()));
    Put16(local, static_cast<std::uint32_t>(e.name.size()));
    Put16(local, 0);
    local += e.name;
    local += data;

    Put32(directory, 0x02014b50);
    Put16(directory, 20);
    Put16(directory, 20);
    Put16(directory, 0x0800);
    Put16(directory, method);
    Put32(directory, 0);
    Put32(directory, crc);
    Put32(directory, static_cast<std::uint32_t>(data.size()));
    Put32(directory, static_cast<std::uint32_t>(e.content.size()));
    Put16(directory, static_cast<std::uint32_t>(e.name.size()));
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put32(directory, 0);
    Put32(directory, offset);
    directory += e.name;
  }
  std::string zip = local + directory;
  Put32(zip, 0x06054b50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<std::uint32_t>(entries.size()));
  Put16(zip, static_cast<std::uint32_t>(entries.size()));
  Put32(zip, static_cast<std::uint32_t>(directory.size()));
  Put32(zip, static_cast<std::uint32_t>(local.size()));
  Put16(zip, 0);
  return zip;
}

}  // namespace QuickKit::testing_zip
