// What the custom messages of an installation run ask of the script object
// (JsHandler); the message processor of the window host calls it on the
// user-interface thread.
#pragma once

#include <cstdint>

namespace bright_setup {

class IInstallEvents {
 public:
  virtual ~IInstallEvents() = default;
  // The number of the run the page shows (the latest started), 0 before
  // the first.
  virtual std::uint32_t CurrentRun() const = 0;
  // A new percentage of the current run.
  virtual void OnInstallPercent(std::int32_t percent) = 0;
  // The current run has ended: the page shows how.
  virtual void OnInstallFinished(std::uint32_t run) = 0;
  // A run saved before a restart is to go on.
  virtual void ResumeAfterReboot() = 0;
};

}  // namespace bright_setup
