// The texts through which the page learns the program's state: the area and
// product collection documents and the names of the attributes.
#pragma once

#include <string>
#include <vector>

#include "catalogue/catalogue_model.h"

namespace bright_setup {

// Attributes the page reads with GetAttr.
inline constexpr const char* kEulaAttr = "eula";
inline constexpr const char* kUserManualAttr = "userManual";
inline constexpr const char* kShareLinkAttr = "shareLink";
inline constexpr const char* kQrCodeAttr = "qrCode";
// Announced with ClientAPI.ChangedAttr; the page then calls GetInstallPercents.
inline constexpr const char* kInstallPercentsAttr = "installPercents";

// A JSON array with one object per area record, in order:
// {"id": area name, "state": number, "protectAnother": 1 or 0}. Pass the
// model's AreaSnapshot(), which carries the Device mark.
std::string AreaCollectionDocument(const std::vector<AreaState>& areas);

// A JSON array with one object per product record, in order:
// {"id": product id, "state": number, "areas": [area names]}.
std::string ProductCollectionDocument(const std::vector<ProductState>& products);

}  // namespace bright_setup
