#include "install/installer_state.h"

#include <gtest/gtest.h>

#include "install/autostart.h"
#include "registry_fixture.h"
#include "support/registry.h"

namespace bright_setup {
namespace {

using QuickKit::RegistryHive;
using QuickKit::RegistryKey;
using QuickKit::RegistryValue;

class InstallerStateTest : public testing::Test {
 protected:
  void SetUp() override { ClearState(); }
  void TearDown() override { ClearState(); }
  QuickKit::TemporaryRegistry m_registry;
};

TEST(QueueText, FormatAndParse) {
  EXPECT_EQ(FormatQueue({5, 2}), "2 5 2");
  EXPECT_EQ(FormatQueue({}), "0");
  EXPECT_EQ(FormatQueue({-1, 7}), "2 -1 7");
  const struct {
    const char* text;
    std::vector<std::int32_t> queue;
  } cases[] = {
      {"2 5 2", {5, 2}},
      {"0", {}},
      {"", {}},
      {"  3\t7 5\n6 ", {7, 5, 6}},
      {"2 -4 +3", {-4, 3}},
      {"1 5 9", {5}},           // extra numbers are ignored
      {"3 5", {5}},             // a count larger than what follows invents nothing
      {"3 5 x 7", {5}},         // nor does text that is not a number
      {"-2 5 6", {}},           // a negative count is no queue
      {"2 99999999999 1", {}},  // out of range
      {"x 1", {}},
      {"2147483647", {}},  // a huge count without indices allocates nothing
  };
  for (const auto& c : cases) EXPECT_EQ(ParseQueue(c.text), c.queue) << c.text;
}

TEST_F(InstallerStateTest, SavedRunLoadsBack) {
  ASSERT_EQ(SaveState(3, {5, 6}), S_OK);
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Open(RegistryHive::CurrentUser, kStateKey, false, &key), S_OK);
  RegistryValue value;
  ASSERT_EQ(key.QueryValue("count", &value), S_OK);
  EXPECT_EQ(value.type, QuickKit::RegistryType::Dword);
  EXPECT_EQ(value.number, 3u);
  ASSERT_EQ(key.QueryValue("products", &value), S_OK);
  EXPECT_EQ(value.text, "2 5 6");
  const InstallerState state = LoadState();
  EXPECT_EQ(state.total, 3);
  EXPECT_EQ(state.queue, (std::vector<std::int32_t>{5, 6}));
}

TEST_F(InstallerStateTest, WhatIsNotAUsableState) {
  EXPECT_EQ(LoadState().total, 0);  // nothing stored

  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(RegistryHive::CurrentUser, kStateKey, &key), S_OK);
  ASSERT_EQ(key.SetString("count", "3"), S_OK);  // a count of the wrong type
  ASSERT_EQ(key.SetString("products", "1 4"), S_OK);
  InstallerState state = LoadState();
  EXPECT_EQ(state.total, 0);
  EXPECT_TRUE(state.queue.empty());

  ASSERT_EQ(key.SetDword("count", 2), S_OK);  // count without products
  ASSERT_EQ(key.DeleteValue("products"), S_OK);
  state = LoadState();
  EXPECT_EQ(state.total, 2);
  EXPECT_TRUE(state.queue.empty());

  ASSERT_EQ(key.SetString("products", "0"), S_OK);
  EXPECT_TRUE(LoadState().queue.empty());
}

TEST_F(InstallerStateTest, ClearRemovesStateAndRunValueAndIsQuietWhenGone) {
  ASSERT_EQ(SaveState(2, {1, 2}), S_OK);
  ASSERT_EQ(WriteRunValue("/opt/Norvane Installer/run me"), S_OK);
  RegistryKey run;
  ASSERT_EQ(RegistryKey::Open(RegistryHive::CurrentUser, kRunKey, false, &run), S_OK);
  RegistryValue value;
  ASSERT_EQ(run.QueryValue(kRunValue, &value), S_OK);
  EXPECT_EQ(value.text, "\"/opt/Norvane Installer/run me\"");  // blanks kept inside the quotes

  // The Run value alone goes, the saved run stays (a start that failed).
  EXPECT_EQ(RemoveRunValue(), S_OK);
  EXPECT_EQ(run.QueryValue(kRunValue, &value), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(LoadState().total, 2);
  ASSERT_EQ(WriteRunValue("/opt/Norvane Installer/run me"), S_OK);

  EXPECT_EQ(ClearState(), S_OK);
  EXPECT_EQ(run.QueryValue(kRunValue, &value), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(QuickKit::RegistryKeyExists(RegistryHive::CurrentUser, kStateKey));
  EXPECT_TRUE(QuickKit::RegistryKeyExists(RegistryHive::CurrentUser, kStateParentKey));
  EXPECT_EQ(ClearState(), S_OK);  // again, with everything gone
  EXPECT_EQ(RemoveRunValue(), S_OK);
  EXPECT_EQ(LoadState().total, 0);
}

TEST(AutostartExec, QuotesAndEscapesThePath) {
  const struct {
    const char* path;
    const char* exec;
  } cases[] = {
      {"/usr/bin/norvane", "\"/usr/bin/norvane\""},
      {"/home/a b/Norvane Installer", "\"/home/a b/Norvane Installer\""},
      {"/x/100%/y", "\"/x/100%%/y\""},
      {"/x/\"q\"/$HOME/`c`", "\"/x/\\\\\"q\\\\\"/\\\\$HOME/\\\\`c\\\\`\""},
      {"/x\\y", "\"/x\\\\\\\\y\""},
      {"/bad\nline", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(AutostartExecLine(c.path), c.exec) << c.path;
}

}  // namespace
}  // namespace bright_setup
