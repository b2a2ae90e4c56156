// The page's window.external: every user action on the page arrives here as
// a method of the table in js_methods.h, and the program's state goes back
// to the page through the page notifier. The script object holds the usage
// statistics and the antivirus detection, and drives the catalogue model
// and the installer that the controller owns.
//
// Made, called and destroyed on the user-interface thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bridge/install_events.h"
#include "bridge/js_methods.h"
#include "bridge/links.h"
#include "bridge/shell_opener.h"
#include "catalogue/VerInfo/verinfo.h"
#include "catalogue/catalogue_model.h"
#include "inspect/antivirus.h"
#include "install/serial_installer.h"
#include "stats/usage_statistics.h"
#include "support/push_notificator.h"
#include "support/window_commands.h"

namespace bright_setup {

// What the script object needs of the controller. User-interface thread.
class IJsHandlerHost {
 public:
  virtual ~IJsHandlerHost() = default;
  // The catalogue model: areas, products and the user's selection. It may
  // be replaced while the catalogue loads; never kept across calls.
  virtual CatalogueModel& Model() = 0;
  // Null until the controller has made it.
  virtual IInstaller* Installer() = 0;
  virtual std::string GetQrCodePath() const = 0;
};

class JsHandler final : public IJsMethods, public IInstallEvents {
 public:
  // host and shell must outlive the object. Builds the usage statistics
  // (their sender thread starts here).
  JsHandler(IJsHandlerHost& host, IShellOpener& shell);
  // Ends the detection (asked to stop, then joined), then the statistics
  // (session end, queue drained for at most 10 s).
  ~JsHandler() override;
  JsHandler(const JsHandler&) = delete;
  JsHandler& operator=(const JsHandler&) = delete;

  // The main window, once it exists: where Close, Minimize and
  // WindowIsReady go, and where notifications go. Both must outlive every
  // later call; null detaches.
  void Attach(UiDeck::IWindowCommands* window, UiDeck::IPushNotificator* notificator);

  // The catalogue dictionary of the links and sharing lookups; filled by
  // the controller at start.
  VerInfo& Catalogue() { return m_catalogue; }

  // The page was loaded again (its web process died): the next
  // WindowIsReady gives it back the page and state the program holds.
  void OnPageRestarted() { m_pageRestarted = true; }

  // IJsMethods.
  bool Close() override;
  bool Minimize() override;
  int IsCppConnected() override { return 1; }
  int GetInstallPercents() override { return m_installPercent; }
  std::string GetLanguage() override { return "en"; }
  std::string GetAreaCollection() override;
  std::string GetProductCollection() override;
  void CheckAreaById(const std::string& areaName) override;
  void UncheckAreaById(const std::string& areaName) override;
  void CheckProductById(const std::string& productName) override;
  void UncheckProductById(const std::string& productName) override;
  void OpenUrl(const std::string& urlId) override;
  std::string GetAttr(const std::string& attributeName) override;
  void StartInstall() override;
  void StopInstall() override;
  void WindowIsReady() override;
  void SendOtherDevice(const std::string& email) override;
  void Share(const std::string& socialId) override;
  void SendShareMessage(const std::string& email, const std::string& message) override;
  void ReportIEVersion(const std::string& ieVersion) override;
  void UserClick(const std::string& clickId) override;
  void RetryInstall() override;

  // IInstallEvents, from the message processor.
  std::uint32_t CurrentRun() const override;
  void OnInstallPercent(std::int32_t percent) override;
  void OnInstallFinished(std::uint32_t run) override;
  void ResumeAfterReboot() override;

  QuickKit::UsageStatistics& Statistics() { return *m_statistics; }

 private:
  bool Notify(const char* api, const char* method, const std::string& text);
  bool Notify(const char* api, const char* method, int number);
  // Starts a run of these products and sends the page to its installing
  // page; false when the installer refused it.
  bool BeginRun(const std::vector<std::int32_t>& products);
  void SendStartReport();
  void StartAntivirusDetection();
  void RestorePage();

  IJsHandlerHost& m_host;
  UiDeck::IWindowCommands* m_window = nullptr;
  UiDeck::IPushNotificator* m_notificator = nullptr;
  VerInfo m_catalogue;
  CatalogueLinks m_links;
  std::int32_t m_installPercent = 0;
  // The last run that ended, for the page's last page; empty before.
  std::optional<RunOutcome> m_outcome;
  bool m_resumed = false;
  bool m_continued = false;  // this page's user went past the licence
  bool m_pageRestarted = false;
  std::unique_ptr<QuickKit::UsageStatistics> m_statistics;
  std::unique_ptr<QuickKit::AntivirusDetectorThread> m_detector;
};

}  // namespace bright_setup
