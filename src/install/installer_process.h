// Starting a product's installer and telling whether it still runs.
// Used by the installer's thread only.
#pragma once

#include <cstdint>
#include <string>

#include "support/hresult.h"

namespace bright_setup {

// The process of a started installer. Closing it neither waits for nor
// ends the process: an installer that still runs is left running.
class InstallerProcess {
 public:
  InstallerProcess() = default;
  ~InstallerProcess() { Close(); }
  InstallerProcess(const InstallerProcess&) = delete;
  InstallerProcess& operator=(const InstallerProcess&) = delete;

  void Close();
  bool IsValid() const;

  enum class State {
    Running,  // still running after the wait
    Exited,   // ended; *exitCode holds its code
    Unknown,  // no process to ask (none was kept, or it was closed)
  };
  // Waits up to timeoutMs for the process to end. On Linux, where an exit
  // status has 8 bits, the low bytes of the installer codes that carry a
  // meaning (ExitCodeFromStatus) stand for those codes.
  State Wait(std::uint32_t timeoutMs, std::uint32_t* exitCode);

 private:
  friend HRESULT StartInstaller(const std::string&, const std::string&, InstallerProcess*);
#ifdef _WIN32
  void* m_handle = nullptr;  // process HANDLE from ShellExecuteExW
#else
  int m_pid = -1;
#endif
};

// The exit codes of product installers that mean more than "failed".
inline constexpr std::uint32_t kExitRestartRequired = 3010;   // installed; restart to finish
inline constexpr std::uint32_t kExitRestartInitiated = 1641;  // installed; restart started
inline constexpr std::uint32_t kExitInstallBusy = 1618;       // another installation runs

// The installer code for an 8-bit exit status: the low byte of one of the
// codes above stands for that code (what a program exiting with it gives
// on Linux); any other status is itself.
std::uint32_t ExitCodeFromStatus(std::uint32_t status);

// Opens folder + fileName the way the shell does, with no arguments and
// folder as the working directory. On Linux an executable (ELF or "#!")
// file runs directly, made 0700 first; anything else goes to xdg-open.
HRESULT StartInstaller(const std::string& folder, const std::string& fileName,
                       InstallerProcess* process);

// Whether a process of this executable file name runs (exact and
// case-sensitive). On Linux the names compared are those of /proc/PID/exe
// and of the first two words of its command line, so that a "#!" script,
// which runs as its interpreter, is found by its own name.
bool IsProcessRunning(const std::string& fileName);

}  // namespace bright_setup
