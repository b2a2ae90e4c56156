#include "stats/google_analytics_stat.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "net/seq_stream.h"
#include "support/ascii.h"
#include "support/config.h"

namespace QuickKit {
namespace {

bool IsUnsafeInSegment(unsigned char c) {
  if (c <= 0x1F || c >= 0x7F) return true;
  switch (c) {
    case ' ':
    case '"':
    case '#':
    case '&':
    case '/':
    case '<':
    case '>':
    case '?':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
      return true;
    default:
      return false;
  }
}

void AppendDecimal(std::string& out, std::uint32_t value) { out += std::to_string(value); }

}  // namespace

std::string EscapeEventField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  // Every byte of a multi-byte UTF-8 sequence is >= 0x80, so escaping bytes
  // one by one gives the percent-escaped UTF-8 form of each character.
  AppendPercentEncoded(out, text, [](unsigned char c) { return !IsUnsafeInSegment(c); });
  return out;
}

std::uint32_t ElapsedTicks(std::uint32_t now, std::uint32_t then) {
  if (now >= then) return now - then;
  return now - then - 1u;
}

std::uint32_t TickCount() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

// --- CGoogleAnalyticsStat ---

CGoogleAnalyticsStat::CGoogleAnalyticsStat(InternetSession* session)
    : m_session(session), m_baseQuery(kProtocolStart) {
  // An error here shows as the connect error of every hit.
  if (m_session != nullptr && !m_session->IsOpen()) (void)m_session->Open();
}

void CGoogleAnalyticsStat::AppendToBaseQuery(std::string_view text) {
  const std::lock_guard<std::mutex> lock(m_baseQueryLock);
  m_baseQuery.append(text);
}

std::string CGoogleAnalyticsStat::BaseQuery() const {
  const std::lock_guard<std::mutex> lock(m_baseQueryLock);
  return m_baseQuery;
}

HRESULT CGoogleAnalyticsStat::SetApplicationInfo(std::string_view versionText) {
  std::string text = "&ds=app&an=";
  text += kApplicationName;
  text += "&aid=";
  text += kApplicationId;
  if (!versionText.empty()) {
    text += "&av=";
    text += versionText;
  }
  AppendToBaseQuery(text);
  return S_OK;
}

HRESULT CGoogleAnalyticsStat::StartSession(std::string_view clientId) {
  std::string text = "&tid=" + TrackingId() + "&cid=";
  text += clientId;
  AppendToBaseQuery(text);
  m_sessionStarted = true;
  if (!m_sessionControl) return S_OK;
  return SendHit("&sc=start", 0);
}

HRESULT CGoogleAnalyticsStat::EndSession() {
  if (!m_sessionControl || !m_sessionStarted) return S_OK;
  return SendHit("&sc=end", 0);
}

HRESULT CGoogleAnalyticsStat::SendEvent(std::optional<std::string_view> category,
                                        std::optional<std::string_view> action,
                                        std::optional<std::string_view> label) {
  if (!category || !action) return E_INVALIDARG;
  std::string hit =
      "&t=event&ec=" + EscapeEventField(*category) + "&ea=" + EscapeEventField(*action);
  if (label) hit += "&el=" + EscapeEventField(*label);
  return SendHit(hit, m_aggregate ? 1u : 0u);
}

HRESULT CGoogleAnalyticsStat::SendHit(const std::string& hit, std::uint32_t value) {
  HttpConnection connection;
  return SendOneHit(connection, hit, value, 0);
}

HRESULT CGoogleAnalyticsStat::SendOneHit(HttpConnection& connection, const std::string& hit,
                                         std::uint32_t value, std::uint32_t queueTime) {
  if (connection.Handle() == nullptr) {
    if (m_session == nullptr || !m_session->IsOpen()) {
      return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    }
    // The certificate is always checked: a collector that cannot prove its
    // name gets no hits.
    const HRESULT hr = connection.Connect(m_session);
    if (FAILED(hr)) return hr;
  }
  std::string target = BaseQuery();
  target += hit;
  if (value != 0) {
    target += "&ev=";
    AppendDecimal(target, value);
  }
  if (queueTime != 0) {
    target += "&qt=";
    AppendDecimal(target, queueTime);
  }
  HttpRequest request;
  HRESULT hr = request.OpenRequest(&connection, target);
  if (FAILED(hr)) return hr;
  hr = request.Send();
  if (FAILED(hr)) return hr;
  // The answer is not looked at; it is read to its end so that the
  // connection can carry the next hit.
  NullSeqStream sink;
  hr = CopyStream(&request, nullptr, &sink, kUnknownTotal);
  return FAILED(hr) ? hr : S_OK;
}

// --- CGoogleAnalyticsDelayedStat ---

CGoogleAnalyticsDelayedStat::CGoogleAnalyticsDelayedStat(InternetSession* session)
    : CGoogleAnalyticsStat(session) {
  // The session is this client's alone: its cancel ends the sender's hit
  // in flight at destruction.
  if (m_session != nullptr) m_session->SetCancel(m_cancel);
}

