// The demo's eight products: what the demo catalogue says about each, and
// how a demo installer recognises its own download. The demo server writes
// the catalogue from this table and the demo installer registers the
// uninstall key it names, so the two always agree.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/catalogue_tables.h"

namespace norvane_demo {

struct DemoProduct {
  std::int32_t productIndex;       // position in the program's product table
  std::string_view name;           // what its installer window shows
  std::string_view installerFile;  // the last segment of its download URL
  std::string_view guid;           // its key under the Uninstall key
  std::string_view areas;          // the CODE.AREAS value
};

// In product-table order. Every area has at least one product, and the
// suite products overlap so that the page's suite rule can be seen at work.
inline constexpr std::array<DemoProduct, bright_setup::kProductCount> kDemoProducts{{
    {0, "Norvane Vault", "NorvaneVaultSetup", "{5BA83B70-4FC1-4BF4-BAA3-D185735E7BB2}",
     "Data,Business"},
    {1, "Norvane Fortress", "NorvaneFortressSetup", "{B419B84F-37C5-4D84-9D54-5E7EFC2DD3C7}",
     "Device,Privacy,Money"},
    {2, "Norvane Tidy", "NorvaneTidySetup", "{AEBB8CB1-D0F0-4E25-BBCF-5681578190B8}", "Device"},
    {3, "Norvane Patcher", "NorvanePatcherSetup", "{A20E1FF1-4B44-4BE6-AEF3-BE2B3818F17E}",
     "Device,Business"},
    {4, "Norvane KidZone", "NorvaneKidZoneSetup", "{ECEFAA35-B8ED-4298-BEE0-BB61DD9135F0}",
     "Family"},
    {5, "Norvane Shield", "NorvaneShieldSetup", "{A054C004-895B-441E-AE8F-E494A4D72829}",
     "Device,Privacy,Money"},
    {6, "Norvane Guard", "NorvaneGuardSetup", "{E146438F-49C3-4EDC-80C1-3B736A2CBE85}",
     "Device,Privacy"},
    {7, "Norvane Scout", "NorvaneScoutSetup", "{4F6F2726-5CD3-4667-8012-E3CEF40C3B7E}", "Device"},
}};

// The ids of the page's outbound links (its js_open_url anchors in app.js);
// the catalogue answers each with a LINK_ entry.
inline constexpr std::array<std::string_view, 4> kPageLinkIds{"my-norvane", "slide-01", "slide-02",
                                                              "slide-03"};

// The share networks of the page and their SHARING_ names.
inline constexpr std::array<std::string_view, 3> kShareNetworks{"facebook", "linkedin", "twitter"};

// The product a page id ("vault") names; null for any other text.
const DemoProduct* DemoProductById(std::string_view id);

// The product whose installer the program saved under fileName (it keeps
// a download as "NorvaneInstaller_" + the URL's last segment); null for
// any other name.
const DemoProduct* DemoProductForSavedName(std::string_view fileName);

// The key the product's installer registers and the program looks for,
// under the current user's hive.
std::string UninstallKeyPath(const DemoProduct& product);

}  // namespace norvane_demo
