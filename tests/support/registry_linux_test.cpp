// What only the file-backed key tree has: its folders and files.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "registry_fixture.h"
#include "support/registry.h"

namespace QuickKit {
namespace {

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 0777;
}

TEST(FileRegistry, FoldersArePrivateAndValuesReadable) {
  TemporaryRegistry registry;
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(RegistryHive::CurrentUser, "Software\\NorvaneLab\\NorvaneInstaller",
                                &key),
            S_OK);
  ASSERT_EQ(key.SetDword("count", 3), S_OK);
  ASSERT_EQ(key.SetString("products", "2 5 6"), S_OK);
  const std::string folder =
      registry.UserFolder() + "/norvane-registry/Software/NorvaneLab/NorvaneInstaller";
  EXPECT_EQ(ModeOf(registry.UserFolder() + "/norvane-registry"), 0700u);
  EXPECT_EQ(ModeOf(folder), 0700u);
  EXPECT_EQ(ModeOf(folder + "/.values"), 0600u);
  std::ifstream in(folder + "/.values");
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "D count 3\nS products 2%205%206\n");
  // No temporary files are left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST(FileRegistry, DamagedLinesAreSkippedNotFatal) {
  TemporaryRegistry registry;
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(RegistryHive::CurrentUser, "Software\\T", &key), S_OK);
  {
    std::ofstream out(registry.UserFolder() + "/norvane-registry/Software/T/.values");
    out << "garbage\nD big 99999999999\nX odd 1\nS bad%2 x\nD ok 7\nS text a%0Ab\n";
  }
  RegistryValue value;
  EXPECT_EQ(key.QueryValue("big", &value), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(key.QueryValue("ok", &value), S_OK);
  EXPECT_EQ(value.number, 7u);
  ASSERT_EQ(key.QueryValue("text", &value), S_OK);
  EXPECT_EQ(value.text, "a\nb");
}

TEST(FileRegistry, MachineHiveIsReadOnlyFromTheConfigDirs) {
  TemporaryRegistry registry;
  const std::string folder = registry.MachineFolder() + "/norvane-registry/SOFTWARE/Vendor";
  std::filesystem::create_directories(folder);
  { std::ofstream(folder + "/.values") << "S DisplayVersion 1.2.3\n"; }
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Open(RegistryHive::LocalMachine, "Software\\vendor", false, &key), S_OK);
  RegistryValue value;
  ASSERT_EQ(key.QueryValue("displayversion", &value), S_OK);
  EXPECT_EQ(value.text, "1.2.3");
  EXPECT_EQ(RegistryKey::Open(RegistryHive::LocalMachine, "Software\\vendor", true, &key),
            E_ACCESSDENIED);
  EXPECT_EQ(RegistryKey::Create(RegistryHive::LocalMachine, "Software\\x", &key), E_ACCESSDENIED);
  // One tree only: the 32-bit view holds nothing.
  EXPECT_EQ(RegistryKey::Open(RegistryHive::LocalMachine, "Software\\vendor", false, &key,
                              RegistryView::Wow32),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(RegistryKeyExists(RegistryHive::LocalMachine, "SOFTWARE\\VENDOR"));
}

TEST(FileRegistry, KeyNamesThatWouldLeaveTheTreeAreRefused) {
  TemporaryRegistry registry;
  RegistryKey key;
  for (const char* path : {"Software\\..\\..\\escape", "a/b", "Software\\.values", "."}) {
    EXPECT_EQ(RegistryKey::Create(RegistryHive::CurrentUser, path, &key), E_INVALIDARG) << path;
  }
}

}  // namespace
}  // namespace QuickKit
