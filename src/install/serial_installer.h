// The installation run: the products the user chose are downloaded
// (through the download cache, which keeps partial files for a retry, a
// "Try again" or the next logon), started one after another from the
// working folder, and judged by their installers' exit codes, with an
// overall percentage, a stop, and the remaining queue saved for a restart.
//
// SerialInstaller's thread runs the loop; the controller drives it from
// the user-interface thread through IInstaller. The installer owns each
// run's progress callback and shares the poster its posts go through, so
// nothing the thread uses depends on the order in which the controller's
// members go.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/catalogue_model.h"
#include "install/installer_process.h"
#include "net/file_download.h"
#include "net/reconnect_prompt.h"
#include "net/transfer_cancel.h"
#include "support/custom_message.h"
#include "support/thread.h"

namespace bright_setup {

class IProgressCallback {
 public:
  virtual ~IProgressCallback() = default;
  virtual void OnProgress(std::int32_t percent) = 0;
  virtual bool IsCancelled() = 0;
  virtual void OnFinished() = 0;
};

// Reports one run to the main window; every post carries the run's number.
// Posts a percentage only when it differs from the one posted last, so one
// product posts at most 101 times and the queue of the message loop can
// never drop the end of the run.
class InstallProgressCallback : public IProgressCallback {
 public:
  InstallProgressCallback(std::shared_ptr<UiDeck::ICustomMessagePoster> poster, std::uint32_t run)
      : m_poster(std::move(poster)), m_run(run) {}

  void OnProgress(std::int32_t percent) override;
  bool IsCancelled() override { return m_stopRequested.load() != 0; }
  void OnFinished() override;

  // From the user-interface thread; never reset for the same run.
  void RequestStop() { m_stopRequested.exchange(1); }
  std::uint32_t RunNumber() const { return m_run; }

 private:
  std::shared_ptr<UiDeck::ICustomMessagePoster> m_poster;
  std::uint32_t m_run;
  std::atomic<std::int32_t> m_stopRequested{0};
  std::atomic<std::int32_t> m_lastPosted{-1};
};

// What became of one product of a run.
enum class ProductResult {
  Installed,       // its installer ended with success (0, or a restart code)
                   // and, where the product has a GUID, its uninstall key is there
  Skipped,         // already installed: nothing was downloaded
  DownloadFailed,  // no file: the download failed (also after its retries),
                   // a folder could not be made, or the catalogue does not
                   // hold the product
  Damaged,         // the file arrived, but its length or SHA-256 was wrong
  StartFailed,     // the downloaded installer could not be started
  Started,         // its installer still ran when the run was stopped
  NotRun,          // the run ended before this product was done
  DiskFull,        // too little disk space for the download and its unpacking
  NotInstalled,    // its installer ended with 0 but left no uninstall key:
                   // the person cancelled inside it
  Busy,            // another installation kept running (1618), after the waits
  ExitCode,        // its installer failed; the code is in ProductOutcome::exitCode
};

struct ProductOutcome {
  std::int32_t productIndex = 0;
  ProductResult result = ProductResult::NotRun;
  // The installer's own exit code, once it has ended (0 otherwise).
  std::uint32_t exitCode = 0;
};

// How a run ended, for the page's last page.
struct RunOutcome {
  std::uint32_t run = 0;
  // The run's products in run order (for a resumed run, those that were
  // left when it resumed).
  std::vector<ProductOutcome> products;
  bool stopped = false;  // the user stopped it
  // An installer asked for a restart of the computer to finish (3010,
  // 1641).
  bool restartNeeded = false;
  // Saving the run for a restart, or clearing it at the end, failed: a
  // restart may not have carried on, or may find a run that is over.
  bool stateFailed = false;
};

// The controller's hold on the installation. User-interface thread, except
// GetOutcome.
class IInstaller {
 public:
  virtual ~IInstaller() = default;

