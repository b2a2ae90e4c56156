#include "bridge/statistics_reports.h"

#include <cstddef>
#include <string>
#include <utility>

#include "catalogue/catalogue_tables.h"

namespace bright_setup {

std::vector<QuickKit::AreaSetting> AreaSettings(const std::vector<AreaState>& areas) {
  std::vector<QuickKit::AreaSetting> settings;
  settings.reserve(areas.size());
  for (const AreaState& area : areas) {
    settings.push_back({std::string(AreaName(area.areaIndex)), area.state == kChecked});
  }
  return settings;
}

std::vector<QuickKit::ProductSetting> ProductSettings(
    const std::vector<ProductState>& products, const std::vector<ProductState>& fromAreas,
    const std::function<bool(std::int32_t)>& isInstalled) {
  std::vector<QuickKit::ProductSetting> settings;
  settings.reserve(products.size());
  for (std::size_t i = 0; i < products.size(); ++i) {
    const ProductState& product = products[i];
    QuickKit::ProductSetting setting;
    setting.name = std::string(ProductDisplayCode(product.productIndex));
    setting.checked = product.state == kChecked;
    setting.installed = isInstalled ? isInstalled(product.productIndex) : false;
    setting.isDefault = i < fromAreas.size() && fromAreas[i].state == product.state;
    settings.push_back(std::move(setting));
  }
  return settings;
}

}  // namespace bright_setup
