#include "catalogue/catalogue_tables.h"

namespace bright_setup {

std::int32_t ProductIndexFromId(std::string_view id) {
  for (std::int32_t i = 0; i < kProductCount; ++i) {
    if (kProductTable[static_cast<std::size_t>(i)].id == id) return i;
  }
  return kProductCount;
}

std::int32_t AreaIndexFromName(std::string_view name) {
  for (std::int32_t i = 0; i < kAreaCount; ++i) {
    if (kAreaTable[static_cast<std::size_t>(i)] == name) return i;
  }
  return kAreaCount;
}

std::string_view ProductId(std::int32_t productIndex) {
  if (productIndex < 0 || productIndex >= kProductCount) return {};
  return kProductTable[static_cast<std::size_t>(productIndex)].id;
}

std::string_view ProductDisplayCode(std::int32_t productIndex) {
  if (productIndex < 0 || productIndex >= kProductCount) return {};
  return kProductTable[static_cast<std::size_t>(productIndex)].displayCode;
}

std::string_view AreaName(std::int32_t areaIndex) {
  if (areaIndex < 0 || areaIndex >= kAreaCount) return {};
  return kAreaTable[static_cast<std::size_t>(areaIndex)];
}

}  // namespace bright_setup
