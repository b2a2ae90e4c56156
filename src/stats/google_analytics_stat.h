// The measurement-protocol client: builds the hits of the usage statistics
// and sends them to the collector over HTTPS, one POST per hit.
//
// CGoogleAnalyticsStat builds hits and sends each at once on the calling
// thread. CGoogleAnalyticsDelayedStat queues them instead and sends them from
// a thread of its own, keeping to a per-session hit budget and a send rate;
// it is the only form the program creates (through UsageStatistics).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "net/internet.h"
#include "support/hresult.h"
#include "support/thread.h"

namespace QuickKit {

// The fixed parts of every hit's base text.
inline constexpr char kProtocolStart[] = "collect?v=1";
inline constexpr char kApplicationName[] = "BrightSetupWindows";
inline constexpr char kApplicationId[] = "VUV";
inline constexpr char kUserLanguage[] = "en-US";
// 1, 0, 0 and 64 joined by ".".
inline constexpr char kApplicationVersion[] = "1.0.0.64";

// HRESULT_FROM_WIN32(ERROR_TOO_MANY_CMDS): the hit budget of a session
// without session control is used up.
inline constexpr HRESULT kHitBudgetExhausted = static_cast<HRESULT>(0x80070038u);

// Escapes an event's category, action or label for the request target: the
// characters that are unsafe in a path segment (controls, space, " # & / <
// > ? [ \ ] ^ ` { | } and DEL) and every byte of a non-ASCII character's
// UTF-8 form become %XX. "%" itself stays as it is.
std::string EscapeEventField(std::string_view text);

// Milliseconds from `then` to `now` on the 32-bit tick counter; a counter
// that has wrapped in between gives now - then - 1 (modulo 2^32).
std::uint32_t ElapsedTicks(std::uint32_t now, std::uint32_t then);

// Milliseconds since an arbitrary start, on 32 bits: wraps like the
// system's tick count every 49.7 days.
std::uint32_t TickCount();

// Owned by UsageStatistics; every member but SendHit is called on the
// thread that holds the statistics lock.
class CGoogleAnalyticsStat {
 public:
  // Opens the session (a failure shows later as the connect error of every
  // hit). The session must outlive this object.
  explicit CGoogleAnalyticsStat(InternetSession* session);
  virtual ~CGoogleAnalyticsStat() = default;
  CGoogleAnalyticsStat(const CGoogleAnalyticsStat&) = delete;
  CGoogleAnalyticsStat& operator=(const CGoogleAnalyticsStat&) = delete;

  // Appends the application name, id and, when versionText is not empty,
  // the version to the base text.
  HRESULT SetApplicationInfo(std::string_view versionText);
  // Appends the tracking id and the client id, then sends the session-start
  // hit when session control is on.
  HRESULT StartSession(std::string_view clientId);
  // Sends the session-end hit when session control is on and a session was
  // started. A session never started has nothing to end: the hit would
  // carry no tracking or client id, and it would leave before the user
  // agreed to statistics.
  HRESULT EndSession();
  // An event hit: E_INVALIDARG when category or action is missing. Sent with
  // the value 1 when aggregate is on, else 0.
  HRESULT SendEvent(std::optional<std::string_view> category,
                    std::optional<std::string_view> action,
                    std::optional<std::string_view> label = std::nullopt);

  // The base form sends at once on the calling thread.
  virtual HRESULT SendHit(const std::string& hit, std::uint32_t value);

  void AppendToBaseQuery(std::string_view text);
  std::string BaseQuery() const;

  bool SessionControl() const { return m_sessionControl; }
  bool Aggregate() const { return m_aggregate; }
  // The program keeps both on; tests turn them off.
  void SetSessionControl(bool on) { m_sessionControl = on; }
  void SetAggregate(bool on) { m_aggregate = on; }

 protected:
  // One hit over connection, which is connected to the collector first
  // when it is not yet. The request is closed in every case; the
  // connection stays with the caller.
  HRESULT SendOneHit(HttpConnection& connection, const std::string& hit, std::uint32_t value,
                     std::uint32_t queueTime);

  InternetSession* m_session;

 private:
  // The base text is appended to on the caller's thread and copied by the
  // sender at send time: one lock for both.
  mutable std::mutex m_baseQueryLock;
  std::string m_baseQuery;
  std::atomic<bool> m_sessionControl{true};
  std::atomic<bool> m_aggregate{true};
  std::atomic<bool> m_sessionStarted{false};
};

// A hit waiting in the queue.
struct PendingHit {
  std::string hit;
  std::uint32_t queueTick = 0;
  std::uint32_t value = 0;  // 0: queued without a value
};

// The queued form. Its sender thread runs from construction (the owner
// calls StartSender) to destruction; destruction queues the session end,
// drains the queue for at most kDrainLimitMs, then cancels the hit still on
// its way, so that it returns within a wait slice of the drain's end. It
// sets a TransferCancel of its own on the session it is given, which must
// serve this client alone.
class CGoogleAnalyticsDelayedStat : public CGoogleAnalyticsStat, public Thread {
 public:
  static constexpr std::uint32_t kIdleLimitMs = 1800000;
  static constexpr std::int32_t kBurstSize = 9;
  static constexpr std::int32_t kSessionHits = 500;
  static constexpr std::uint32_t kDrainLimitMs = 10000;

  explicit CGoogleAnalyticsDelayedStat(InternetSession* session);
  ~CGoogleAnalyticsDelayedStat() override;

  // Queues the hit; never touches the network.
  HRESULT SendHit(const std::string& hit, std::uint32_t value) override;

  // Starts the sender unless it still runs. False when no thread could be
  // made. std::thread has no priority of its own: the sender runs at the
  // process's normal priority.
  bool StartSender();

  // One pass over the queue (the sender thread calls it in its loop).
  HRESULT SenderPass();

  std::size_t QueueSize() const;

 protected:
  std::uint32_t Run() override;

 private:
  // Sleeps in slices until ms have passed or running turns false; false
  // when it did.
  bool WaitWhileRunning(std::uint32_t ms) const;

  // Ends the sender's transfers at destruction.
  const std::shared_ptr<TransferCancel> m_cancel = std::make_shared<TransferCancel>();
  mutable std::mutex m_queueLock;  // guards m_pendingValues and m_queue
  const std::uint32_t m_idleLimit = kIdleLimitMs;
  std::atomic<bool> m_running{true};
  std::atomic<bool> m_senderAlive{false};
  // The sender thread's alone.
  std::uint32_t m_lastSendTick = 0;
  std::int32_t m_burstCounter = kBurstSize;
  std::int32_t m_hitsLeft = kSessionHits;
  std::map<std::string, std::uint32_t> m_pendingValues;
  std::deque<PendingHit> m_queue;
};

}  // namespace QuickKit
