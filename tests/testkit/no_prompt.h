// The reconnect prompt for tests whose downloads must never ask the user:
// being asked fails the test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "net/reconnect_prompt.h"

namespace QuickKit::test {

class NoPrompt : public IReconnectPrompt {
 public:
  Answer Ask(WindowHandle, const std::string&, const std::string&) override {
    ADD_FAILURE() << "the reconnect prompt was shown";
    return Answer::No;
  }
  void PostClose(WindowHandle) override {}
};

}  // namespace QuickKit::test
