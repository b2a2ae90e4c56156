#include "app/program_entry.h"

#include <algorithm>

#include "inspect/machine_identifier.h"
#include "stats/usage_statistics.h"

namespace bright_setup {

bool HasCrashSwitch(const std::vector<std::string>& arguments) {
  return std::find(arguments.begin(), arguments.end(), kCrashSwitch) != arguments.end();
}

void RunCrashReport() {
  QuickKit::UsageStatistics statistics;
  statistics.StartSession(QuickKit::MachineIdentifier());
  statistics.ReportCrash();
}

}  // namespace bright_setup
