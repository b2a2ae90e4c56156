// Handing a link, a share address or an e-mail command to the desktop
// ("open" with the shell). ShellOpener is the real one of each port; tests
// of the callers record the calls instead.
#pragma once

#include <memory>
#include <string>

namespace bright_setup {

class IShellOpener {
 public:
  virtual ~IShellOpener() = default;
  // Opens text (an address, a mailto: command) as the desktop opens it.
  // An empty text opens nothing. Returns whether it was handed over.
  virtual bool OpenWithShell(const std::string& text) = 0;
};

// Owned and called by the user-interface thread. Windows: ShellExecuteExW
// with the verb "open" and SW_SHOWDEFAULT. Linux: xdg-open, found on PATH
// and started without a shell, with the text as its one argument; it
// inherits no open file of the program beyond stdin, stdout and stderr,
// and is reaped when it ends.
class ShellOpener : public IShellOpener {
 public:
  ShellOpener();
  // Returns at once: an opener that still runs (xdg-open may wait for the
  // browser it started) is left running.
  ~ShellOpener() override;
  ShellOpener(const ShellOpener&) = delete;
  ShellOpener& operator=(const ShellOpener&) = delete;

  // False, opening nothing, for an empty text or one holding a NUL (the
  // system would cut it short), and for anything the port cannot hand over
  // as it stands.
  bool OpenWithShell(const std::string& text) override;

 private:
  bool OpenOnThisPort(const std::string& text);

  struct PortState;  // what the port keeps between calls
  std::unique_ptr<PortState> m_port;
};

}  // namespace bright_setup
