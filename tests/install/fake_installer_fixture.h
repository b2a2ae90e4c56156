// The fake product installer (fake_installer.cpp) and a folder to run it in.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "support/paths.h"
#include "support/program_path.h"

namespace bright_setup::testing_fake {

namespace fs = std::filesystem;

// Built beside the test executable.
inline fs::path FakeInstaller() {
  const fs::path self = QuickKit::PathFromUtf8(QuickKit::GetProgramPath());
  return self.parent_path() / ("fake_installer" + self.extension().string());
}

// A file name the platform starts as a program.
inline std::string ExeName(const std::string& stem) {
  return stem + FakeInstaller().extension().string();
}

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The first bytes of a program of this platform with nothing valid after
// them: the system refuses to start it.
inline std::string BrokenProgram() {
#ifdef _WIN32
  return "MZ" + std::string(1022, '\0');
#else
  return std::string(
             "\x7f"
             "ELF") +
         std::string(1020, '\0');
#endif
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
    Orders(name, orders);
    if (!childOrders.empty()) std::ofstream(m_path / (name + ".orders.child")) << childOrders;
  }
  // Orders for a fake that will arrive under name.
  void Orders(const std::string& name, const std::string& orders) {
    std::ofstream(m_path / (name + ".orders")) << orders;
  }
  // "<name> <argument count>" per start, oldest first.
  std::string Started() const { return ReadText(m_path / "started.txt"); }
  std::string Utf8() const { return QuickKit::PathToUtf8(m_path); }
  // With a separator at the end, as the working folder is given.
  std::string Folder() const { return QuickKit::PathToUtf8(m_path / ""); }
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

}  // namespace bright_setup::testing_fake
