// The products of this run and the user's selection of areas and products.
//
// The product list comes from the catalogue; the selection follows two
// rules: checking an area checks every product of that area, and of the
// suite products at most one stays checked. Everything here lives on the
// user-interface thread; the serial installer works on its own copy of the
// product list.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/VerInfo/verinfo.h"
#include "support/push_notificator.h"

namespace bright_setup {

struct CatalogueProduct {
  std::int32_t productIndex = 0;
  std::string url;   // the installer executable's download address
  std::string guid;  // its key under the Uninstall key; empty when the catalogue has none
  std::vector<std::int32_t> areas;
  // Lower-case hex SHA-256 of the installer from CODE.SHA256 (see
  // Sha256FromCatalogue); empty when the catalogue has none.
  std::string sha256;
  // CODE.SHA256 is there but holds no SHA-256: the product is still
  // listed, but its installer is never downloaded or started (it counts as
  // failed), since it could not be checked against what the catalogue meant.
  bool sha256Malformed = false;

  bool operator==(const CatalogueProduct&) const = default;
};

inline constexpr std::int32_t kUnchecked = 0;
inline constexpr std::int32_t kChecked = 1;
// The state Business starts in; it counts as unchecked in every rule.
inline constexpr std::int32_t kBusinessInitialState = 2;

struct AreaState {
  std::int32_t areaIndex = 0;
  std::int32_t state = kUnchecked;
  bool protectAnother = false;

  bool operator==(const AreaState&) const = default;
};

struct ProductState {
  std::int32_t productIndex = 0;
  std::int32_t state = kUnchecked;
  std::vector<std::int32_t> areas;

  bool operator==(const ProductState&) const = default;
};

// Every lookup of the program asks for this version, and for one language:
// the ISO 639 name of the user-interface language.
inline const std::vector<std::int32_t> kRequestedVersion{1, 0, 0};
std::string CatalogueLanguage();

// The lookup every part of the program makes: key for version 1.0.0 and
// the one language; true when found, with the entry's first value in value.
bool FindCatalogueValue(const VerInfo& verInfo, std::string_view key, const std::string& language,
                        std::string& value);

// The products the catalogue knows, in product-table order, looked up for
// one language. A product exists when CODE.URL is found; a missing
// CODE.GUID or CODE.AREAS leaves its guid or areas empty, and area words
// that name no area are skipped. A CODE.SHA256 that is present but no
// SHA-256 (see Sha256FromCatalogue) marks the product sha256Malformed; the
// product stays listed, so that a typo in an optional key changes neither
// the page nor the reports.
std::vector<CatalogueProduct> ListCatalogueProducts(const VerInfo& verInfo,
                                                    const std::string& language);

// The catalogue build: loads a fresh VerInfo with loadCatalogue (the
// download) and lists its products into `products`. False, with `products`
// untouched, when the catalogue could not be loaded; true otherwise, also
// when it lists no product.
bool BuildCatalogueProducts(const std::function<bool(VerInfo&)>& loadCatalogue,
                            const std::string& language, std::vector<CatalogueProduct>& products);

// "NorvaneInstaller_" and the part of the url after its last '/'.
std::string LocalInstallerName(const CatalogueProduct& product);

// The SHA-256 of a CODE.SHA256 value as 64 lower-case hex digits, or empty
// when the value is not one. The value is the 64 hex digits (either case),
// optionally after "sha256:": a catalogue value cannot start with a digit
// (it would read as a number), so a hash that does needs the prefix.
std::string Sha256FromCatalogue(std::string_view value);

// The catalogue key of a product's installer hash: CODE.SHA256, with CODE
// the product's display code.
std::string ProductHashKey(std::int32_t productIndex);

class CatalogueModel {
 public:
  // notificator may be null (no page to tell); it must outlive the model.
  CatalogueModel(std::vector<CatalogueProduct> products, UiDeck::IPushNotificator* notificator);

  // Six areas (Business in its initial state, the others unchecked), every
  // product unchecked, and the map from area to product positions.
  void InitSelection();

  void CheckAreaById(std::string_view name);
  void UncheckAreaById(std::string_view name);
  void CheckProductById(std::string_view id);
  void UncheckProductById(std::string_view id);

  // What the page is shown: the areas with Device marked protectAnother,
  // and the products.
  std::vector<AreaState> AreaSnapshot() const;
  std::vector<ProductState> ProductSnapshot() const;

  // Product indices of the checked products, in list order: the order of
  // installation.
  std::vector<std::int32_t> SelectedProducts() const;

  // Refills target with every product unchecked, checks the products of
  // the checked areas and keeps the highest-ranked checked suite product.
  void RecomputeProducts(std::vector<ProductState>& target) const;

  // Of the suite members from p's rank on, the first checked one stays and
  // the other suite members are unchecked. Nothing when p is not in the
  // suite or none of them is checked.
  static void SuiteExclusive(std::vector<ProductState>& list, std::int32_t productIndex);
  // FORTRESS, SHIELD and GUARD fall back to the next suite member.
  static void SuiteFallback(std::vector<ProductState>& list, std::int32_t productIndex);

  const std::vector<CatalogueProduct>& Products() const { return m_products; }
  const std::vector<AreaState>& Areas() const { return m_areas; }
  const std::vector<ProductState>& ProductStates() const { return m_productStates; }
  const std::map<std::int32_t, std::vector<std::size_t>>& AreaMap() const { return m_areaMap; }

 private:
  void SetAreaState(std::string_view name, std::int32_t state);
  void SetProductState(std::string_view id, std::int32_t state);
  void Notify(const char* api) const;

  std::vector<CatalogueProduct> m_products;
  UiDeck::IPushNotificator* m_notificator;
  std::vector<AreaState> m_areas;
  std::vector<ProductState> m_productStates;
  std::map<std::int32_t, std::vector<std::size_t>> m_areaMap;
};

}  // namespace bright_setup
