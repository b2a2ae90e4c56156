// Handing a link, a share address or an e-mail command to the desktop
// ("open" with the shell). The application gives each port its own
// implementation; tests record the calls.
#pragma once

#include <string>

namespace bright_setup {

class IShellOpener {
 public:
  virtual ~IShellOpener() = default;
  // Opens text (an address, a mailto: command) as the desktop opens it.
  // An empty text opens nothing. Returns whether it was handed over.
  virtual bool OpenWithShell(const std::string& text) = 0;
};

}  // namespace bright_setup
