// The custom-message channel on Linux: worker threads post (status, value)
// pairs; the user-interface thread receives them from its GLib main
// context, one at a time and in posting order, like queued window messages.
#pragma once

#include <glib.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "support/custom_message.h"

namespace atl_web_core {

class GtkCustomMessagePoster final : public UiDeck::ICustomMessagePoster {
 public:
  using Handler = std::function<void(UiDeck::InstallStatus status, std::int32_t value)>;

  // Messages are handed to handler on the thread that runs context (nullptr:
  // the default main context). Made on that thread.
  explicit GtkCustomMessagePoster(Handler handler, GMainContext* context = nullptr);
  // Closes.
  ~GtkCustomMessagePoster() override;
  GtkCustomMessagePoster(const GtkCustomMessagePoster&) = delete;
  GtkCustomMessagePoster& operator=(const GtkCustomMessagePoster&) = delete;

  // Any thread. Queues the message; it is delivered from the main loop,
  // never within this call, even on the user-interface thread. False once
  // closed.
  bool PostCustomMessage(UiDeck::InstallStatus status, std::int32_t value) override;

  // Drops what is queued; later posts are refused and the handler is never
  // called again. Safe from within the handler. User-interface thread.
  void Close();

 private:
  struct Shared;
  static gboolean Deliver(gpointer shared);

  std::shared_ptr<Shared> m_shared;
};

}  // namespace atl_web_core
