#include "install/installer_process.h"

namespace bright_setup {

std::uint32_t ExitCodeFromStatus(std::uint32_t status) {
  for (std::uint32_t code : {kExitRestartRequired, kExitRestartInitiated, kExitInstallBusy}) {
    if (status == (code & 0xFF)) return code;
  }
  return status;
}

}  // namespace bright_setup
