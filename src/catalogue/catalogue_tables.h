// The fixed product and area tables. A product's or area's position in its
// table is its index everywhere in the program.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace bright_setup {

struct ProductRecord {
  std::string_view id;           // the page's name, lower case
  std::string_view displayCode;  // catalogue keys and statistics
};

inline constexpr std::int32_t kProductCount = 8;
inline constexpr std::int32_t kAreaCount = 6;

inline constexpr std::array<ProductRecord, kProductCount> kProductTable{{
    {"vault", "VAULT"},
    {"fortress", "FORTRESS"},
    {"tidy", "Tidy"},
    {"patcher", "PATCHER"},
    {"kidzone", "KidZone"},
    {"shield", "SHIELD"},
    {"guard", "GUARD"},
    {"scout", "SCOUT"},
}};

inline constexpr std::int32_t kFortress = 1;
inline constexpr std::int32_t kShield = 5;
inline constexpr std::int32_t kGuard = 6;
inline constexpr std::int32_t kScout = 7;

// The suite products in order of precedence: of these at most one stays
// checked, and the first checked one wins.
inline constexpr std::array<std::int32_t, 4> kSuiteGroup{kFortress, kShield, kGuard, kScout};

inline constexpr std::array<std::string_view, kAreaCount> kAreaTable{
    "Device", "Privacy", "Money", "Family", "Data", "Business"};

inline constexpr std::int32_t kDeviceArea = 0;
inline constexpr std::int32_t kBusinessArea = 5;

// Exact, case-sensitive conversions. An unknown id gives kProductCount and
// an unknown area name kAreaCount: indices that match no record.
std::int32_t ProductIndexFromId(std::string_view id);
std::int32_t AreaIndexFromName(std::string_view name);

// The names for an index; empty for an index outside the table.
std::string_view ProductId(std::int32_t productIndex);
std::string_view ProductDisplayCode(std::int32_t productIndex);
std::string_view AreaName(std::int32_t areaIndex);

}  // namespace bright_setup
