#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "install/autostart.h"
#include "support/atomic_file.h"
#include "support/config.h"
#include "support/xdg_folders_linux.h"

namespace bright_setup {
namespace {

constexpr char kEntryName[] = "NorvaneInstaller.desktop";

std::string AutostartFolder() { return QuickKit::XdgConfigHome() + "/autostart"; }

}  // namespace

bool WriteAutostartEntry(const std::string& programPath) {
  const std::string exec = AutostartExecLine(programPath);
  if (exec.empty()) return false;
  const std::string folder = AutostartFolder();
  const std::string parent = folder.substr(0, folder.rfind('/'));
  // The folders may be shared with other programs: made private only when
  // this program makes them.
  for (const std::string& path : {parent, folder}) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  const std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=" +
      std::string(QuickKit::kProgramTitle) +
      "\n"
      "Comment=Carries on with the installation after a restart\n"
      "Exec=" +
      exec +
      "\n"
      "NoDisplay=true\n"
      "X-GNOME-Autostart-enabled=true\n";
  return SUCCEEDED(QuickKit::WriteFileAtomically(folder + "/" + kEntryName, entry));
}

bool RemoveAutostartEntry() {
  const std::string path = AutostartFolder() + "/" + kEntryName;
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace bright_setup