CGoogleAnalyticsDelayedStat::~CGoogleAnalyticsDelayedStat() {
  using Clock = std::chrono::steady_clock;
  if (SUCCEEDED(EndSession()) && StartSender()) {
    // Measured against the clock, so that slow wake-ups on a loaded
    // machine do not stretch the drain beyond its limit.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kDrainLimitMs);
    for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
      std::this_thread::sleep_for(
          std::min<Clock::duration>(std::chrono::milliseconds(100), deadline - now));
      if (QueueSize() == 0) break;
    }
  }
  m_running = false;
  // The sender sees running false between two steps; a hit still on its way
  // (a collector that accepts and never answers, a network that drops
  // everything) is cancelled, so the join does not wait for its time-outs.
  // What is still queued is dropped.
  m_cancel->Cancel();
  Join();
}

HRESULT CGoogleAnalyticsDelayedStat::SendHit(const std::string& hit, std::uint32_t value) {
  const std::lock_guard<std::mutex> lock(m_queueLock);
  if (Aggregate() && value != 0) {
    const auto found = m_pendingValues.find(hit);
    if (found != m_pendingValues.end()) {
      found->second += value;
      return S_OK;
    }
    m_queue.push_back(PendingHit{hit, TickCount(), value});
    m_pendingValues[hit] = value;
  } else {
    m_queue.push_back(PendingHit{hit, TickCount(), 0});
  }
  return S_OK;
}

bool CGoogleAnalyticsDelayedStat::StartSender() {
  if (m_senderAlive) return true;
  m_senderAlive = true;
  if (!Start()) {
    m_senderAlive = false;
    return false;
  }
  return true;
}

std::size_t CGoogleAnalyticsDelayedStat::QueueSize() const {
  const std::lock_guard<std::mutex> lock(m_queueLock);
  return m_queue.size();
}

bool CGoogleAnalyticsDelayedStat::WaitWhileRunning(std::uint32_t ms) const {
  for (std::uint32_t waited = 0; waited < ms; waited += 100) {
    if (!m_running) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return m_running;
}

HRESULT CGoogleAnalyticsDelayedStat::SenderPass() {
  // One keep-alive connection for the hits of this pass.
  HttpConnection connection;
  if (ElapsedTicks(TickCount(), m_lastSendTick) > m_idleLimit) {
    m_burstCounter = kBurstSize;
    m_hitsLeft = kSessionHits;
  }
  while (m_running) {
    if (SessionControl() && m_burstCounter == 1) m_hitsLeft = 1;
    if (m_hitsLeft == 1) {
      if (!SessionControl()) return kHitBudgetExhausted;
      HRESULT hr = SendOneHit(connection, "&sc=end", 0, 0);
      if (FAILED(hr)) return hr;
      hr = SendOneHit(connection, "&sc=start", 0, 0);
      if (FAILED(hr)) return hr;
      m_burstCounter = kBurstSize;
      m_hitsLeft = kSessionHits;
    }

    std::string hit;
    std::uint32_t queueTick = 0;
    std::uint32_t value = 0;
    {
      const std::lock_guard<std::mutex> lock(m_queueLock);
      if (m_queue.empty()) return S_OK;
      hit = m_queue.front().hit;
      queueTick = m_queue.front().queueTick;
      const auto found = m_pendingValues.find(hit);
      if (found != m_pendingValues.end()) value = found->second;
    }
    const HRESULT hr = SendOneHit(connection, hit, value, ElapsedTicks(TickCount(), queueTick));
    // A failed hit stays at the head, with its count, for the next pass.
    if (FAILED(hr)) return hr;
    {
      const std::lock_guard<std::mutex> lock(m_queueLock);
      if (!m_queue.empty()) m_queue.pop_front();
      const auto found = m_pendingValues.find(hit);
      if (found != m_pendingValues.end()) {
        // Repeats folded in while the hit was on its way have not been
        // counted by it: they leave as a hit of their own.
        const std::uint32_t later = found->second - value;
        if (later == 0) {
          m_pendingValues.erase(found);
        } else {
          found->second = later;
          m_queue.push_back(PendingHit{hit, TickCount(), later});
        }
      }
    }
    --m_hitsLeft;
    m_lastSendTick = TickCount();

    if (m_burstCounter > 0) {
      --m_burstCounter;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } else if (!WaitWhileRunning(1000)) {
      return S_OK;
    }
  }
  return S_OK;
}

std::uint32_t CGoogleAnalyticsDelayedStat::Run() {
  struct AliveFlag {
    std::atomic<bool>& alive;
    ~AliveFlag() { alive = false; }
  } aliveFlag{m_senderAlive};
  while (m_running) {
    // A failing hit is retried on the next pass, 100 ms on.
    (void)SenderPass();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
}

}  // namespace QuickKit
