#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "install/installer_state.h"
#include "registry_fixture.h"

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

}  // namespace
}  // namespace bright_setup
