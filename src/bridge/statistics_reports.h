// What the script bridge tells the usage statistics about the catalogue
// model: the areas and products of the start report of an installation,
// read from the model's records. The statistics know only names and flags.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "catalogue/catalogue_model.h"
#include "stats/usage_statistics.h"

namespace bright_setup {

// One setting per area record, in order: the area's name, checked when its
// state is kChecked (Business's initial state counts as unchecked).
std::vector<QuickKit::AreaSetting> AreaSettings(const std::vector<AreaState>& areas);

// One setting per product record, in order: the product's display code;
// checked when its state is kChecked; installed as isInstalled answers for
// its index (null: no installer yet, so nothing counts as installed);
// default when its state equals the one at the same position of fromAreas,
// the selection the checked areas alone give (RecomputeProducts).
std::vector<QuickKit::ProductSetting> ProductSettings(
    const std::vector<ProductState>& products, const std::vector<ProductState>& fromAreas,
    const std::function<bool(std::int32_t)>& isInstalled);

}  // namespace bright_setup
