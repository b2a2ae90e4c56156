// Rows of the system's management inventory: WMI on Windows; on Linux the
// few queries the program makes are answered from the running processes
// and the package database (wmi_query_linux.cpp).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace QuickKit {

// One result object: property name to text. A property that is absent, or
// whose value is neither text, bool nor a 32-bit number, reads as "".
class WmiRow {
 public:
  const std::string& Get(std::string_view name) const;
  void Set(std::string name, std::string text);
  bool Empty() const { return m_values.empty(); }

 private:
  std::map<std::string, std::string, std::less<>> m_values;
};

// Runs a WQL query in a namespace and appends one row per result. True when
// the query ran and was read to its end (also with no rows); false on any
// failure, with the rows read so far kept. clearFirst empties rows first.
bool WmiQuery(std::string_view nameSpace, std::string_view query, std::vector<WmiRow>* rows,
              bool clearFirst);

// The first result only; true only when there was one.
bool WmiQueryFirst(std::string_view nameSpace, std::string_view query, WmiRow* row);

}  // namespace QuickKit