  // Starts a run of these products (indices, front first); its number, or
  // 0 when refused: a run is in progress (nothing changes), or no thread
  // could be made. A start after the end of the run before was posted is
  // never refused.
  virtual std::uint32_t StartInstallation(const std::vector<std::int32_t>& products) = 0;
  // The same for the run saved before a restart (total and queue).
  virtual std::uint32_t ResumeInstallation() = 0;
  // Asks the run in progress to stop. It ends at its next step: a download
  // in flight is cut, a wait for an installer ends (that installer is left
  // running). The run then posts its end as usual.
  virtual void RequestStop() = 0;
  virtual bool IsRunning() const = 0;
  // Whether the product's uninstall key exists (machine, then user hive).
  virtual bool IsInstalled(std::int32_t productIndex) const = 0;
  // The number of the latest run started, 0 before the first. An end or a
  // progress post of another number is stale.
  virtual std::uint32_t CurrentRun() const = 0;
  // How the run of that number ended, once its end has been posted. Any
  // thread. False for a run still going, or not the latest to have ended.
  virtual bool GetOutcome(std::uint32_t run, RunOutcome* outcome) const = 0;
  // The desktop session is ending and the program closes without the user
  // asking: a run in progress then stays saved, with its logon entry, and
  // goes on at the next logon. Call before the installer is destroyed; the
  // destructor still ends the thread, but clears nothing. Only the user's
  // stop, or a run that finishes, clears the saved run then.
  virtual void KeepRunForNextLogon() = 0;
};

// Gives the working folder, ending with a path separator, created again if
// it is missing; may throw when it cannot be made. Called on the
// installer's thread for each download.
using WorkingFolderProvider = std::function<std::string()>;

// Gives the download cache: the folder that keeps partial downloads between
// tries and across a restart (made by the download when missing). May
// throw. Called on the installer's thread, and by the destructor.
using DownloadCacheProvider = std::function<std::string()>;

// The waits and limits of a run. The program keeps the defaults; tests
// shorten them.
struct InstallerPolicy {
  QuickKit::RetryPolicy retry;
  // Before each new start of an installer that found another installation
  // running (1618).
  std::vector<std::chrono::milliseconds> busyWaits{
      std::chrono::seconds(10), std::chrono::seconds(20), std::chrono::seconds(40)};
  QuickKit::FreeSpaceQuery freeSpace;  // the file system's own figure when empty
  std::uint32_t receiveTimeoutMs = 0;  // 0: the default
};

class SerialInstaller : public QuickKit::Thread, public IInstaller {
 public:
  // The progress of a download, mapped onto this product's share [from, to]
  // of the whole run.
  class ExeFileDownloadCallback : public QuickKit::IProgressCallback {
   public:
    ExeFileDownloadCallback(SerialInstaller* installer, std::int32_t from, std::int32_t to)
        : m_installer(installer), m_from(from), m_to(to) {}
    void OnProgress(std::uint32_t done, std::uint32_t total) override;
    bool IsCancelled() override { return m_installer->Cancelled(); }

   private:
    SerialInstaller* m_installer;
    std::int32_t m_from;
    std::int32_t m_to;
  };

  // products: the catalogue's list, copied. downloadCache: where partial
  // downloads are kept. poster: where the runs report; the installer keeps
  // a share of it. programPath: what the logon entry starts. prompt asks
  // to reconnect when a download fails (it must outlive the installer);
  // owner is the window that owns the prompt.
  SerialInstaller(std::vector<CatalogueProduct> products, WorkingFolderProvider workingFolder,
                  DownloadCacheProvider downloadCache,
                  std::shared_ptr<UiDeck::ICustomMessagePoster> poster, std::string programPath,
                  QuickKit::IReconnectPrompt* prompt, QuickKit::WindowHandle owner = nullptr);
  // Stops a run and waits for it (an installer that is running is left
  // running), then clears the saved run and the download cache unless
  // KeepRunForNextLogon was called.
  ~SerialInstaller() override;

