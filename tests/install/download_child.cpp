// A program that starts a run of one product and then waits to be killed:
// the test of a partial download that outlives its process kills it with
// SIGKILL in the middle of the download.
//
// download_child URL GUID WORKING_FOLDER CACHE_FOLDER
#include <unistd.h>

#include <memory>
#include <string>

#include "install/serial_installer.h"

namespace {

class NoPrompt : public QuickKit::IReconnectPrompt {
 public:
  Answer Ask(QuickKit::WindowHandle, const std::string&, const std::string&) override {
    return Answer::No;
  }
  void PostClose(QuickKit::WindowHandle) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  QuickKit::connectionPromptSettled = true;
  bright_setup::CatalogueProduct product;
  product.productIndex = 1;
  product.url = argv[1];
  product.guid = argv[2];
  const std::string folder = argv[3];
  const std::string cache = argv[4];
  NoPrompt prompt;
  auto installer = std::make_unique<bright_setup::SerialInstaller>(
      std::vector<bright_setup::CatalogueProduct>{product}, [folder] { return folder; },
      [cache] { return cache; }, nullptr, "/opt/norvane", &prompt);
  if (installer->StartInstallation({1}) == 0) return 3;
  for (;;) ::pause();
}
