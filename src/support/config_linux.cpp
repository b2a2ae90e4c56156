#include "support/config.h"

#ifndef NORVANE_DEFAULT_CATALOGUE_URL
#error "NORVANE_DEFAULT_CATALOGUE_URL comes from the build"
#endif

namespace QuickKit {

std::string BuiltInCatalogueUrl() { return NORVANE_DEFAULT_CATALOGUE_URL; }

}  // namespace QuickKit
