// UTF-8 text <-> std::filesystem::path, the same on both ports (a path
// made from a plain std::string would use the ANSI code page on Windows).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace QuickKit {

inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

inline std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace QuickKit
