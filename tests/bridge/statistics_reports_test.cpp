// The start report's areas and products as the bridge reads them from the
// catalogue model.
#include "bridge/statistics_reports.h"

#include <gtest/gtest.h>

#include "catalogue/catalogue_tables.h"

namespace bright_setup {
namespace {

TEST(StatisticsReports, AreasAndProductsAsTheStartReportNamesThem) {
  std::vector<AreaState> areas;
  for (std::int32_t i = 0; i < kAreaCount; ++i) {
    areas.push_back(
        {i, i == 1 || i == 3 ? kChecked : (i == 5 ? kBusinessInitialState : kUnchecked), i == 0});
  }
  const std::vector<QuickKit::AreaSetting> areaSettings = AreaSettings(areas);
  ASSERT_EQ(areaSettings.size(), static_cast<std::size_t>(kAreaCount));
  for (std::int32_t i = 0; i < kAreaCount; ++i) {
    EXPECT_EQ(areaSettings[i].name, AreaName(i));
    // Business's initial state is not a check.
    EXPECT_EQ(areaSettings[i].checked, i == 1 || i == 3) << i;
  }

  std::vector<ProductState> products;
  std::vector<ProductState> fromAreas;
  for (std::int32_t i = 0; i < kProductCount; ++i) {
    products.push_back({i, i % 2 == 0 ? kChecked : kUnchecked, {}});
    fromAreas.push_back({i, i < 4 ? kChecked : kUnchecked, {}});
  }
  const std::vector<QuickKit::ProductSetting> settings = ProductSettings(
      products, fromAreas, [](std::int32_t index) { return index == 2 || index == 7; });
  ASSERT_EQ(settings.size(), static_cast<std::size_t>(kProductCount));
  for (std::int32_t i = 0; i < kProductCount; ++i) {
    EXPECT_EQ(settings[i].name, ProductDisplayCode(i));
    EXPECT_EQ(settings[i].checked, i % 2 == 0) << i;
    EXPECT_EQ(settings[i].installed, i == 2 || i == 7) << i;
    EXPECT_EQ(settings[i].isDefault, (i % 2 == 0) == (i < 4)) << i;
  }

  // No installer yet: nothing is installed. A shorter area selection makes
  // the products past it not default.
  fromAreas.resize(3);
  const std::vector<QuickKit::ProductSetting> early = ProductSettings(products, fromAreas, nullptr);
  for (std::int32_t i = 0; i < kProductCount; ++i) {
    EXPECT_FALSE(early[i].installed);
    EXPECT_EQ(early[i].isDefault, i < 3 && (i % 2 == 0) == (i < 4)) << i;
  }
}

}  // namespace
}  // namespace bright_setup
