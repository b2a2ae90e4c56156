#include "webhost/message_processor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace UiDeck {
namespace {

class RecordingEvents : public bright_setup::IInstallEvents {
 public:
  std::uint32_t run = 0;
  std::vector<std::string> log;

  std::uint32_t CurrentRun() const override { return run; }
  void OnInstallPercent(std::int32_t percent) override {
    log.push_back("percent " + std::to_string(percent));
  }
  void OnInstallFinished(std::uint32_t ended) override {
    log.push_back("finished " + std::to_string(ended));
  }
  void ResumeAfterReboot() override { log.push_back("resume"); }
};

TEST(MessageProcessor, OnlyTheCurrentRunsPostsAndTheThreeStatusesAct) {
  RecordingEvents events;
  MessageProcessor processor;
  // Before the script object is known, and before the first run, nothing.
  processor.ProcessMessage(kInstallFinished, 0);
  processor.SetHandler(&events);
  processor.ProcessMessage(kInstallFinished, 0);
  processor.ProcessMessage(kInstallProgress, ProgressValue(0, 5));
  EXPECT_TRUE(events.log.empty());

  events.run = 2;
  processor.ProcessMessage(kInstallProgress, ProgressValue(2, 10));
  processor.ProcessMessage(kInstallProgress, ProgressValue(1, 90));  // the run before
  processor.ProcessMessage(kInstallProgress, ProgressValue(2, 100));
  processor.ProcessMessage(kInstallFinished, 1);  // the run before
  processor.ProcessMessage(static_cast<InstallStatus>(7), 0);
  processor.ProcessMessage(kInstallFinished, 2);
  processor.ProcessMessage(kInstallResume, 0);
  EXPECT_EQ(events.log,
            (std::vector<std::string>{"percent 10", "percent 100", "finished 2", "resume"}));
}

}  // namespace
}  // namespace UiDeck
