#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "install/installer_process.h"

namespace bright_setup {
namespace {
namespace fs = std::filesystem;

TEST(InstallerProcessLinux, ScriptsRunDirectlyAndAreFoundByTheirOwnName) {
  const fs::path folder = fs::temp_directory_path() / "norvane-script-test";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string name = "NorvaneInstaller_a_rather_long_setup_name.sh";  // longer than comm's 15
  std::ofstream(folder / name) << "#!/bin/sh\necho \"$# $PWD\" > ran.txt\nsleep 1\n";
  fs::permissions(folder / name, fs::perms::owner_read | fs::perms::owner_write,
                  fs::perm_options::replace);

  InstallerProcess process;
  ASSERT_EQ(StartInstaller(folder.string(), name, &process), S_OK);
  struct stat info {};
  ASSERT_EQ(::stat((folder / name).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  bool seen = false;
  for (int i = 0; i < 50 && !seen; ++i) {
    seen = IsProcessRunning(name);
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(seen);
  for (int i = 0; i < 200 && IsProcessRunning(name); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(IsProcessRunning(name));
  std::ifstream in(folder / "ran.txt");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "0 " + folder.string());
  process.Close();
  fs::remove_all(folder);
}

}  // namespace
}  // namespace bright_setup
