#include "inspect/antivirus_rows_linux.h"

#include <dirent.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>

namespace QuickKit {
namespace {

// The security products of Linux desktops and servers that we know by
// their scanner daemons and packages.
struct KnownProduct {
  std::string_view displayName;
  std::array<std::string_view, 3> programs;
  std::array<std::string_view, 3> packages;
};
constexpr KnownProduct kKnownProducts[] = {
    {"Microsoft Defender for Endpoint", {"wdavdaemon"}, {"mdatp"}},
    {"ESET NOD32 Antivirus", {"esets_daemon"}, {"esets", "eea", "efs"}},
    {"avast! Antivirus", {"avast"}, {"avast"}},
    {"Symantec Endpoint Protection", {"rtvscand", "sisamdagent"}, {"sep", "sepap"}},
    {"McAfee Endpoint Security", {"mfetpd", "isectpd"}, {"mcafeetp", "mfeesp"}},
    {"Trend Micro Deep Security Agent", {"ds_agent"}, {"ds-agent"}},
    {"Avira Antivirus", {"avguard"}, {"avira"}},
    {"Bitdefender Endpoint Security Tools", {"bdsecd", "bdsrvd"}, {"bitdefender-security-tools"}},
    {"Sophos Anti-Virus", {"savd", "sophos_threat_detector"}, {"sophos-av"}},
    {"Kaspersky Endpoint Security", {"kesl", "wdserver"}, {"kesl"}},
    {"F-Secure Linux Security", {"fsavd", "fsaua"}, {"f-secure-linuxsecurity"}},
    {"Comodo Antivirus", {"cmdagent"}, {"cav-linux"}},
    {"ClamAV", {"clamd", "clamonacc"}, {"clamav-daemon", "clamav"}},
};

constexpr std::uint32_t kRunningState = 0x1000;
constexpr std::uint32_t kInstalledState = 0x0010;

std::string Basename(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool AnyIn(const std::array<std::string_view, 3>& names, const std::set<std::string>& set) {
  for (std::string_view name : names) {
    if (!name.empty() && set.count(std::string(name)) != 0) return true;
  }
  return false;
}

}  // namespace

std::set<std::string> RunningProgramNames(const std::string& procRoot) {
  std::set<std::string> names;
  DIR* dir = opendir(procRoot.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view pid = entry->d_name;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string_view::npos) continue;
    const std::string folder = procRoot + "/" + std::string(pid);
    // The executable; a replaced one reads "... (deleted)".
    std::string target(4096, '\0');
    const ssize_t length = readlink((folder + "/exe").c_str(), target.data(), target.size());
    if (length > 0) {
      target.resize(static_cast<std::size_t>(length));
      static constexpr std::string_view kDeleted = " (deleted)";
      if (target.size() > kDeleted.size() &&
          target.compare(target.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
        target.resize(target.size() - kDeleted.size());
      }
      names.insert(Basename(target));
    }
    // The first word of the command line: what a script or a renamed
    // process calls itself.
    std::ifstream cmdline(folder + "/cmdline", std::ios::binary);
    std::string first;
    if (std::getline(cmdline, first, '\0') && !first.empty()) names.insert(Basename(first));
  }
  closedir(dir);
  return names;
}

std::set<std::string> InstalledPackageNames(const std::string& dpkgStatusFile) {
  std::set<std::string> packages;
  std::ifstream file(dpkgStatusFile);
  std::string line;
  std::string package;
  bool installed = false;
  const auto finish = [&] {
    if (!package.empty() && installed) packages.insert(package);
    package.clear();
    installed = false;
  };
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
      finish();
    } else if (line.rfind("Package:", 0) == 0) {
      std::istringstream words(line.substr(8));
      words >> package;
    } else if (line.rfind("Status:", 0) == 0) {
      // "want flag status": only the last word tells what is on disk.
      std::istringstream words(line.substr(7));
      const std::vector<std::string> parts{std::istream_iterator<std::string>(words),
                                           std::istream_iterator<std::string>()};
      installed = parts.size() == 3 && parts[2] == "installed";
    }
  }
  finish();
  return packages;
}

std::vector<WmiRow> LinuxAntivirusRows(const std::set<std::string>& programs,
                                       const std::set<std::string>& packages) {
  std::vector<WmiRow> running;
  std::vector<WmiRow> installed;
  for (const KnownProduct& product : kKnownProducts) {
    std::uint32_t state = 0;
    std::vector<WmiRow>* list = nullptr;
    if (AnyIn(product.programs, programs)) {
      state = kRunningState;
      list = &running;
    } else if (AnyIn(product.packages, packages)) {
      state = kInstalledState;
      list = &installed;
    } else {
      continue;
    }
    WmiRow row;
    row.Set("displayName", std::string(product.displayName));
    row.Set("productState", std::to_string(state));
    list->push_back(std::move(row));
  }
  running.insert(running.end(), installed.begin(), installed.end());
  return running;
}

}  // namespace QuickKit
