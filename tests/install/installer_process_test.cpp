#include "install/installer_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "fake_installer_fixture.h"

namespace bright_setup {
namespace {
namespace fs = std::filesystem;

using namespace testing_fake;

TEST(InstallerProcess, StartsWithoutArgumentsInItsFolderAndIsFoundByName) {
  InstallerFolder folder;
  const std::string name = ExeName("NorvaneInstaller_setup");
  folder.Place(name, "sleep 1500");
  InstallerProcess process;
  ASSERT_EQ(StartInstaller(folder.Utf8(), name, &process), S_OK);
  EXPECT_TRUE(process.IsValid());
  ASSERT_TRUE(WaitFor([&] { return !folder.Started().empty(); }));
  EXPECT_EQ(folder.Started(), name + " 0\n");  // in the working folder, no arguments
  EXPECT_TRUE(IsProcessRunning(name));
  EXPECT_FALSE(IsProcessRunning(ExeName("norvaneinstaller_setup")));  // names are case-sensitive
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(name); }));
}

TEST(InstallerProcess, WaitEndsWhenTheInstallerHandsOverToAChild) {
  InstallerFolder folder;
  const std::string name = ExeName("NorvaneInstaller_boot");
  const std::string child = ExeName("child_setup");
  folder.Place(name, "spawn " + child, "sleep 2000");
  InstallerProcess process;
  ASSERT_EQ(StartInstaller(folder.Utf8(), name, &process), S_OK);
  ASSERT_TRUE(WaitFor([&] { return folder.Started().find(child) != std::string::npos; }));
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(name); }, std::chrono::seconds(2)));
  EXPECT_TRUE(IsProcessRunning(child));
  EXPECT_TRUE(WaitFor([&] { return !IsProcessRunning(child); }));
}

TEST(InstallerProcess, MissingFileFails) {
  InstallerFolder folder;
  InstallerProcess process;
  EXPECT_TRUE(FAILED(StartInstaller(folder.Utf8(), ExeName("NorvaneInstaller_missing"), &process)));
  EXPECT_FALSE(process.IsValid());
  EXPECT_FALSE(IsProcessRunning("no-such-program-anywhere"));
}

}  // namespace
}  // namespace bright_setup
