// Stands in for a product's installer in the tests. It gets no arguments,
// as real ones get none, so it takes its orders from a file beside it:
// "<its own file name>.orders" holding, in order of execution:
//   sleep MS       wait
//   spawn NAME     copy itself to NAME in the working folder, start that
//   register GUID  create the product's uninstall key (current user)
//   busy N         exit with 1618 (another installation runs) on the first
//                  N starts
//   exit CODE      exit with CODE
// and ends with 0 after the last. Every start appends "<name> <argument
// count>" to started.txt in the working folder.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "install/installer_process.h"
#include "support/paths.h"
#include "support/program_path.h"
#include "support/registry.h"

int main(int argc, char**) {
  namespace fs = std::filesystem;
  const fs::path self = QuickKit::PathFromUtf8(QuickKit::GetProgramPath());
  const std::string name = QuickKit::PathToUtf8(self.filename());
  std::ofstream("started.txt", std::ios::app | std::ios::binary) << name << " " << argc - 1 << "\n";

  std::ifstream orders(self.string() + ".orders");
  std::string order;
  while (orders >> order) {
    if (order == "sleep") {
      int ms = 0;
      orders >> ms;
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    } else if (order == "spawn") {
      std::string child;
      orders >> child;
      const fs::path copy = fs::current_path() / QuickKit::PathFromUtf8(child);
      fs::copy_file(self, copy, fs::copy_options::overwrite_existing);
      fs::copy_file(self.string() + ".orders.child", copy.string() + ".orders",
                    fs::copy_options::overwrite_existing);
      bright_setup::InstallerProcess process;
      if (FAILED(bright_setup::StartInstaller(QuickKit::PathToUtf8(fs::current_path()), child,
                                              &process))) {
        return 2;
      }
    } else if (order == "register") {
      std::string guid;
      orders >> guid;
      QuickKit::RegistryKey key;
      if (FAILED(QuickKit::RegistryKey::Create(
              QuickKit::RegistryHive::CurrentUser,
              std::string(QuickKit::kUninstallKeyPath) + "\\" + guid, &key))) {
        return 3;
      }
    } else if (order == "busy") {
      int starts = 0;
      orders >> starts;
      const std::string counter = self.string() + ".busy";
      int seen = 0;
      std::ifstream(counter) >> seen;
      std::ofstream(counter) << seen + 1;
      if (seen < starts) return static_cast<int>(bright_setup::kExitInstallBusy);
    } else if (order == "exit") {
      int code = 0;
      orders >> code;
      return code;
    }
  }
  return 0;
}
