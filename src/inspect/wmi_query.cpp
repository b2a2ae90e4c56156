#include "inspect/wmi_query.h"

#include <utility>

namespace QuickKit {

const std::string& WmiRow::Get(std::string_view name) const {
  static const std::string kEmpty;
  const auto found = m_values.find(name);
  return found == m_values.end() ? kEmpty : found->second;
}

void WmiRow::Set(std::string name, std::string text) {
  m_values[std::move(name)] = std::move(text);
}

}  // namespace QuickKit
