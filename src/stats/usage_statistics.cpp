#include "stats/usage_statistics.h"

#include <exception>
#include <utility>

#include "support/thread.h"

namespace QuickKit {

std::atomic<bool> StatisticsEnabled{false};

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// The page's click ids that are reported, and the action each reports.
struct ClickRecord {
  std::string_view clickId;
  std::string_view action;
};
constexpr ClickRecord kClickTable[] = {
    {"customInstall", "ProductSettings"},
    {"shareIt", "ShareIt"},
    {"protectAnotherDevice", "ProtectAnotherDevice"},
};

constexpr std::string_view kContinueClicked = "continueClicked";

std::string ComputeClientId(const UsageStatistics::ClientIdSource& source) {
  try {
    return source ? source() : std::string();
  } catch (const std::exception&) {
    // The session still starts, so the held events are not lost; the
    // identifier recipe itself has no failure to report.
    return std::string();
  }
}

}  // namespace

// Computes the client id off the UI thread, then finishes the start
// sequence under the event lock.
class UsageStatistics::ClientIdThread : public Thread {
 public:
  ClientIdThread(UsageStatistics* owner, ClientIdSource source)
      : m_owner(owner), m_source(std::move(source)) {}
  // Joined here, while the members Run uses still exist.
  ~ClientIdThread() override { Join(); }

 protected:
  std::uint32_t Run() override {
    m_owner->BeginSession(ComputeClientId(m_source));
    return 0;
  }

 private:
  UsageStatistics* m_owner;
  ClientIdSource m_source;
};

UsageStatistics::UsageStatistics() : m_session(true, nullptr), m_stat(&m_session) {
  m_stat.StartSender();
  m_stat.SetApplicationInfo(kApplicationVersion);
}

UsageStatistics::~UsageStatistics() {
  // The session starts before it ends: the identifier (a hardware probe
  // with finite time-outs) is waited for, so the held events and the
  // session start go to the queue before the session end.
  m_clientIdThread.reset();
}

HRESULT UsageStatistics::StartSession(std::string_view clientId) {
  const Lock lock(m_eventLock);
  return m_stat.StartSession(clientId);
}

void UsageStatistics::SetUserLanguage() {
  const Lock lock(m_eventLock);
  // While the session waits for its client id the language waits too: the
  // start sequence adds it after the client id, where the base text has it.
  if (!StatisticsEnabled || m_sessionPending) return;
  m_stat.AppendToBaseQuery(std::string("&ul=") + kUserLanguage);
}

bool UsageStatistics::StartStatistics(const ClientIdSource& clientId) {
  const Lock lock(m_eventLock);
  if (StatisticsEnabled.exchange(true)) return false;
  m_sessionPending = true;
  m_clientIdThread = std::make_unique<ClientIdThread>(this, clientId);
  if (!m_clientIdThread->Start()) {
    // No thread to be had: the id is computed here rather than lose the
    // session.
    m_clientIdThread.reset();
    BeginSession(ComputeClientId(clientId));
  }
  return true;
}

void UsageStatistics::BeginSession(std::string_view clientId) {
  const Lock lock(m_eventLock);
  m_sessionPending = false;
  StartSession(clientId);
  SetUserLanguage();
  ReportRuntime("AcceptEULA");
  std::vector<HeldEvent> held;
  held.swap(m_heldEvents);
  for (const HeldEvent& event : held) {
    if (event.hasLabel) {
      m_stat.SendEvent(event.category, event.action, event.label);
    } else {
      m_stat.SendEvent(event.category, event.action);
    }
  }
}

bool UsageStatistics::ReportUserClick(std::string_view clickId, const ClientIdSource& clientId) {
  if (clickId == kContinueClicked) return StartStatistics(clientId);
  for (const ClickRecord& record : kClickTable) {
    if (record.clickId == clickId) ReportClick(record.action);
  }
  return false;
}

std::string UsageStatistics::FlagLabel(std::string_view name, bool flag) {
  std::string label(name);
  label += flag ? ":true" : ":false";
  return label;
}

void UsageStatistics::Event(std::string_view category, std::string_view action) {
  if (m_sessionPending) {
    m_heldEvents.push_back({std::string(category), std::string(action), std::string(), false});
    return;
  }
  m_stat.SendEvent(category, action);
}

void UsageStatistics::Event(std::string_view category, std::string_view action,
                            std::string_view label) {
  if (m_sessionPending) {
    m_heldEvents.push_back({std::string(category), std::string(action), std::string(label), true});
    return;
  }
  m_stat.SendEvent(category, action, label);
}

void UsageStatistics::ReportAntivirus(std::string_view brandName, std::string_view description,
                                      bool enabled, bool upToDate) {
  const Lock lock(m_eventLock);
  if (!StatisticsEnabled || brandName.empty() || description.empty()) return;
  std::string action(brandName);
  action += ':';
  action += description;
  Event("Antivirus", action, FlagLabel("Enabled", enabled));
  Event("Antivirus", action, FlagLabel("Updated", upToDate));
}

void UsageStatistics::ReportCrash() {
  const Lock lock(m_eventLock);
  Event("Crash", "FAIL");
}

void UsageStatistics::ReportIeVersion(std::string_view versionText) {
  const Lock lock(m_eventLock);
  if (StatisticsEnabled) Event("IE_Version", versionText);
}

void UsageStatistics::ReportAreaSetting(std::string_view areaName, bool checked) {
  const Lock lock(m_eventLock);
  if (StatisticsEnabled) Event("AreasSettings", areaName, FlagLabel("Checked", checked));
}

void UsageStatistics::ReportRuntime(std::string_view text) {
  const Lock lock(m_eventLock);
  if (StatisticsEnabled) Event("Runtime", text);
}

void UsageStatistics::ReportClick(std::string_view text) {
  const Lock lock(m_eventLock);
  if (StatisticsEnabled) Event("Clicks", text);
}

void UsageStatistics::ReportExternalLink(std::string_view linkId) {
  const Lock lock(m_eventLock);
  if (StatisticsEnabled) Event("Clicks", std::string("ExternalLink:") + std::string(linkId));
}

void UsageStatistics::ReportProtectAnotherDevice() {
  const Lock lock(m_eventLock);
  if (StatisticsEnabled) Event("ProtectAnotherDevice", "email");
}

void UsageStatistics::ReportShare(std::string_view text) {
  const Lock lock(m_eventLock);
  if (StatisticsEnabled) Event("ShareIt", text);
}

void UsageStatistics::ReportProductSetting(std::string_view productName, bool checked,
                                           bool installed, bool isDefault) {
  const Lock lock(m_eventLock);
  if (!StatisticsEnabled) return;
  Event("ProductsSettings", productName, FlagLabel("Checked", checked));
  Event("ProductsSettings", productName, FlagLabel("Installed", installed));
  Event("ProductsSettings", productName, FlagLabel("Default", isDefault));
}

void UsageStatistics::ReportInstallStart(const std::vector<AreaSetting>& areas,
                                         const std::vector<ProductSetting>& products) {
  // One lock for the whole report, so that no other event lands inside it.
  const Lock lock(m_eventLock);
  ReportRuntime("StartInstall");
  for (const AreaSetting& area : areas) ReportAreaSetting(area.name, area.checked);
  for (const ProductSetting& product : products) {
    ReportProductSetting(product.name, product.checked, product.installed, product.isDefault);
  }
}

}  // namespace QuickKit
