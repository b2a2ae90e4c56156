// The installation run: the products the user chose are downloaded into
// the working folder and started one after another, with an overall
// percentage, a stop, and the remaining queue saved for a restart.
//
// SerialInstaller's thread runs the loop; everything else here is called on
// the user-interface thread, which owns the installer and the run's
// progress callback.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue_model.h"
#include "net/reconnect_prompt.h"
#include "support/custom_message.h"
#include "support/thread.h"

namespace bright_setup {

// A product counts as installed when its guid names a key under this one
// (the machine's hive first, then the user's).
inline constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

class IProgressCallback {
 public:
  virtual ~IProgressCallback() = default;
  virtual void OnProgress(std::int32_t percent) = 0;
  virtual bool IsCancelled() = 0;
  virtual void OnFinished() = 0;
};

// Reports a run to the main window. Posts a percentage only when it
// differs from the one posted last, so one product posts at most 101 times
// and the queue of the message loop can never drop the end of the run.
class InstallProgressCallback : public IProgressCallback {
 public:
  explicit InstallProgressCallback(UiDeck::ICustomMessagePoster* poster) : m_poster(poster) {}

  void OnProgress(std::int32_t percent) override;
  bool IsCancelled() override { return m_stopRequested.load() != 0; }
  void OnFinished() override;

  // From the user-interface thread; never reset for the same run.
  void RequestStop() { m_stopRequested.exchange(1); }

 private:
  UiDeck::ICustomMessagePoster* m_poster;
  std::atomic<std::int32_t> m_stopRequested{0};
  std::atomic<std::int32_t> m_lastPosted{-1};
};

class SerialInstaller : public QuickKit::Thread {
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

  // products: the catalogue's list, copied. workingFolder ends with a path
  // separator. prompt asks to reconnect when a download fails (it must
  // outlive the installer); owner is the window that owns the prompt.
  SerialInstaller(std::vector<CatalogueProduct> products, std::string workingFolder,
                  QuickKit::IReconnectPrompt* prompt, QuickKit::WindowHandle owner = nullptr);
  // Stops a run cooperatively and waits for it (an installer that is
  // running is left running), then clears the saved state.
  ~SerialInstaller() override;

  // Starts a run of these products with the given total as the base of the
  // percentages. Refused (false) while a run is in progress.
  bool StartRun(std::int32_t total, std::vector<std::int32_t> queue, IProgressCallback* progress);
  bool IsRunning() const { return m_running.load(); }

  // Whether the product's uninstall key exists (machine, then user hive).
  bool IsInstalled(std::int32_t productIndex) const;
  // Downloads the product's installer; its full path, or "" when nothing
  // may be run: the download failed, was stopped or cut short, or does not
  // match its advertised length or its SHA-256.
  std::string DownloadInstaller(std::int32_t productIndex, std::int32_t from, std::int32_t to);
  // Returns when no process of the installer's file name is left, checking
  // every 500 ms, or when the run is stopped.
  void WaitForInstallerProcess(std::int32_t productIndex);

  // How often the wait looks for the installer's process.
  static constexpr int kWaitIntervalMs = 500;

 protected:
  std::uint32_t Run() override;

 private:
  const CatalogueProduct* FindProduct(std::int32_t productIndex) const;
  bool Cancelled();
  void RunLoop();

  std::vector<CatalogueProduct> m_products;
  std::string m_workingFolder;
  QuickKit::IReconnectPrompt* m_prompt;
  QuickKit::WindowHandle m_owner;
  std::int32_t m_total = 0;
  std::vector<std::int32_t> m_queue;
  IProgressCallback* m_progress = nullptr;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_shutdown{false};  // set by the destructor only
};

// The controller's side of a run (user-interface thread). Each start makes
// a fresh progress callback, kept in `callback`; a start or resume while a
// run is in progress is refused and changes nothing.
bool StartInstallation(SerialInstaller& installer,
                       std::unique_ptr<InstallProgressCallback>& callback,
                       UiDeck::ICustomMessagePoster* poster,
                       const std::vector<std::int32_t>& selectedProducts,
                       const std::string& programPath);
bool ResumeInstallation(SerialInstaller& installer,
                        std::unique_ptr<InstallProgressCallback>& callback,
                        UiDeck::ICustomMessagePoster* poster, const std::string& programPath);

}  // namespace bright_setup
