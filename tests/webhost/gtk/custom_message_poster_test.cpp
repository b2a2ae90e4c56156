#include "webhost/gtk/custom_message_poster.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "window_driver.h"

namespace atl_web_core {
namespace {

using window_driver::RunFor;
using window_driver::RunUntil;
using Message = std::pair<UiDeck::InstallStatus, std::int32_t>;

TEST(CustomMessages, FromManyThreadsInPostingOrderOnTheMainThread) {
  std::vector<Message> received;
  std::vector<std::thread::id> deliveredOn;
  GtkCustomMessagePoster poster([&](UiDeck::InstallStatus status, std::int32_t value) {
    received.emplace_back(status, value);
    deliveredOn.push_back(std::this_thread::get_id());
  });
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&poster, t] {
      for (int i = 0; i < kEach; ++i)
        EXPECT_TRUE(poster.PostCustomMessage(static_cast<UiDeck::InstallStatus>(t), i));
    });
  ASSERT_TRUE(RunUntil([&] { return received.size() == kThreads * kEach; }));
  for (std::thread& thread : threads) thread.join();

  // Each thread's messages in the order it posted them, all on this thread.
  std::vector<int> next(kThreads, 0);
  for (const auto& [status, value] : received) EXPECT_EQ(value, next[status]++);
  for (const std::thread::id id : deliveredOn) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(CustomMessages, NeverDeliveredWithinThePostAndNeverAfterClose) {
  std::vector<Message> received;
  GtkCustomMessagePoster poster([&](UiDeck::InstallStatus status, std::int32_t value) {
    received.emplace_back(status, value);
  });
  // Posted from the main thread itself, the message waits for the loop.
  ASSERT_TRUE(poster.PostCustomMessage(UiDeck::kInstallResume, 0));
  EXPECT_TRUE(received.empty());
  ASSERT_TRUE(RunUntil([&] { return received.size() == 1; }));
  EXPECT_EQ(received[0], Message(UiDeck::kInstallResume, 0));

  // Queued but not yet delivered at close: dropped, as is everything later.
  ASSERT_TRUE(poster.PostCustomMessage(UiDeck::kInstallProgress, 10));
  poster.Close();
  EXPECT_FALSE(poster.PostCustomMessage(UiDeck::kInstallFinished, 0));
  RunFor(std::chrono::milliseconds(100));
  EXPECT_EQ(received.size(), 1u);
}

TEST(CustomMessages, AHandlerThatClosesStopsTheRest) {
  std::vector<std::int32_t> received;
  std::unique_ptr<GtkCustomMessagePoster> poster;
  poster = std::make_unique<GtkCustomMessagePoster>([&](UiDeck::InstallStatus, std::int32_t value) {
    received.push_back(value);
    if (value == 2) poster->Close();  // the window closing from within a message
  });
  for (int i = 1; i <= 4; ++i) ASSERT_TRUE(poster->PostCustomMessage(UiDeck::kInstallProgress, i));
  RunFor(std::chrono::milliseconds(200));
  EXPECT_EQ(received, (std::vector<std::int32_t>{1, 2}));
  poster.reset();  // a delivery still scheduled must find it gone, not freed
  RunFor(std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace atl_web_core
