#include "demo/qr_png.h"

#include <qrencode.h>
#include <zlib.h>

#include <cstdint>

namespace norvane_demo {
namespace {

void AppendUint32(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value >> 24);
  out += static_cast<char>((value >> 16) & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
  out += static_cast<char>(value & 0xFF);
}

// length, type, data, CRC-32 of type and data.
void AppendChunk(std::string& png, const char* type, const std::string& data) {
  AppendUint32(png, static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(body.data()),
                          static_cast<uInt>(body.size()));
  AppendUint32(png, static_cast<std::uint32_t>(crc));
}

}  // namespace

QrModules EncodeQr(std::string_view text) {
  QrModules modules;
  const std::string input(text);
  // Level M, byte mode, case kept: any URL encodes as it is.
  QRcode* code = QRcode_encodeString(input.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
  if (code == nullptr) return modules;
  modules.width = code->width;
  const auto count = static_cast<std::size_t>(code->width) * static_cast<std::size_t>(code->width);
  modules.dark.resize(count);
  for (std::size_t i = 0; i < count; ++i) modules.dark[i] = (code->data[i] & 1) != 0;
  QRcode_free(code);
  return modules;
}

std::string QrPng(const QrModules& modules) {
  if (modules.width <= 0) return {};
  const int side = (modules.width + 2 * kQrMargin) * kQrScale;
  const auto sideSize = static_cast<std::size_t>(side);

  // Filter type 0 (none) before each row of 8-bit grey pixels.
  std::string raw;
  raw.reserve((sideSize + 1) * sideSize);
  for (int y = 0; y < side; ++y) {
    raw += '\0';
    const int row = y / kQrScale - kQrMargin;
    for (int x = 0; x < side; ++x) {
      const int column = x / kQrScale - kQrMargin;
      const bool inside = row >= 0 && row < modules.width && column >= 0 && column < modules.width;
      const bool dark =
          inside &&
          modules.dark[static_cast<std::size_t>(row) * static_cast<std::size_t>(modules.width) +
                       static_cast<std::size_t>(column)];
      raw += dark ? '\0' : '\xFF';
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    return {};
  }
  packed.resize(packedSize);

  std::string header;
  AppendUint32(header, static_cast<std::uint32_t>(side));
  AppendUint32(header, static_cast<std::uint32_t>(side));
  header += std::string("\x08\x00\x00\x00\x00", 5);  // 8 bits, greyscale, deflate, no interlace

  std::string png("\x89PNG\r\n\x1A\n", 8);
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", packed);
  AppendChunk(png, "IEND", {});
  return png;
}

}  // namespace norvane_demo
