#include "bridge/js_handler.h"

#include <utility>

#include "bridge/install_outcome.h"
#include "bridge/statistics_reports.h"
#include "bridge/ui_documents.h"
#include "inspect/machine_identifier.h"
#include "support/resources.h"

namespace bright_setup {
namespace {

// Page numbers of ClientAPI.GoToPage.
constexpr int kAreasPage = 1;
constexpr int kInstallingPage = 3;
constexpr int kDonePage = 4;

constexpr char kInstallOutcomeAttr[] = "installOutcome";

std::string EmbeddedDocument(int resourceId) {
  QuickKit::RcData data;
  if (FAILED(QuickKit::LoadRcData(resourceId, &data)) || data.data == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(data.data), data.size);
}

}  // namespace

JsHandler::JsHandler(IJsHandlerHost& host, IShellOpener& shell)
    : m_host(host),
      m_links(m_catalogue, CatalogueLanguage(), shell),
      m_statistics(std::make_unique<QuickKit::UsageStatistics>()) {}

JsHandler::~JsHandler() {
  if (m_detector != nullptr) m_detector->RequestStop();
  m_detector.reset();
  m_statistics.reset();
}

void JsHandler::Attach(UiDeck::IWindowCommands* window, UiDeck::IPushNotificator* notificator) {
  m_window = window;
  m_notificator = notificator;
}

bool JsHandler::Notify(const char* api, const char* method, const std::string& text) {
  return m_notificator != nullptr && m_notificator->Notify(api, method, text);
}

bool JsHandler::Notify(const char* api, const char* method, int number) {
  return m_notificator != nullptr && m_notificator->Notify(api, method, number);
}

bool JsHandler::Close() {
  // The user's own close ends a run for good: stopped, its saved state and
  // logon entry cleared by the installer as the run ends.
  if (IInstaller* installer = m_host.Installer(); installer != nullptr && installer->IsRunning())
    installer->RequestStop();
  return m_window != nullptr && m_window->Close();
}

bool JsHandler::Minimize() { return m_window != nullptr && m_window->Minimize(); }

std::string JsHandler::GetAreaCollection() {
  return AreaCollectionDocument(m_host.Model().AreaSnapshot());
}

std::string JsHandler::GetProductCollection() {
  return ProductCollectionDocument(m_host.Model().ProductSnapshot());
}

void JsHandler::CheckAreaById(const std::string& areaName) {
  m_host.Model().CheckAreaById(areaName);
}

void JsHandler::UncheckAreaById(const std::string& areaName) {
  m_host.Model().UncheckAreaById(areaName);
}

void JsHandler::CheckProductById(const std::string& productName) {
  m_host.Model().CheckProductById(productName);
}

void JsHandler::UncheckProductById(const std::string& productName) {
  m_host.Model().UncheckProductById(productName);
}

void JsHandler::OpenUrl(const std::string& urlId) {
  m_links.OpenLink(urlId);
  m_statistics->ReportExternalLink(urlId);
}

std::string JsHandler::GetAttr(const std::string& attributeName) {
  if (attributeName == kEulaAttr) return EmbeddedDocument(QuickKit::kLicenceResourceId);
  if (attributeName == kShareLinkAttr) return m_links.GetSharingValue("link");
  if (attributeName == kUserManualAttr) return EmbeddedDocument(QuickKit::kManualResourceId);
  if (attributeName == kQrCodeAttr) return m_host.GetQrCodePath();
  if (attributeName == kInstallOutcomeAttr) {
    return InstallOutcomeDocument(m_outcome ? &*m_outcome : nullptr);
  }
  return {};
}

bool JsHandler::BeginRun(const std::vector<std::int32_t>& products) {
  IInstaller* installer = m_host.Installer();
  if (installer == nullptr || installer->IsRunning()) return false;
  Notify(UiDeck::kClientApi, UiDeck::kGoToPage, kInstallingPage);
  const std::uint32_t run = installer->StartInstallation(products);
  if (run == 0) {
    // No worker could be made: the page must not wait on the installing
    // page for an end that never comes.
    RunOutcome outcome;
    for (std::int32_t index : products)
      outcome.products.push_back({index, ProductResult::StartFailed});
    m_outcome = std::move(outcome);
    Notify(UiDeck::kClientApi, UiDeck::kChangedAttr, kInstallOutcomeAttr);
    Notify(UiDeck::kClientApi, UiDeck::kGoToPage, kDonePage);
    return false;
  }
  m_installPercent = 0;
  return true;
}

void JsHandler::StartInstall() {
  if (BeginRun(m_host.Model().SelectedProducts())) SendStartReport();
}

void JsHandler::SendStartReport() {
  CatalogueModel& model = m_host.Model();
  std::vector<ProductState> fromAreas;
  model.RecomputeProducts(fromAreas);
  IInstaller* installer = m_host.Installer();
  m_statistics->ReportInstallStart(
      AreaSettings(model.AreaSnapshot()),
      ProductSettings(model.ProductStates(), fromAreas, [installer](std::int32_t index) {
        return installer != nullptr && installer->IsInstalled(index);
      }));
}

void JsHandler::RetryInstall() {
  if (!m_outcome || m_outcome->stopped) return;
  const std::vector<std::int32_t> failed = FailedProducts(*m_outcome);
  if (failed.empty()) return;
  BeginRun(failed);
}

void JsHandler::StopInstall() {
  if (IInstaller* installer = m_host.Installer(); installer != nullptr && installer->IsRunning())
    installer->RequestStop();
  m_statistics->ReportRuntime("StopInstall");
}

void JsHandler::WindowIsReady() {
  if (m_pageRestarted) {
    m_pageRestarted = false;
    RestorePage();
  } else if (m_resumed) {
    Notify(UiDeck::kClientApi, UiDeck::kGoToPage, kInstallingPage);
  }
  Notify(UiDeck::kClientApi, UiDeck::kChangedAttr, kQrCodeAttr);
  if (m_window != nullptr) m_window->Show();
}

void JsHandler::RestorePage() {
  IInstaller* installer = m_host.Installer();
  if (installer != nullptr && installer->IsRunning()) {
    Notify(UiDeck::kClientApi, UiDeck::kGoToPage, kInstallingPage);
    Notify(UiDeck::kClientApi, UiDeck::kChangedAttr, kInstallPercentsAttr);
  } else if (m_outcome) {
    Notify(UiDeck::kClientApi, UiDeck::kChangedAttr, kInstallOutcomeAttr);
    Notify(UiDeck::kClientApi, UiDeck::kGoToPage, kDonePage);
  } else if (m_continued) {
    // The areas page reads the selection the program holds.
    Notify(UiDeck::kClientApi, UiDeck::kGoToPage, kAreasPage);
  }
}

void JsHandler::SendOtherDevice(const std::string& email) {
  m_links.SendOtherDevice(email);
  m_statistics->ReportProtectAnotherDevice();
}

void JsHandler::Share(const std::string& socialId) {
  m_links.OpenShareTarget(socialId);
  m_statistics->ReportShare(socialId);
}

void JsHandler::SendShareMessage(const std::string& email, const std::string& message) {
  m_links.SendShareMessage(email, message);
  m_statistics->ReportShare("email");
}

void JsHandler::ReportIEVersion(const std::string& ieVersion) {
  m_statistics->ReportIeVersion(ieVersion);
}

void JsHandler::UserClick(const std::string& clickId) {
  // The machine identifier reads the hardware: it is computed on the
  // statistics' own thread, never here.
  const bool started =
      m_statistics->ReportUserClick(clickId, [] { return QuickKit::MachineIdentifier(); });
  if (started) {
    m_continued = true;
    StartAntivirusDetection();
  }
}

void JsHandler::StartAntivirusDetection() {
  if (m_detector != nullptr) m_detector->RequestStop();
  QuickKit::UsageStatistics* statistics = m_statistics.get();
  m_detector = std::make_unique<QuickKit::AntivirusDetectorThread>(
      [statistics](const QuickKit::AntivirusReport& report) {
        statistics->ReportAntivirus(report.brandName, report.description, report.enabled,
                                    report.upToDate);
      });
  m_detector->Start();
}

std::uint32_t JsHandler::CurrentRun() const {
  IInstaller* installer = m_host.Installer();
  return installer != nullptr ? installer->CurrentRun() : 0;
}

void JsHandler::OnInstallPercent(std::int32_t percent) {
  m_installPercent = percent;
  Notify(UiDeck::kClientApi, UiDeck::kChangedAttr, kInstallPercentsAttr);
}

void JsHandler::OnInstallFinished(std::uint32_t run) {
  IInstaller* installer = m_host.Installer();
  RunOutcome outcome;
  if (installer == nullptr || !installer->GetOutcome(run, &outcome)) return;
  m_outcome = std::move(outcome);
  m_resumed = false;
  Notify(UiDeck::kClientApi, UiDeck::kChangedAttr, kInstallOutcomeAttr);
  Notify(UiDeck::kClientApi, UiDeck::kGoToPage, kDonePage);
}

void JsHandler::ResumeAfterReboot() {
  IInstaller* installer = m_host.Installer();
  if (installer == nullptr || installer->IsRunning()) return;
  Notify(UiDeck::kClientApi, UiDeck::kGoToPage, kInstallingPage);
  m_resumed = true;
  if (installer->ResumeInstallation() != 0) m_installPercent = 0;
  m_statistics->ReportRuntime("AfterRebootStart");
}

}  // namespace bright_setup