  // Replaces the waits and limits; only while no run is going.
  void SetPolicy(InstallerPolicy policy) { m_policy = std::move(policy); }

  std::uint32_t StartInstallation(const std::vector<std::int32_t>& products) override;
  std::uint32_t ResumeInstallation() override;
  void RequestStop() override;
  bool IsRunning() const override { return m_running.load(); }
  bool IsInstalled(std::int32_t productIndex) const override;
  std::uint32_t CurrentRun() const override { return m_run.load(); }
  bool GetOutcome(std::uint32_t run, RunOutcome* outcome) const override;
  void KeepRunForNextLogon() override { m_keepState = true; }

  // How often the wait looks for the installer's process by its name.
  static constexpr int kWaitIntervalMs = 500;
  // How often the wait for the started process itself looks at the stop.
  static constexpr std::uint32_t kExitWaitSliceMs = 100;

 protected:
  std::uint32_t Run() override;

 private:
  std::uint32_t StartRun(std::int32_t total, std::vector<std::int32_t> queue);

  // The steps of the loop, on the installer's thread during a run.
  //
  // Downloads the product's installer through the cache into the working
  // folder; its full path, or "" when nothing may be run: then *failure
  // says why (DownloadFailed, Damaged, DiskFull, or NotRun when the run was
  // stopped).
  std::string DownloadInstaller(std::int32_t productIndex, std::int32_t from, std::int32_t to,
                                ProductResult* failure);
  // Runs the downloaded installer until it has ended, and again while it
  // finds another installation running; fills the outcome from its code.
  void RunInstaller(const std::string& path, ProductOutcome* outcome, bool* restartNeeded);
  // Waits for the started process and returns its exit code, when it can
  // be known; then returns when no process of the installer's file name is
  // left (installers hand over to other processes), checking every 500 ms.
  // Returns at once when the run is stopped.
  std::optional<std::uint32_t> WaitForInstallerProcess(std::int32_t productIndex,
                                                       InstallerProcess* process);
  void RemoveDownloadCache();

  const CatalogueProduct* FindProduct(std::int32_t productIndex) const;
  bool Cancelled();
  // Waits up to `limit`; true as soon as the run is stopped.
  bool WaitForStop(std::chrono::milliseconds limit);
  void WakeWaits();
  // True when the queue was done, false when a stop ended the run.
  bool RunLoop(RunOutcome* outcome);
  void InstallProduct(std::int32_t from, std::int32_t to, ProductOutcome* outcome,
                      bool* restartNeeded);

  // Fixed when made.
  std::vector<CatalogueProduct> m_products;
  WorkingFolderProvider m_workingFolder;
  DownloadCacheProvider m_downloadCache;
  std::shared_ptr<UiDeck::ICustomMessagePoster> m_poster;
  std::string m_programPath;
  QuickKit::IReconnectPrompt* m_prompt;
  QuickKit::WindowHandle m_owner;
  InstallerPolicy m_policy;

  // The run: set by the user-interface thread before the thread starts and
  // not replaced until it has been joined. The thread uses them; the
  // user-interface thread only signals a stop through the callback and the
  // cancel.
  std::int32_t m_total = 0;
  std::vector<std::int32_t> m_queue;
  std::unique_ptr<InstallProgressCallback> m_progress;
  // Cuts the run's download in flight; any thread may cancel it.
  std::shared_ptr<QuickKit::TransferCancel> m_cancel;
  bool m_runValueFailed = false;

  std::atomic<std::uint32_t> m_run{0};
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_shutdown{false};   // set by the destructor only
  std::atomic<bool> m_keepState{false};  // the session ends: keep a saved run

  // The waits of the thread, woken by a stop.
  std::mutex m_waitMutex;
  std::condition_variable m_waitWake;

  mutable std::mutex m_outcomeMutex;
  RunOutcome m_outcome;  // of the latest run that has ended
};

}  // namespace bright_setup
