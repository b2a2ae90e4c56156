// The inventory queries on Linux. Only Security Center's newer product
// query has a counterpart (antivirus_rows_linux.h); every other query -
// the spyware and older Security Center classes, WIN32_Product,
// Win32_BaseBoard - fails, so the rules above fall back as they do on a
// Windows machine without that class.
#include <string>

#include "inspect/antivirus_rows_linux.h"
#include "inspect/wmi_query.h"

namespace QuickKit {

bool WmiQuery(std::string_view nameSpace, std::string_view query, std::vector<WmiRow>* rows,
              bool clearFirst) {
  if (clearFirst) rows->clear();
  if (nameSpace != "Root\\SecurityCenter2" ||
      query != "select displayName, productState from AntiVirusProduct") {
    return false;
  }
  const std::vector<WmiRow> found =
      LinuxAntivirusRows(RunningProgramNames(kProcRoot), InstalledPackageNames(kDpkgStatusFile));
  rows->insert(rows->end(), found.begin(), found.end());
  return true;
}

bool WmiQueryFirst(std::string_view, std::string_view, WmiRow*) { return false; }

}  // namespace QuickKit
