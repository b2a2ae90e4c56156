#include "support/scoped_handle.h"

#include <gtest/gtest.h>

#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace QuickKit {
namespace {

std::vector<int> closed;

struct CountingTraits {
  using Handle = int;
  static Handle Invalid() { return 0; }
  static void Close(Handle h) { closed.push_back(h); }
};
using CountingHandle = ScopedHandle<CountingTraits>;

class ScopedHandleTest : public testing::Test {
 protected:
  void SetUp() override { closed.clear(); }
};

TEST_F(ScopedHandleTest, InvalidValueIsNeverClosed) {
  { CountingHandle empty; }
  { CountingHandle invalid(0); }
  EXPECT_TRUE(closed.empty());
}

TEST_F(ScopedHandleTest, ClosesOnDestructionAndReplacement) {
  {
    CountingHandle h(5);
    h = 6;  // 5 closed first
    EXPECT_EQ(closed, std::vector<int>{5});
    h = 6;  // the same value again: nothing to close
    EXPECT_EQ(closed, std::vector<int>{5});
  }
  EXPECT_EQ(closed, (std::vector<int>{5, 6}));
}

TEST_F(ScopedHandleTest, ReleaseAndMoveHandOverOwnership) {
  CountingHandle a(3);
  EXPECT_EQ(a.Release(), 3);
  EXPECT_FALSE(a.IsValid());
  {
    CountingHandle b(4);
    CountingHandle c(std::move(b));
    EXPECT_FALSE(b.IsValid());
    EXPECT_EQ(c.Get(), 4);
    CountingHandle d(8);
    d = std::move(c);  // 8 closed, 4 moves over
    EXPECT_EQ(closed, std::vector<int>{8});
  }
  EXPECT_EQ(closed, (std::vector<int>{8, 4}));
}

#ifndef _WIN32
TEST_F(ScopedHandleTest, FileDescriptorIsClosed) {
  int fd = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(fd, 0);
  { ScopedFd owner(fd); }
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  ScopedFd none;
  EXPECT_EQ(none.Get(), -1);
}
#endif

}  // namespace
}  // namespace QuickKit
