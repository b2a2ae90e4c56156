#include "stats/usage_statistics.h"

#include <cstddef>

#include "catalogue/catalogue_tables.h"

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

}  // namespace

UsageStatistics::UsageStatistics() : m_session(true, nullptr), m_stat(&m_session) {
  m_stat.StartSender();
  m_stat.SetApplicationInfo(kApplicationVersion);
}

UsageStatistics::~UsageStatistics() = default;

HRESULT UsageStatistics::StartSession(std::string_view clientId) {
  const Lock lock(m_eventLock);
  return m_stat.StartSession(clientId);
}

void UsageStatistics::SetUserLanguage() {
  const Lock lock(m_eventLock);
  if (!StatisticsEnabled) return;
  m_stat.AppendToBaseQuery(std::string("&ul=") + kUserLanguage);
}

bool UsageStatistics::StartStatistics(const std::function<std::string()>& clientId) {
  const Lock lock(m_eventLock);
  if (StatisticsEnabled.exchange(true)) return false;
  StartSession(clientId ? clientId() : std::string());
  SetUserLanguage();
  ReportRuntime("AcceptEULA");
  return true;
}

bool UsageStatistics::ReportUserClick(std::string_view clickId,
                                      const std::function<std::string()>& clientId) {
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
  m_stat.SendEvent(category, action);
}

void UsageStatistics::Event(std::string_view category, std::string_view action,
                            std::string_view label) {
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

void UsageStatistics::ReportInstallStart(const std::vector<bright_setup::AreaState>& areas,
                                         const std::vector<bright_setup::ProductState>& products,
                                         const std::vector<bright_setup::ProductState>& fromAreas,
                                         const std::function<bool(std::int32_t)>& isInstalled) {
  // One lock for the whole report, so that no other event lands inside it.
  const Lock lock(m_eventLock);
  ReportRuntime("StartInstall");
  for (const bright_setup::AreaState& area : areas) {
    ReportAreaSetting(bright_setup::AreaName(area.areaIndex), area.state == bright_setup::kChecked);
  }
  for (std::size_t i = 0; i < products.size(); ++i) {
    const bright_setup::ProductState& product = products[i];
    const bool installed = isInstalled ? isInstalled(product.productIndex) : false;
    const bool isDefault = i < fromAreas.size() && fromAreas[i].state == product.state;
    ReportProductSetting(bright_setup::ProductDisplayCode(product.productIndex),
                         product.state == bright_setup::kChecked, installed, isDefault);
  }
}

}  // namespace QuickKit
