#include "catalogue/catalogue_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/catalogue_tables.h"
#include "catalogue/catalogue_text.h"

namespace bright_setup {
namespace {

using Indices = std::vector<std::int32_t>;
using Strings = std::vector<std::string>;

class RecordingNotificator : public UiDeck::IPushNotificator {
 public:
  bool Notify(const std::string& api, const std::string& method, const std::string& text) override {
    calls.push_back(api + "." + method + "(\"" + text + "\")");
    return true;
  }
  bool Notify(const std::string& api, const std::string& method, int number) override {
    calls.push_back(api + "." + method + "(" + std::to_string(number) + ")");
    return true;
  }
  bool Notify(const std::string& api, const std::string& method) override {
    calls.push_back(api + "." + method + "()");
    return true;
  }
  Strings calls;
};

std::vector<CatalogueProduct> ProductsOf(const std::string& text, const std::string& language) {
  VerInfo verInfo;
  EXPECT_TRUE(LoadCatalogueText(text, verInfo)) << text;
  return ListCatalogueProducts(verInfo, language);
}

Indices IndicesOf(const std::vector<CatalogueProduct>& products) {
  Indices indices;
  for (const CatalogueProduct& p : products) indices.push_back(p.productIndex);
  return indices;
}

const std::string kHash(64, 'a');
const std::string kDigitHash = "5d41402abc4b2a76b9719d911017c592ae2b1f2c2e0e8d26f3c1e7a1b2c3d4e5";

TEST(CatalogueBuild, ListsOnlyProductsWithAnUrlInTableOrder) {
  const auto products = ProductsOf(
      "GUARD.URL * https://dl.example/guard/setup.exe\n"
      "GUARD.GUID * {G}\n"
      "SHIELD.AREAS * Device,,Money\n"
      "SHIELD.URL * https://dl.example/shield.exe\n"
      "SHIELD.GUID-en * {S-en}\n"
      "SHIELD.GUID * {S}\n"
      "TIDY.URL * https://dl.example/tidy-wrong-case.exe\n",
      "de");
  ASSERT_EQ(IndicesOf(products), (Indices{kShield, kGuard}));
  EXPECT_EQ(products[0],
            (CatalogueProduct{kShield, "https://dl.example/shield.exe", "{S}", Indices{0, 2}, ""}));
  // No AREAS entry: no areas.
  EXPECT_EQ(products[1],
            (CatalogueProduct{kGuard, "https://dl.example/guard/setup.exe", "{G}", Indices{}, ""}));
  EXPECT_EQ(ProductsOf("SHIELD.URL * u\nSHIELD.GUID-en * {S-en}\nSHIELD.GUID * {S}", "EN")[0].guid,
            "{S-en}");
}

TEST(CatalogueBuild, AreaListsAndHashes) {
  struct Case {
    std::string lines;
    Indices areas;
    std::string sha256;
    bool malformed;
  };
  const Case cases[] = {
      {"SHIELD.AREAS * Device,,Money", {0, 2}, "", false},
      {"SHIELD.AREAS * ,Business,Nowhere,device,Family,", {5, 3}, "", false},
      {"SHIELD.AREAS * Data;Device", {4}, "", false},
      {"SHIELD.SHA256 * " + kHash, {}, kHash, false},
      {"SHIELD.SHA256 * " + std::string(64, 'F'), {}, std::string(64, 'f'), false},
      {"SHIELD.SHA256-fr * " + kHash, {}, "", false},
      {"SHIELD.SHA256 * sha256:" + kDigitHash, {}, kDigitHash, false},
      {"SHIELD.SHA256 * SHA256:" + kHash, {}, kHash, false},
      // A malformed hash keeps the product listed, marked so that its
      // installer is never run.
      {"SHIELD.SHA256 * " + std::string(63, 'a'), {}, "", true},
      {"SHIELD.SHA256 * " + std::string(63, 'a') + "g", {}, "", true},
      {"SHIELD.SHA256 * sha256:" + std::string(63, 'a'), {}, "", true},
      {"SHIELD.SHA256 * sha257:" + kHash, {}, "", true},
      {"SHIELD.SHA256 * md5:" + kHash, {}, "", true},
      {"SHIELD.AREAS * Money\nSHIELD.SHA256 * " + kHash + "0", {2}, "", true},
  };
  for (const Case& c : cases) {
    const auto products = ProductsOf("SHIELD.URL * u\n" + c.lines, "en");
    ASSERT_EQ(products.size(), 1u) << c.lines;
    EXPECT_EQ(products[0].areas, c.areas) << c.lines;
    EXPECT_EQ(products[0].sha256, c.sha256) << c.lines;
    EXPECT_EQ(products[0].sha256Malformed, c.malformed) << c.lines;
  }
  // The product list, and so the page, is the same as without the typo.
  EXPECT_EQ(IndicesOf(ProductsOf("SHIELD.URL * u\nSHIELD.SHA256 * typo\nGUARD.URL * g", "en")),
            (Indices{kShield, kGuard}));
}

TEST(CatalogueBuild, FailedLoadLeavesTheListUntouched) {
  std::vector<CatalogueProduct> products{{0, "keep", "", {}, ""}};
  EXPECT_FALSE(BuildCatalogueProducts([](VerInfo&) { return false; }, "en", products));
  ASSERT_EQ(products.size(), 1u);
  EXPECT_EQ(products[0].url, "keep");
  // Invalid UTF-8 loads nothing: no products.
  EXPECT_FALSE(BuildCatalogueProducts(
      [](VerInfo& v) { return LoadCatalogueText("SHIELD.URL * u\xFF", v); }, "en", products));
  EXPECT_TRUE(
      BuildCatalogueProducts([](VerInfo& v) { return LoadCatalogueText("", v); }, "en", products));
  EXPECT_TRUE(products.empty());
}

TEST(CatalogueBuild, LocalInstallerName) {
  struct Case {
    const char* url;
    const char* name;
  };
  const Case cases[] = {
      {"https://dl.example/shield/setup.exe", "NorvaneInstaller_setup.exe"},
      {"setup.exe", "NorvaneInstaller_setup.exe"},
      {"https://dl.example/dir/", "NorvaneInstaller_"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocalInstallerName({kShield, c.url, "", {}, ""}), c.name);
  }
}

// A product per suite member and two others, with these areas.
std::vector<CatalogueProduct> SelectionProducts() {
  return {
      {0, "u0", "g0", {kDeviceArea, 4}, ""},        // vault: Device, Data
      {kFortress, "u1", "g1", {1}, ""},             // Privacy
      {3, "u3", "g3", {3}, ""},                     // patcher: Family
      {kShield, "u5", "g5", {kDeviceArea, 2}, ""},  // Device, Money
      {kGuard, "u6", "g6", {kDeviceArea, 3}, ""},   // Device, Family
      {kScout, "u7", "g7", {kDeviceArea, 2}, ""},   // Device, Money
  };
}

TEST(CatalogueSelection, InitialState) {
  RecordingNotificator notificator;
  CatalogueModel model(SelectionProducts(), &notificator);
  model.InitSelection();
  ASSERT_EQ(model.Areas().size(), 6u);
  for (std::int32_t i = 0; i < kAreaCount; ++i) {
    EXPECT_EQ(model.Areas()[static_cast<std::size_t>(i)],
              (AreaState{i, i == kBusinessArea ? 2 : 0, false}));
  }
  ASSERT_EQ(model.ProductStates().size(), 6u);
  EXPECT_EQ(model.ProductStates()[1], (ProductState{kFortress, 0, {1}}));
  EXPECT_EQ(model.AreaMap().at(kDeviceArea), (std::vector<std::size_t>{0, 3, 4, 5}));
  EXPECT_EQ(model.AreaMap().count(kBusinessArea), 0u);
  EXPECT_TRUE(model.SelectedProducts().empty());
  EXPECT_TRUE(notificator.calls.empty());
}

TEST(CatalogueSelection, OperationSequences) {
  struct Op {
    char what;  // 'A' check area, 'a' uncheck area, 'P' check product, 'p' uncheck product
    const char* name;
  };
  struct Case {
    const char* title;
    std::vector<Op> ops;
    Indices selected;
  };
  const Case cases[] = {
      {"an area keeps only the best suite product", {{'A', "Device"}}, {0, kShield}},
      {"checking a suite product unchecks the others",
       {{'A', "Device"}, {'P', "guard"}},
       {0, kGuard}},
      {"unchecking guard falls back to scout", {{'P', "guard"}, {'p', "guard"}}, {kScout}},
      {"guard checked over shield, then unchecked",
       {{'P', "shield"}, {'P', "guard"}, {'p', "guard"}},
       {kScout}},
      {"unchecking scout checks nothing", {{'P', "scout"}, {'p', "scout"}}, {}},
      {"fallback happens even when not checked before", {{'p', "shield"}}, {kGuard}},
      {"fortress falls back to shield", {{'p', "fortress"}}, {kShield}},
      {"vault has no fallback", {{'P', "vault"}, {'p', "vault"}}, {}},
      {"fortress ranks first in an area recompute",
       {{'A', "Privacy"}, {'A', "Money"}},
       {kFortress}},
      {"an area change drops single choices outside checked areas",
       {{'P', "patcher"}, {'A', "Money"}, {'P', "vault"}, {'a', "Data"}},
       {kShield}},
      {"an area change keeps products of checked areas",
       {{'A', "Family"}, {'P', "vault"}, {'a', "Money"}},
       {3, kGuard}},
      {"unknown names change nothing but still recompute",
       {{'P', "vault"}, {'P', "Vault"}, {'A', "device"}},
       {}},
      {"unknown product id leaves the selection", {{'P', "vault"}, {'P', "nothing"}}, {0}},
      {"business counts like any area", {{'A', "Business"}}, {}},
  };
  for (const Case& c : cases) {
    RecordingNotificator notificator;
    CatalogueModel model(SelectionProducts(), &notificator);
    model.InitSelection();
    Strings expectedCalls;
    for (const Op& op : c.ops) {
      switch (op.what) {
        case 'A':
          model.CheckAreaById(op.name);
          break;
        case 'a':
          model.UncheckAreaById(op.name);
          break;
        case 'P':
          model.CheckProductById(op.name);
          break;
        default:
          model.UncheckProductById(op.name);
          break;
      }
      expectedCalls.push_back(op.what == 'A' || op.what == 'a' ? "AreaAPI.CollectionChanged()"
                                                               : "ProductAPI.CollectionChanged()");
    }
    EXPECT_EQ(model.SelectedProducts(), c.selected) << c.title;
    EXPECT_EQ(notificator.calls, expectedCalls) << c.title;
  }
}

TEST(CatalogueSelection, BusinessStateAndTheDeviceMarkInTheSnapshot) {
  CatalogueModel model(SelectionProducts(), nullptr);
  model.InitSelection();
  model.CheckAreaById("Business");
  EXPECT_EQ(model.Areas()[kBusinessArea].state, 1);
  model.UncheckAreaById("Business");
  EXPECT_EQ(model.Areas()[kBusinessArea].state, 0);

  const std::vector<AreaState> snapshot = model.AreaSnapshot();
  for (const AreaState& area : snapshot) {
    EXPECT_EQ(area.protectAnother, area.areaIndex == kDeviceArea);
  }
  EXPECT_FALSE(model.Areas()[kDeviceArea].protectAnother);
  EXPECT_EQ(model.ProductSnapshot(), model.ProductStates());
}

TEST(CatalogueSelection, SuiteRulesSkipMembersThatAreNotListed) {
  // No GUARD: SHIELD falls back to nothing; exclusivity ignores the gap.
  std::vector<ProductState> list{{kShield, 1, {}}, {kScout, 1, {}}, {0, 1, {}}};
  CatalogueModel::SuiteExclusive(list, kGuard);  // from GUARD's rank: SCOUT wins
  EXPECT_EQ(list[0].state, 0);
  EXPECT_EQ(list[1].state, 1);
  EXPECT_EQ(list[2].state, 1);
  list[1].state = 0;
  CatalogueModel::SuiteFallback(list, kShield);
  EXPECT_EQ(list[1].state, 0);
  CatalogueModel::SuiteExclusive(list, 0);  // not a suite product
  EXPECT_EQ(list[2].state, 1);
}

TEST(CatalogueSelection, RecomputeOnAScratchListLeavesTheModel) {
  CatalogueModel model(SelectionProducts(), nullptr);
  model.InitSelection();
  model.CheckAreaById("Device");
  model.CheckProductById("guard");
  std::vector<ProductState> scratch{{7, 1, {}}};
  model.RecomputeProducts(scratch);
  ASSERT_EQ(scratch.size(), 6u);
  EXPECT_EQ(scratch[3].state, 1);  // SHIELD wins again from the areas alone
  EXPECT_EQ(scratch[4].state, 0);
  EXPECT_EQ(model.SelectedProducts(), (Indices{0, kGuard}));
}

}  // namespace
}  // namespace bright_setup
