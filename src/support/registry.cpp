#include "support/registry.h"

namespace QuickKit {

bool RegistryKeyExists(RegistryHive hive, std::string_view path) {
  RegistryKey key;
  return SUCCEEDED(RegistryKey::Open(hive, path, false, &key, RegistryView::Native)) ||
         SUCCEEDED(RegistryKey::Open(hive, path, false, &key, RegistryView::Wow32));
}

}  // namespace QuickKit
