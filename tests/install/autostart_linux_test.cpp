#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "install/installer_state.h"
#include "registry_fixture.h"
#include "support/registry.h"

namespace bright_setup {
namespace {

TEST(AutostartLinux, RunValueWritesAndClearRemovesTheDesktopEntry) {
  QuickKit::TemporaryRegistry registry;  // XDG_CONFIG_HOME is a fresh folder
  const std::string entry = registry.UserFolder() + "/autostart/NorvaneInstaller.desktop";
  WriteRunValue("/opt/Norvane Lab/norvane-installer");
  std::ifstream in(entry);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(text.find("\nExec=\"/opt/Norvane Lab/norvane-installer\"\n"), std::string::npos)
      << text;
  struct stat info {};
  ASSERT_EQ(::stat(entry.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(
      std::distance(std::filesystem::directory_iterator(registry.UserFolder() + "/autostart"), {}),
      1);

  ClearState();
  EXPECT_FALSE(std::filesystem::exists(entry));
}

TEST(AutostartLinux, FailedWritesAndRemovalsAreReported) {
  namespace fs = std::filesystem;
  QuickKit::TemporaryRegistry registry;
  fs::create_directories(registry.UserFolder());
  // A file where the key tree's folder belongs: no key can be made.
  const std::string tree = registry.UserFolder() + "/norvane-registry";
  std::ofstream(tree) << "in the way";
  EXPECT_TRUE(FAILED(SaveState(2, {1, 2})));
  EXPECT_TRUE(FAILED(WriteRunValue("/opt/norvane")));
  fs::remove(tree);

  // A folder where the desktop entry belongs: it can be neither written
  // nor removed, while the registry part works.
  const std::string entry = registry.UserFolder() + "/autostart/NorvaneInstaller.desktop";
  fs::remove(entry);
  fs::create_directories(entry + "/inside");
  EXPECT_TRUE(FAILED(WriteRunValue("/opt/norvane")));
  ASSERT_EQ(SaveState(2, {1, 2}), S_OK);
  EXPECT_TRUE(FAILED(ClearState()));
  // Every part was still tried.
  EXPECT_FALSE(QuickKit::RegistryKeyExists(QuickKit::RegistryHive::CurrentUser, kStateKey));
  fs::remove_all(entry);
  EXPECT_EQ(ClearState(), S_OK);
}

}  // namespace
}  // namespace bright_setup
