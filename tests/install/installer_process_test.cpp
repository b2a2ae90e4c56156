#include "install/installer_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "support/paths.h"
#include "support/program_path.h"

namespace bright_setup {
namespace {
namespace fs = std::filesystem;

// The fake installer is built beside this test executable.
fs::path FakeInstaller() {
  const fs::path self = QuickKit::PathFromUtf8(QuickKit::GetProgramPath());
  return self.parent_path() / ("fake_installer" + self.extension().string());
}

class InstallerFolder {
 public:
  InstallerFolder()
      : m_path(fs::temp_directory_path() /
               ("norvane-run-" + std::to_string(std::random_device()()))) {
    fs::create_directories(m_path);
  }
  ~InstallerFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  // Copies the fake in under name with the given orders.
  void Place(const std::string& name, const std::string& orders,
             const std::string& childOrders = "") {
    fs::copy_file(FakeInstaller(), m_path / name, fs::copy_options::overwrite_existing);
    std::ofstream(m_path / (name + ".orders")) << orders;
    if (!childOrders.empty()) std::ofstream(m_path / (name + ".orders.child")) << childOrders;
  }
  std::string Started() const {
    std::ifstream in(m_path / "started.txt");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::string Utf8() const { return QuickKit::PathToUtf8(m_path); }
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string ExeName(const std::string& stem) { return stem + FakeInstaller().extension().string(); }

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
