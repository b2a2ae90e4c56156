// The usage statistics of the program: the holder of the analytics client
// and every event the installer reports.
//
// The script bridge owns one UsageStatistics for the life of the page; the
// crash-report run makes a short-lived one. Event operations are called on
// the UI thread and on the antivirus detector's thread: each holds the
// recursive event lock while it builds and queues its hits, so that the
// events of one operation stay together in the queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue_model.h"
#include "net/internet.h"
#include "stats/google_analytics_stat.h"

namespace QuickKit {

// Set once, when the user first accepts the licence terms and goes on;
// never cleared. Until then no event leaves the program (the crash report
// aside) and the user language is not added.
extern std::atomic<bool> StatisticsEnabled;

class UsageStatistics {
 public:
  // Builds the client, starts its sender and appends the application
  // information (version kApplicationVersion).
  UsageStatistics();
  // Queues the session end and drains the queue for at most 10 s.
  ~UsageStatistics();
  UsageStatistics(const UsageStatistics&) = delete;
  UsageStatistics& operator=(const UsageStatistics&) = delete;

  HRESULT StartSession(std::string_view clientId);
  // Appends the user language, only while StatisticsEnabled is set.
  void SetUserLanguage();

  // The first "continueClicked" of the process: sets StatisticsEnabled,
  // starts the session under the machine identifier that clientId gives,
  // adds the language and reports "AcceptEULA". True when this call did
  // it (the caller then starts the antivirus detection); false, doing
  // nothing, when statistics were already enabled.
  bool StartStatistics(const std::function<std::string()>& clientId);
  // A UserClick of the page: "continueClicked" runs StartStatistics; the
  // three click ids of the click table report their click; any other id
  // does nothing. Returns what StartStatistics returned (false for the
  // other ids).
  bool ReportUserClick(std::string_view clickId, const std::function<std::string()>& clientId);

  // The events. Each does nothing while StatisticsEnabled is false, except
  // ReportCrash.
  void ReportAntivirus(std::string_view brandName, std::string_view description, bool enabled,
                       bool upToDate);
  void ReportCrash();
  void ReportIeVersion(std::string_view versionText);
  void ReportAreaSetting(std::string_view areaName, bool checked);
  void ReportRuntime(std::string_view text);
  void ReportClick(std::string_view text);
  void ReportExternalLink(std::string_view linkId);
  void ReportProtectAnotherDevice();
  void ReportShare(std::string_view text);
  void ReportProductSetting(std::string_view productName, bool checked, bool installed,
                            bool isDefault);

  // The start report of an installation: "StartInstall", one event per
  // area of `areas`, then three per product of `products`. fromAreas is the
  // selection the checked areas alone give (RecomputeProducts), compared
  // by position; isInstalled answers for a product index (null: no
  // installer yet, so nothing counts as installed).
  void ReportInstallStart(const std::vector<bright_setup::AreaState>& areas,
                          const std::vector<bright_setup::ProductState>& products,
                          const std::vector<bright_setup::ProductState>& fromAreas,
                          const std::function<bool(std::int32_t)>& isInstalled);

  CGoogleAnalyticsDelayedStat& Client() { return m_stat; }

 private:
  // "Name:true" / "Name:false".
  static std::string FlagLabel(std::string_view name, bool flag);
  void Event(std::string_view category, std::string_view action);
  void Event(std::string_view category, std::string_view action, std::string_view label);

  InternetSession m_session;
  CGoogleAnalyticsDelayedStat m_stat;
  std::recursive_mutex m_eventLock;
};

}  // namespace QuickKit
