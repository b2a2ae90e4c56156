#include "support/custom_message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace UiDeck {
namespace {

TEST(CustomMessage, ProgressValueCarriesRunAndPercent) {
  const struct {
    std::uint32_t run;
    std::int32_t percent;
  } cases[] = {{1, 0}, {1, 100}, {2, 33}, {kMaxRunNumber - 1, 100}, {kMaxRunNumber - 1, 0}};
  for (const auto& c : cases) {
    const std::int32_t value = ProgressValue(c.run, c.percent);
    EXPECT_GE(value, 0) << c.run;
    EXPECT_EQ(ProgressRun(value), c.run);
    EXPECT_EQ(ProgressPercent(value), c.percent);
  }
}

class CountingPoster : public ICustomMessagePoster {
 public:
  bool PostCustomMessage(InstallStatus, std::int32_t) override {
    ++posts;
    return true;
  }
  std::atomic<int> posts{0};
};

TEST(CustomMessage, RevokedPosterDropsEveryLaterPost) {
  CountingPoster window;
  RevocablePoster poster(&window);
  EXPECT_TRUE(poster.PostCustomMessage(kInstallProgress, 5));
  EXPECT_EQ(window.posts, 1);

  // A worker keeps posting while the owner revokes: once Revoke has
  // returned, nothing more reaches the window.
  std::atomic<bool> stop{false};
  std::atomic<int> dropped{0};
  std::thread worker([&] {
    while (!stop) {
      if (!poster.PostCustomMessage(kInstallProgress, 6)) ++dropped;
    }
  });
  while (window.posts < 100) std::this_thread::yield();
  poster.Revoke();
  const int atRevoke = window.posts;
  while (dropped < 100) std::this_thread::yield();
  stop = true;
  worker.join();
  EXPECT_EQ(window.posts, atRevoke);
  EXPECT_FALSE(poster.PostCustomMessage(kInstallFinished, 1));
}

}  // namespace
}  // namespace UiDeck
