#include "webhost/bridge_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_js_methods.h"
#include "webhost/page_script_queue.h"

namespace UiDeck {
namespace {

namespace wire = bridge_wire;

const std::string kToken = "0123456789abcdef0123456789abcdef";

std::string Frame(const std::string& payload) {
  std::string bytes;
  wire::AppendFrame(bytes, payload);
  return bytes;
}

std::string Call(const std::string& method, const std::string& args) {
  return Frame(wire::Request(method, args));
}

// The replies' payloads in a stream of frames.
std::vector<std::string> Replies(const std::string& bytes) {
  wire::FrameReader reader;
  reader.Append(bytes);
  std::vector<std::string> payloads;
  while (auto payload = reader.Next()) payloads.push_back(*payload);
  return payloads;
}

TEST(BridgeSession, TokenFirstThenCallsAnsweredInOrder) {
  bright_setup::FakeJsMethods page;
  page.installPercents = 57;
  BridgeSession session(kToken, page);
  const std::string stream = Frame(kToken) + Call("GetInstallPercents", "[]") +
                             Call("CheckAreaById", "[\"Device\"]") + Call("Nope", "[]") +
                             Call("GetAttr", "[\"a\\u0000b\"]");
  // Byte by byte: frames may arrive in any pieces.
  std::string out;
  for (const char c : stream) ASSERT_TRUE(session.Receive(std::string_view(&c, 1), &out));
  EXPECT_TRUE(session.Authenticated());
  EXPECT_EQ(Replies(out),
            (std::vector<std::string>{"R57", "R", "Eunknown method", "R\"a\\u0000b\""}));
  EXPECT_EQ(page.calls, (std::vector<std::string>{"GetInstallPercents", "CheckAreaById(Device)",
                                                  std::string("GetAttr(a\0b)", 12)}));
}

TEST(BridgeSession, ClosedForAWrongTokenABadFrameOrNoMethod) {
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"wrong token", Frame("not the token") + Call("Close", "[]")},
      {"token one character short", Frame(kToken.substr(1)) + Call("Close", "[]")},
      {"a call instead of the token", Call("Close", "[]")},
      {"a frame beyond the limit", Frame(kToken) + std::string("\x01\x00\x00\x10", 4)},
      {"a request without NUL", Frame(kToken) + Frame("Close")},
      {"a request without a method", Frame(kToken) + Call("", "[]")},
  };
  for (const auto& c : cases) {
    bright_setup::FakeJsMethods page;
    BridgeSession session(kToken, page);
    std::string out;
    EXPECT_FALSE(session.Receive(c.bytes, &out)) << c.what;
    EXPECT_TRUE(out.empty()) << c.what;
    EXPECT_TRUE(page.calls.empty()) << c.what;
    EXPECT_FALSE(session.Receive(Call("Close", "[]"), &out)) << c.what << ": stays closed";
  }
}

// A page method that runs a nested main loop may see more bytes of its own
// connection arrive: they are answered after its own reply, in order.
TEST(BridgeSession, BytesArrivingDuringACallAreAnsweredAfterIt) {
  bright_setup::FakeJsMethods page;
  BridgeSession session(kToken, page);
  std::string out;
  ASSERT_TRUE(session.Receive(Frame(kToken), &out));
  bool nested = false;
  page.onCall = [&](const std::string& name) {
    if (name != "StartInstall" || nested) return;
    nested = true;
    std::string inner;
    EXPECT_TRUE(session.Receive(Call("GetLanguage", "[]"), &inner));
    EXPECT_TRUE(inner.empty());
  };
  ASSERT_TRUE(session.Receive(Call("StartInstall", "[]"), &out));
  EXPECT_EQ(Replies(out), (std::vector<std::string>{"R", "R\"en\""}));
  EXPECT_EQ(page.calls, (std::vector<std::string>{"StartInstall", "GetLanguage"}));
}

TEST(BridgeWire, FramesSplitAndJoin) {
  wire::FrameReader reader;
  const std::string big(3 * 1024 * 1024, 'x');
  const std::string bytes = Frame("") + Frame(big) + Frame("tail");
  reader.Append(bytes.substr(0, 10));
  ASSERT_EQ(reader.Next(), std::string());
  EXPECT_EQ(reader.Next(), std::nullopt);  // the big one is not complete yet
  reader.Append(bytes.substr(10));
  const auto second = reader.Next();
  ASSERT_TRUE(second.has_value());
  EXPECT_TRUE(*second == big);
  EXPECT_EQ(reader.Next(), "tail");
  EXPECT_EQ(reader.Next(), std::nullopt);
  EXPECT_FALSE(reader.Broken());

  const std::string request = wire::Request("GetAttr", "[\"eula\"]");
  std::string_view method, args;
  ASSERT_TRUE(wire::SplitRequest(request, &method, &args));
  EXPECT_EQ(method, "GetAttr");
  EXPECT_EQ(args, "[\"eula\"]");
}

TEST(PageScripts, HeldUntilAPageHasLoadedThenInOrder) {
  PageScriptQueue queue;
  EXPECT_EQ(queue.Submit("a"), PageScriptQueue::Admission::kHeld);
  EXPECT_EQ(queue.Submit("b"), PageScriptQueue::Admission::kHeld);
  EXPECT_EQ(queue.PageLoaded(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(queue.Submit("c"), PageScriptQueue::Admission::kRunNow);
  queue.PageGone();  // a new load, or the page's process died
  EXPECT_EQ(queue.Submit("d"), PageScriptQueue::Admission::kHeld);
  EXPECT_EQ(queue.PageLoaded(), std::vector<std::string>{"d"});
  EXPECT_TRUE(queue.PageLoaded().empty());

  queue.PageGone();
  for (std::size_t i = 0; i < PageScriptQueue::kMaxHeld; ++i)
    ASSERT_EQ(queue.Submit("x"), PageScriptQueue::Admission::kHeld);
  EXPECT_EQ(queue.Submit("one too many"), PageScriptQueue::Admission::kRefused);
  EXPECT_EQ(queue.PageLoaded().size(), PageScriptQueue::kMaxHeld);
}

}  // namespace
}  // namespace UiDeck
