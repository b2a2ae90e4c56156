// The Linux counterpart of Security Center's AntiVirusProduct rows.
//
// Linux has no registry of security products. What a desktop really runs
// shows in two places, and both are read here:
// - the running processes: a product whose scanner daemon runs is on.
//   Program names are the basenames of /proc/<pid>/exe and of the first
//   word of /proc/<pid>/cmdline (comm is cut at 15 characters);
// - the dpkg status database: a product whose package is installed but
//   whose daemon does not run is present and off.
// Each known product gives at most one row, with a displayName that the
// brand keywords classify and a productState in Security Center's form:
// running 0x1000 (on, counted up to date: a running scanner keeps its own
// signatures, and Linux has no common place to ask), installed only 0x0010
// (off, not known to be up to date).
#pragma once

#include <set>
#include <string>
#include <vector>

#include "inspect/wmi_query.h"

namespace QuickKit {

inline constexpr char kProcRoot[] = "/proc";
inline constexpr char kDpkgStatusFile[] = "/var/lib/dpkg/status";

// The program names of every process under procRoot (a /proc folder).
std::set<std::string> RunningProgramNames(const std::string& procRoot);

// The names of the packages a dpkg status file lists as installed
// ("Status: install ok installed").
std::set<std::string> InstalledPackageNames(const std::string& dpkgStatusFile);

// The rows for the known products: running ones first, then installed
// ones, each in table order.
std::vector<WmiRow> LinuxAntivirusRows(const std::set<std::string>& programs,
                                       const std::set<std::string>& packages);

}  // namespace QuickKit
