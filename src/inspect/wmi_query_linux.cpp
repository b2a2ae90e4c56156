// The inventory on Linux. Only Security Center's newer antivirus list has a
// counterpart (antivirus_rows_linux.h); the spyware and older lists and the
// installed-product lookup find nothing, so the rules fall back as they do
// on a Windows machine without them.
#include "inspect/antivirus_rows_linux.h"
#include "inspect/wmi_query.h"

namespace QuickKit {

bool ReadSecurityCenter(SecurityCenterList list, std::vector<WmiRow>* rows,
                        const std::atomic<bool>* stop) {
  if (list != SecurityCenterList::AntiVirus) return false;
  if (stop != nullptr && *stop) return false;
  const std::vector<WmiRow> found =
      LinuxAntivirusRows(RunningProgramNames(kProcRoot), InstalledPackageNames(kDpkgStatusFile));
  rows->insert(rows->end(), found.begin(), found.end());
  return true;
}

bool FindInstalledProduct(const ProductNameMatch&, InstalledProduct*, const std::atomic<bool>*) {
  return false;
}

}  // namespace QuickKit
