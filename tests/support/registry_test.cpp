#include "support/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "registry_fixture.h"

namespace QuickKit {
namespace {

constexpr char kTestKey[] = "Software\\NorvaneLab\\RegistryTest";
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(DeleteRegistryTree(RegistryHive::CurrentUser, kTestKey)));
  }
  void TearDown() override { DeleteRegistryTree(RegistryHive::CurrentUser, kTestKey); }
  TemporaryRegistry m_registry;
};

TEST_F(RegistryTest, ValuesRoundTripWithLetterCaseIgnored) {
  RegistryKey key;
  ASSERT_EQ(
      RegistryKey::Create(RegistryHive::CurrentUser, std::string(kTestKey) + "\\Deep\\Er", &key),
      S_OK);
  const std::string texts[] = {"",
                               "plain",
                               "two words",
                               "100% \"quoted\"\\back",
                               "line\nbreak\ttab",
                               "Gr\xC3\xBC\xC3\x9F"
                               "e \xE2\x82\xAC \xF0\x9F\x98\x80"};
  for (const std::string& text : texts) {
    ASSERT_EQ(key.SetString("Name", text), S_OK);
    RegistryKey again;
    ASSERT_EQ(RegistryKey::Open(RegistryHive::CurrentUser,
                                "SOFTWARE\\norvanelab\\registrytest\\deep\\ER", false, &again),
              S_OK);
    RegistryValue value;
    ASSERT_EQ(again.QueryValue("NAME", &value), S_OK);
    EXPECT_EQ(value.type, RegistryType::String);
    EXPECT_EQ(value.text, text);
  }
  ASSERT_EQ(key.SetDword("count", 0xFFFFFFFFu), S_OK);
  ASSERT_EQ(key.SetDword("COUNT", 3), S_OK);  // the same value, not a second one
  RegistryValue value;
  ASSERT_EQ(key.QueryValue("Count", &value), S_OK);
  EXPECT_EQ(value.type, RegistryType::Dword);
  EXPECT_EQ(value.number, 3u);
  // A value keeps one type: a string written over a number replaces it.
  ASSERT_EQ(key.SetString("count", "x"), S_OK);
  ASSERT_EQ(key.QueryValue("count", &value), S_OK);
  EXPECT_EQ(value.type, RegistryType::String);
}

TEST_F(RegistryTest, MissingKeysAndValues) {
  RegistryKey key;
  EXPECT_EQ(RegistryKey::Open(RegistryHive::CurrentUser, kTestKey, false, &key), kNotFound);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(RegistryKeyExists(RegistryHive::CurrentUser, kTestKey));
  ASSERT_EQ(RegistryKey::Create(RegistryHive::CurrentUser, kTestKey, &key), S_OK);
  EXPECT_TRUE(RegistryKeyExists(RegistryHive::CurrentUser, kTestKey));
  RegistryValue value;
  EXPECT_EQ(key.QueryValue("absent", &value), kNotFound);
  EXPECT_EQ(value.type, RegistryType::None);
  EXPECT_EQ(key.DeleteValue("absent"), S_FALSE);
  ASSERT_EQ(key.SetString("present", "1"), S_OK);
  EXPECT_EQ(key.DeleteValue("PRESENT"), S_OK);
  EXPECT_EQ(key.QueryValue("present", &value), kNotFound);
}

TEST_F(RegistryTest, ReadOnlyKeyRefusesWrites) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(RegistryHive::CurrentUser, kTestKey, &key), S_OK);
  RegistryKey reader;
  ASSERT_EQ(RegistryKey::Open(RegistryHive::CurrentUser, kTestKey, false, &reader), S_OK);
  EXPECT_EQ(reader.SetString("v", "x"), E_ACCESSDENIED);
  EXPECT_EQ(reader.SetDword("v", 1), E_ACCESSDENIED);
}

TEST_F(RegistryTest, SubkeysAndTreeDeletion) {
  RegistryKey key;
  for (const char* child : {"\\A", "\\B\\Inner", "\\C"}) {
    ASSERT_EQ(RegistryKey::Create(RegistryHive::CurrentUser, std::string(kTestKey) + child, &key),
              S_OK);
    ASSERT_EQ(key.SetString("v", child), S_OK);
  }
  ASSERT_EQ(RegistryKey::Open(RegistryHive::CurrentUser, kTestKey, false, &key), S_OK);
  std::vector<std::string> names;
  ASSERT_EQ(key.EnumSubkeys(&names), S_OK);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "C"}));
  key.Close();

  EXPECT_EQ(DeleteRegistryTree(RegistryHive::CurrentUser, std::string(kTestKey) + "\\b"), S_OK);
  EXPECT_FALSE(RegistryKeyExists(RegistryHive::CurrentUser, std::string(kTestKey) + "\\B\\Inner"));
  EXPECT_TRUE(RegistryKeyExists(RegistryHive::CurrentUser, std::string(kTestKey) + "\\A"));
  EXPECT_EQ(DeleteRegistryTree(RegistryHive::CurrentUser, kTestKey), S_OK);
  EXPECT_FALSE(RegistryKeyExists(RegistryHive::CurrentUser, kTestKey));
  EXPECT_EQ(DeleteRegistryTree(RegistryHive::CurrentUser, kTestKey), S_FALSE);
  // The parent stays.
  EXPECT_TRUE(RegistryKeyExists(RegistryHive::CurrentUser, "Software\\NorvaneLab"));
}

TEST_F(RegistryTest, ConcurrentWritersKeepEachOthersValues) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(RegistryHive::CurrentUser, kTestKey, &key), S_OK);
  constexpr int kThreads = 4;
  constexpr int kValues = 25;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t] {
      RegistryKey own;
      ASSERT_EQ(RegistryKey::Open(RegistryHive::CurrentUser, kTestKey, true, &own), S_OK);
      for (int i = 0; i < kValues; ++i) {
        ASSERT_EQ(own.SetDword("v" + std::to_string(t) + "_" + std::to_string(i),
                               static_cast<std::uint32_t>(i)),
                  S_OK);
      }
    });
  }
  for (auto& w : writers) w.join();
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kValues; ++i) {
      RegistryValue value;
      ASSERT_EQ(key.QueryValue("v" + std::to_string(t) + "_" + std::to_string(i), &value), S_OK);
      EXPECT_EQ(value.number, static_cast<std::uint32_t>(i));
    }
  }
}

TEST_F(RegistryTest, NamesThatCannotBeKeysAreRefused) {
  RegistryKey key;
  EXPECT_EQ(RegistryKey::Create(RegistryHive::CurrentUser, "Software\\bad\xFFname", &key),
            E_INVALIDARG);
}

}  // namespace
}  // namespace QuickKit
