// The usage statistics of the program: the holder of the analytics client
// and every event the installer reports.
//
// The script bridge owns one UsageStatistics for the life of the page; the
// crash-report run makes a short-lived one. Event operations are called on
// the UI thread, on the antivirus detector's thread (through the bridge's
// report callback) and on the client-id thread of StartStatistics: each
// holds the recursive event lock while it builds and queues its hits, so
// that the events of one operation stay together in the queue.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/internet.h"
#include "stats/google_analytics_stat.h"

namespace QuickKit {

// Set once, when the user first accepts the licence terms and goes on;
// never cleared. Until then no event leaves the program (the crash report
// aside) and the user language is not added.
extern std::atomic<bool> StatisticsEnabled;

// What the start report of an installation says of one area and of one
// product; the bridge reads them from the catalogue model.
struct AreaSetting {
  std::string name;
  bool checked = false;
};
struct ProductSetting {
  std::string name;  // the product's display code
  bool checked = false;
  bool installed = false;
  bool isDefault = false;  // the state the checked areas alone give it
};

class UsageStatistics {
 public:
  // Computes the machine identifier: reads the hardware, which can take
  // seconds, so it is never run on the UI thread.
  using ClientIdSource = std::function<std::string()>;

  // Builds the client, starts its sender and appends the application
  // information (version kApplicationVersion).
  UsageStatistics();
  // Waits for a client id still being computed (its session then starts),
  // queues the session end and drains the queue for at most 10 s.
  ~UsageStatistics();
  UsageStatistics(const UsageStatistics&) = delete;
  UsageStatistics& operator=(const UsageStatistics&) = delete;

  HRESULT StartSession(std::string_view clientId);
  // Appends the user language, only while StatisticsEnabled is set.
  void SetUserLanguage();

  // The first "continueClicked" of the process: sets StatisticsEnabled and
  // returns at once. clientId runs on a thread of its own; then, on that
  // thread, the session starts under its result, the language is added and
  // "AcceptEULA" reported. Events raised in between are held and queued
  // after these, in the order they were raised, so every hit carries the
  // client id. True when this call did it (the caller then starts the
  // antivirus detection); false, doing nothing, when statistics were
  // already enabled. Owner's thread (the UI thread).
  bool StartStatistics(const ClientIdSource& clientId);
  // A UserClick of the page: "continueClicked" runs StartStatistics; the
  // three click ids of the click table report their click; any other id
  // does nothing. Returns what StartStatistics returned (false for the
  // other ids).
  bool ReportUserClick(std::string_view clickId, const ClientIdSource& clientId);

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
  // area, then three per product, in the order given.
  void ReportInstallStart(const std::vector<AreaSetting>& areas,
                          const std::vector<ProductSetting>& products);

  CGoogleAnalyticsDelayedStat& Client() { return m_stat; }

 private:
  class ClientIdThread;
  struct HeldEvent {
    std::string category;
    std::string action;
    std::string label;
    bool hasLabel = false;
  };

  // "Name:true" / "Name:false".
  static std::string FlagLabel(std::string_view name, bool flag);
  void Event(std::string_view category, std::string_view action);
  void Event(std::string_view category, std::string_view action, std::string_view label);
  // The rest of the start sequence, on the client-id thread.
  void BeginSession(std::string_view clientId);

  InternetSession m_session;
  CGoogleAnalyticsDelayedStat m_stat;
  std::recursive_mutex m_eventLock;
  // Under m_eventLock: while the client id is being computed, events wait
  // here instead of going to the queue.
  bool m_sessionPending = false;
  std::vector<HeldEvent> m_heldEvents;
  // Started by the first Continue; joined by the destructor.
  std::unique_ptr<ClientIdThread> m_clientIdThread;
};

}  // namespace QuickKit
