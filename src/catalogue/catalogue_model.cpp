#include "catalogue/catalogue_model.h"

#include <algorithm>
#include <utility>

#include "catalogue/catalogue_tables.h"
#include "support/ascii.h"
#include "support/text.h"

namespace bright_setup {
namespace {

constexpr std::size_t kSha256HexDigits = 64;

// Splits at every ',' (adjacent commas count as one) and keeps the pieces
// that name an area.
std::vector<std::int32_t> AreasFromList(std::string_view list) {
  std::vector<std::int32_t> areas;
  std::size_t begin = 0;
  while (begin <= list.size()) {
    std::size_t end = list.find(',', begin);
    if (end == std::string_view::npos) end = list.size();
    const std::int32_t area = AreaIndexFromName(list.substr(begin, end - begin));
    if (area < kAreaCount) areas.push_back(area);
    begin = end + 1;
  }
  return areas;
}

ProductState* FindState(std::vector<ProductState>& list, std::int32_t productIndex) {
  for (ProductState& state : list) {
    if (state.productIndex == productIndex) return &state;
  }
  return nullptr;
}

std::size_t SuiteRank(std::int32_t productIndex) {
  return static_cast<std::size_t>(std::find(kSuiteGroup.begin(), kSuiteGroup.end(), productIndex) -
                                  kSuiteGroup.begin());
}

}  // namespace

bool FindCatalogueValue(const VerInfo& verInfo, std::string_view key, const std::string& language,
                        std::string& value) {
  VerInfoEntry entry;
  if (!verInfo.Find(key, {language}, kRequestedVersion, entry)) return false;
  value = entry.values.empty() ? std::string() : entry.values.front();
  return true;
}

std::string CatalogueLanguage() {
  return QuickKit::GetLocaleIsoLanguage(QuickKit::GetUserDefaultUiLanguage());
}

std::string Sha256FromCatalogue(std::string_view value) {
  constexpr std::string_view kPrefix = "sha256:";
  if (value.size() == kPrefix.size() + kSha256HexDigits) {
    if (!QuickKit::StartsWithIgnoringAsciiCase(value, kPrefix)) return {};
    value.remove_prefix(kPrefix.size());
  }
  if (value.size() != kSha256HexDigits) return {};
  for (char c : value) {
    if (QuickKit::HexDigitValue(c) < 0) return {};
  }
  return QuickKit::AsciiLowered(value);
}

std::string ProductHashKey(std::int32_t productIndex) {
  return std::string(ProductDisplayCode(productIndex)) + ".SHA256";
}

std::vector<CatalogueProduct> ListCatalogueProducts(const VerInfo& verInfo,
                                                    const std::string& language) {
  std::vector<CatalogueProduct> products;
  for (std::int32_t index = 0; index < kProductCount; ++index) {
    const std::string code(ProductDisplayCode(index));
    CatalogueProduct product;
    product.productIndex = index;
    if (!FindCatalogueValue(verInfo, code + ".URL", language, product.url)) continue;
    FindCatalogueValue(verInfo, code + ".GUID", language, product.guid);
    std::string areaList;
    if (FindCatalogueValue(verInfo, code + ".AREAS", language, areaList)) {
      product.areas = AreasFromList(areaList);
    }
    std::string sha256;
    if (FindCatalogueValue(verInfo, ProductHashKey(index), language, sha256)) {
      product.sha256 = Sha256FromCatalogue(sha256);
      product.sha256Malformed = product.sha256.empty();
    }
    products.push_back(std::move(product));
  }
  return products;
}

bool BuildCatalogueProducts(const std::function<bool(VerInfo&)>& loadCatalogue,
                            const std::string& language, std::vector<CatalogueProduct>& products) {
  VerInfo verInfo;
  if (!loadCatalogue(verInfo)) return false;
  products = ListCatalogueProducts(verInfo, language);
  return true;
}

std::string LocalInstallerName(const CatalogueProduct& product) {
  const std::size_t slash = product.url.rfind('/');
  return "NorvaneInstaller_" +
         (slash == std::string::npos ? product.url : product.url.substr(slash + 1));
}

CatalogueModel::CatalogueModel(std::vector<CatalogueProduct> products,
                               UiDeck::IPushNotificator* notificator)
    : m_products(std::move(products)), m_notificator(notificator) {}

void CatalogueModel::InitSelection() {
  m_areas.clear();
  for (std::int32_t area = 0; area < kAreaCount; ++area) {
    m_areas.push_back({area, area == kBusinessArea ? kBusinessInitialState : kUnchecked, false});
  }
  m_productStates.clear();
  m_areaMap.clear();
  for (std::size_t position = 0; position < m_products.size(); ++position) {
    const CatalogueProduct& product = m_products[position];
    m_productStates.push_back({product.productIndex, kUnchecked, product.areas});
    for (std::int32_t area : product.areas) m_areaMap[area].push_back(position);
  }
}

void CatalogueModel::SetAreaState(std::string_view name, std::int32_t state) {
  const std::int32_t areaIndex = AreaIndexFromName(name);
  for (AreaState& area : m_areas) {
    if (area.areaIndex == areaIndex) area.state = state;
  }
  RecomputeProducts(m_productStates);
  Notify(UiDeck::kAreaApi);
}

void CatalogueModel::CheckAreaById(std::string_view name) { SetAreaState(name, kChecked); }

void CatalogueModel::UncheckAreaById(std::string_view name) { SetAreaState(name, kUnchecked); }

void CatalogueModel::SetProductState(std::string_view id, std::int32_t state) {
  const std::int32_t productIndex = ProductIndexFromId(id);
  if (ProductState* product = FindState(m_productStates, productIndex)) product->state = state;
  if (state == kChecked) {
    SuiteExclusive(m_productStates, productIndex);
  } else {
    SuiteFallback(m_productStates, productIndex);
  }
  Notify(UiDeck::kProductApi);
}

void CatalogueModel::CheckProductById(std::string_view id) { SetProductState(id, kChecked); }

void CatalogueModel::UncheckProductById(std::string_view id) { SetProductState(id, kUnchecked); }

void CatalogueModel::Notify(const char* api) const {
  if (m_notificator != nullptr) m_notificator->Notify(api, UiDeck::kCollectionChanged);
}

std::vector<AreaState> CatalogueModel::AreaSnapshot() const {
  std::vector<AreaState> snapshot = m_areas;
  for (AreaState& area : snapshot) {
    if (area.areaIndex == kDeviceArea) {
      area.protectAnother = true;
      break;
    }
  }
  return snapshot;
}

std::vector<ProductState> CatalogueModel::ProductSnapshot() const { return m_productStates; }

std::vector<std::int32_t> CatalogueModel::SelectedProducts() const {
  std::vector<std::int32_t> selected;
  for (const ProductState& product : m_productStates) {
    if (product.state == kChecked) selected.push_back(product.productIndex);
  }
  return selected;
}

void CatalogueModel::RecomputeProducts(std::vector<ProductState>& target) const {
  target.clear();
  for (const CatalogueProduct& product : m_products) {
    target.push_back({product.productIndex, kUnchecked, product.areas});
  }
  for (const AreaState& area : m_areas) {
    if (area.state != kChecked) continue;
    const auto it = m_areaMap.find(area.areaIndex);
    if (it == m_areaMap.end()) continue;
    for (std::size_t position : it->second) {
      if (position < target.size()) target[position].state = kChecked;
    }
  }
  SuiteExclusive(target, kFortress);
}

void CatalogueModel::SuiteExclusive(std::vector<ProductState>& list, std::int32_t productIndex) {
  for (std::size_t rank = SuiteRank(productIndex); rank < kSuiteGroup.size(); ++rank) {
    const ProductState* member = FindState(list, kSuiteGroup[rank]);
    if (member == nullptr || member->state != kChecked) continue;
    for (std::int32_t other : kSuiteGroup) {
      if (other == kSuiteGroup[rank]) continue;
      if (ProductState* state = FindState(list, other)) state->state = kUnchecked;
    }
    return;
  }
}

void CatalogueModel::SuiteFallback(std::vector<ProductState>& list, std::int32_t productIndex) {
  const std::size_t rank = SuiteRank(productIndex);
  if (rank + 1 >= kSuiteGroup.size()) return;  // SCOUT, or not a suite product
  if (ProductState* next = FindState(list, kSuiteGroup[rank + 1])) next->state = kChecked;
}

}  // namespace bright_setup
