#include "demo/demo_products.h"

#include "catalogue/catalogue_model.h"
#include "support/registry.h"

namespace norvane_demo {

const DemoProduct* DemoProductById(std::string_view id) {
  const std::int32_t index = bright_setup::ProductIndexFromId(id);
  for (const DemoProduct& product : kDemoProducts) {
    if (product.productIndex == index) return &product;
  }
  return nullptr;
}

const DemoProduct* DemoProductForSavedName(std::string_view fileName) {
  for (const DemoProduct& product : kDemoProducts) {
    bright_setup::CatalogueProduct download;
    download.url = "/" + std::string(product.installerFile);
    if (bright_setup::LocalInstallerName(download) == fileName) return &product;
  }
  return nullptr;
}

std::string UninstallKeyPath(const DemoProduct& product) {
  return std::string(QuickKit::kUninstallKeyPath) + "\\" + std::string(product.guid);
}

}  // namespace norvane_demo
