// The custom messages of the worker threads and of the start-up, turned
// into calls of the script object on the user-interface thread: a new
// install percentage, the end of a run, the resume of a saved run.
#pragma once

#include <cstdint>
#include <functional>

#include "bridge/install_events.h"
#include "support/custom_message.h"

namespace UiDeck {

// What the window hands each custom message to, on the user-interface
// thread, in posting order.
class ICustomMessageProcessor {
 public:
  virtual ~ICustomMessageProcessor() = default;
  virtual int ProcessMessage(InstallStatus status, std::int32_t value) = 0;
};

// The window's handler for its custom messages that hands each to
// processor; an empty handler for null. Both ports' windows take it.
std::function<void(InstallStatus, std::int32_t)> CustomMessageHandlerFor(
    ICustomMessageProcessor* processor);

// Status 0: the percentage of the current run; 1: the current run has
// ended; 2: resume the saved run. Posts of an earlier run, and any other
// status, change nothing. Created by the controller before the window;
// learns the script object before the message loop runs.
class MessageProcessor : public ICustomMessageProcessor {
 public:
  void SetHandler(bright_setup::IInstallEvents* handler) { m_handler = handler; }
  int ProcessMessage(InstallStatus status, std::int32_t value) override;

 private:
  bright_setup::IInstallEvents* m_handler = nullptr;
};

}  // namespace UiDeck
