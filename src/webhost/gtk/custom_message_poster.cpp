#include "webhost/gtk/custom_message_poster.h"

#include <deque>
#include <mutex>
#include <utility>

namespace atl_web_core {

// Shared with every scheduled delivery, so that a delivery that runs after
// the poster is gone finds it closed instead of freed.
struct GtkCustomMessagePoster::Shared {
  std::mutex lock;
  std::deque<std::pair<UiDeck::InstallStatus, std::int32_t>> queue;
  bool deliveryScheduled = false;
  bool closed = false;
  std::shared_ptr<Handler> handler;
  GMainContext* context = nullptr;
};

GtkCustomMessagePoster::GtkCustomMessagePoster(Handler handler, GMainContext* context)
    : m_shared(std::make_shared<Shared>()) {
  m_shared->handler = std::make_shared<Handler>(std::move(handler));
  m_shared->context = context != nullptr ? g_main_context_ref(context) : nullptr;
}

GtkCustomMessagePoster::~GtkCustomMessagePoster() {
  Close();
  std::lock_guard<std::mutex> guard(m_shared->lock);
  if (m_shared->context != nullptr) g_main_context_unref(m_shared->context);
  m_shared->context = nullptr;
}

bool GtkCustomMessagePoster::PostCustomMessage(UiDeck::InstallStatus status, std::int32_t value) {
  GSource* source = nullptr;
  {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    if (m_shared->closed) return false;
    m_shared->queue.emplace_back(status, value);
    if (m_shared->deliveryScheduled) return true;
    m_shared->deliveryScheduled = true;
    // An idle source rather than g_main_context_invoke: invoke would run the
    // handler at once when the poster is the user-interface thread itself,
    // ahead of everything already queued in the loop.
    source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(
        source, &GtkCustomMessagePoster::Deliver, new std::shared_ptr<Shared>(m_shared),
        [](gpointer shared) { delete static_cast<std::shared_ptr<Shared>*>(shared); });
    g_source_attach(source, m_shared->context);
  }
  g_source_unref(source);
  return true;
}

gboolean GtkCustomMessagePoster::Deliver(gpointer data) {
  Shared& shared = **static_cast<std::shared_ptr<Shared>*>(data);
  // One message at a time, never two handlers at once: messages posted
  // while a handler runs (even one that runs a nested loop) wait for it.
  for (;;) {
    std::pair<UiDeck::InstallStatus, std::int32_t> message;
    std::shared_ptr<Handler> handler;
    {
      std::lock_guard<std::mutex> guard(shared.lock);
      if (shared.closed || shared.queue.empty()) {
        shared.deliveryScheduled = false;
        return G_SOURCE_REMOVE;
      }
      message = shared.queue.front();
      shared.queue.pop_front();
      handler = shared.handler;
    }
    if (*handler) (*handler)(message.first, message.second);
  }
}

void GtkCustomMessagePoster::Close() {
  std::shared_ptr<Handler> handler;  // released outside the lock
  std::lock_guard<std::mutex> guard(m_shared->lock);
  m_shared->closed = true;
  m_shared->queue.clear();
  handler = std::move(m_shared->handler);
  m_shared->handler = std::make_shared<Handler>();
}

}  // namespace atl_web_core
