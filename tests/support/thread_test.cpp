#include "support/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <system_error>

namespace QuickKit {
namespace {

class Worker : public Thread {
 public:
  ~Worker() override { Join(); }
  std::atomic<int> runs{0};
  std::atomic<bool> release{true};
  std::atomic<std::uint32_t> result{7};  // set by the test while a run may read it
  bool fail = false;

 protected:
  std::uint32_t Run() override {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++runs;
    if (fail) throw std::runtime_error("worker failed");
    return result;
  }
};

TEST(Thread, NeverStartedReturnsAtOnce) {
  const auto start = std::chrono::steady_clock::now();
  {
    Worker worker;
    EXPECT_FALSE(worker.IsStarted());
    worker.Join();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(Thread, RunsOnceAndGivesItsExitCode) {
  Worker worker;
  ASSERT_TRUE(worker.Start());
  worker.Join();
  EXPECT_EQ(worker.runs, 1);
  EXPECT_EQ(worker.ExitCode(), 7u);
}

std::atomic<bool> slowEntered{false};
std::atomic<bool> slowFinished{false};

// Keeps no state of its own, so ~Thread alone may wait for it once Run
// has begun.
class SlowWorker : public Thread {
 protected:
  std::uint32_t Run() override {
    slowEntered = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    slowFinished = true;
    return 0;
  }
};

TEST(Thread, DestructorWaitsForTheBody) {
  {
    SlowWorker worker;
    ASSERT_TRUE(worker.Start());
    while (!slowEntered) std::this_thread::yield();
    EXPECT_FALSE(slowFinished);
  }
  EXPECT_TRUE(slowFinished);
}

TEST(Thread, ExceptionInTheBodyEndsOnlyTheThread) {
  Worker worker;
  worker.fail = true;
  ASSERT_TRUE(worker.Start());
  worker.Join();
  EXPECT_EQ(worker.runs, 1);
  EXPECT_EQ(worker.ExitCode(), Thread::kExceptionExitCode);
}

TEST(Thread, SecondStartWaitsForTheFirstRun) {
  Worker worker;
  ASSERT_TRUE(worker.Start());
  worker.result = 9;
  ASSERT_TRUE(worker.Start());
  worker.Join();
  EXPECT_EQ(worker.runs, 2);
  EXPECT_EQ(worker.ExitCode(), 9u);
}

// Tries to join itself once the owner has let it go, then goes on a
// little, so that an owner that did not wait would be seen.
class SelfJoiner : public Thread {
 public:
  ~SelfJoiner() override { Join(); }
  std::atomic<bool> release{false};
  std::atomic<bool> refused{false};
  std::atomic<bool> finished{false};

 protected:
  std::uint32_t Run() override {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    try {
      Join();
    } catch (const std::system_error& error) {
      refused = error.code() == std::errc::resource_deadlock_would_occur;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    finished = true;
    return 3;
  }
};

TEST(Thread, JoiningItselfIsAnErrorAndTheOwnerStillJoins) {
  SelfJoiner worker;
  ASSERT_TRUE(worker.Start());
  worker.release = true;
  worker.Join();
  EXPECT_TRUE(worker.refused);
  EXPECT_TRUE(worker.finished);  // the owner's Join waited for the whole body
  EXPECT_EQ(worker.ExitCode(), 3u);
  EXPECT_FALSE(worker.IsStarted());
}

}  // namespace
}  // namespace QuickKit
