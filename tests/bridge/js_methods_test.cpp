#include "bridge/js_methods.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_js_methods.h"
#include "support/json.h"

namespace bright_setup {
namespace {

TEST(JsMethodTable, NamesAndDispidsAreUniqueAndFoundExactly) {
  std::set<std::string_view> names;
  std::set<std::int32_t> dispids;
  for (const JsMethod& method : JsMethodTable()) {
    EXPECT_TRUE(names.insert(method.name).second) << method.name;
    EXPECT_TRUE(dispids.insert(method.dispid).second) << method.name;
    EXPECT_EQ(FindJsMethod(method.name), &method);
    EXPECT_EQ(FindJsMethodByDispid(method.dispid), &method);
    EXPECT_EQ(method.result.type == JsType::kNone, method.result.name.empty()) << method.name;
    for (std::size_t i = 0; i < method.paramCount; ++i)
      EXPECT_FALSE(method.params[i].name.empty()) << method.name;
  }
  EXPECT_EQ(names.size(), 22u);
  EXPECT_EQ(FindJsMethod("getattr"), nullptr);  // case matters
  EXPECT_EQ(FindJsMethod("SetLanguage"), nullptr);
  EXPECT_EQ(FindJsMethodByDispid(1001), nullptr);
  const JsMethod* getAttr = FindJsMethodByDispid(1015);
  ASSERT_NE(getAttr, nullptr);
  EXPECT_EQ(getAttr->name, "GetAttr");
  EXPECT_EQ(getAttr->params[0].type, JsType::kString);
  EXPECT_EQ(getAttr->result.type, JsType::kString);
}

// Every method reaches its own member with its arguments, and its result
// comes back as JSON.
TEST(JsDispatch, EveryMethodReachesItsMemberAndAnswers) {
  const struct {
    const char* name;
    const char* args;
    const char* call;
    const char* result;
  } cases[] = {
      {"Close", "[]", "Close", ""},
      {"Minimize", "[]", "Minimize", ""},
      {"IsCppConnected", "[]", "IsCppConnected", "1"},
      {"GetInstallPercents", "[]", "GetInstallPercents", "-42"},
      {"GetLanguage", "[]", "GetLanguage", "\"en\""},
      {"GetAreaCollection", "[]", "GetAreaCollection", "\"[]\""},
      {"GetProductCollection", "[]", "GetProductCollection", "\"[]\""},
      {"CheckAreaById", "[\"Device\"]", "CheckAreaById(Device)", ""},
      {"UncheckAreaById", "[\"Money\"]", "UncheckAreaById(Money)", ""},
      {"CheckProductById", "[\"vault\"]", "CheckProductById(vault)", ""},
      {"UncheckProductById", "[\"tidy\"]", "UncheckProductById(tidy)", ""},
      {"OpenUrl", "[\"eula\"]", "OpenUrl(eula)", ""},
      {"GetAttr", "[\"qrCode\"]", "GetAttr(qrCode)", "\"\\/tmp\\/qr.png\""},
      {"StartInstall", "[]", "StartInstall", ""},
      {"StopInstall", "[]", "StopInstall", ""},
      {"WindowIsReady", "[]", "WindowIsReady", ""},
      {"SendOtherDevice", "[\"a@b.c\"]", "SendOtherDevice(a@b.c)", ""},
      {"Share", "[\"twitter\"]", "Share(twitter)", ""},
      {"SendShareMessage", "[\"a@b.c\", \" \"]", "SendShareMessage(a@b.c, )", ""},
      {"ReportIEVersion", "[\"Not IE\"]", "ReportIEVersion(Not IE)", ""},
      {"UserClick", "[\"continueClicked\"]", "UserClick(continueClicked)", ""},
      {"RetryInstall", "[]", "RetryInstall", ""},
  };
  std::set<std::string> covered;
  for (const auto& c : cases) {
    FakeJsMethods fake;
    fake.installPercents = -42;
    fake.attributes["qrCode"] = "/tmp/qr.png";
    const JsCallReply reply = DispatchJsCall(fake, c.name, c.args);
    EXPECT_TRUE(reply.ok) << c.name << ": " << reply.text;
    EXPECT_EQ(reply.text, c.result) << c.name;
    EXPECT_EQ(fake.calls, std::vector<std::string>{c.call}) << c.name;
    covered.insert(c.name);
  }
  EXPECT_EQ(covered.size(), JsMethodTable().size());
}

TEST(JsDispatch, StringsCrossWhole) {
  FakeJsMethods fake;
  std::string name("a\0b \xC3\xA9\xF0\x9F\x98\x80", 11);
  name += std::string(100000, 'z');
  std::string json = "[\"";
  QuickKit::AppendJsonEscaped(json, name);
  json += "\"]";
  const JsCallReply reply = DispatchJsCall(fake, "GetAttr", json);  // the fake echoes it
  ASSERT_TRUE(reply.ok) << reply.text;
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_TRUE(fake.calls[0] == "GetAttr(" + name + ")");
  EXPECT_TRUE(reply.text == "\"" + json.substr(2, json.size() - 4) + "\"");
}

TEST(JsDispatch, BadCallsAreRefusedWithoutReachingTheMethod) {
  const struct {
    const char* name;
    const char* args;
    const char* error;
  } cases[] = {
      {"SetLanguage", "[\"en\"]", "unknown method"},
      {"getattr", "[\"eula\"]", "unknown method"},
      {"", "[]", "unknown method"},
      {"GetAttr", "[]", "expects 1 argument, got 0"},
      {"GetAttr", "[\"a\",\"b\"]", "expects 1 argument, got 2"},
      {"Close", "[1]", "expects 0 arguments, got 1"},
      {"SendShareMessage", "[\"a@b.c\"]", "expects 2 arguments, got 1"},
      {"GetAttr", "[7]", "argument 1 (attributeName) must be a string"},
      {"GetAttr", "[null]", "argument 1 (attributeName) must be a string"},
      {"GetAttr", "[true]", "argument 1 (attributeName) must be a string"},
      {"GetAttr", "[[\"eula\"]]", "argument 1 (attributeName) must be a string"},
      {"GetAttr", "[{}]", "argument 1 (attributeName) must be a string"},
      {"SendShareMessage", "[\"a@b.c\", 1.5]", "argument 2 (message) must be a string"},
      {"GetAttr", "\"eula\"", "the arguments are not a JSON array"},
      {"GetAttr", "[\"eula\"", "the arguments are not a JSON array"},
      {"Close", "", "the arguments are not a JSON array"},
  };
  for (const auto& c : cases) {
    FakeJsMethods fake;
    const JsCallReply reply = DispatchJsCall(fake, c.name, c.args);
    EXPECT_FALSE(reply.ok) << c.name << " " << c.args;
    EXPECT_EQ(reply.text, c.error) << c.name << " " << c.args;
    EXPECT_TRUE(fake.calls.empty()) << c.name << " " << c.args;
  }
}

TEST(JsDispatch, FailuresInsideTheMethodBecomeErrors) {
  FakeJsMethods fake;
  fake.windowReachable = false;
  JsCallReply reply = DispatchJsCall(fake, "Close", "[]");
  EXPECT_FALSE(reply.ok);
  EXPECT_EQ(reply.text, "the window could not be reached");

  fake.onCall = [](const std::string&) { throw std::runtime_error("disk full"); };
  reply = DispatchJsCall(fake, "StartInstall", "[]");
  EXPECT_FALSE(reply.ok);
  EXPECT_EQ(reply.text, "failed: disk full");
}

// The typed entry the Windows dispatch uses: integers are checked as such.
TEST(JsDispatch, TypedArgumentsAreChecked) {
  FakeJsMethods fake;
  const JsMethod& getAttr = *FindJsMethod("GetAttr");
  const JsValue number[] = {std::int32_t{3}};
  JsOutcome outcome = InvokeJsMethod(fake, getAttr, number);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error, "argument 1 (attributeName) must be a string");
  const JsValue text[] = {std::string("eula")};
  fake.attributes["eula"] = "<p>terms</p>";
  outcome = InvokeJsMethod(fake, getAttr, text);
  ASSERT_TRUE(outcome.ok);
  EXPECT_EQ(std::get<std::string>(outcome.result), "<p>terms</p>");
  outcome = InvokeJsMethod(fake, *FindJsMethod("GetInstallPercents"), {});
  ASSERT_TRUE(outcome.ok);
  EXPECT_EQ(std::get<std::int32_t>(outcome.result), 0);
}

}  // namespace
}  // namespace bright_setup
