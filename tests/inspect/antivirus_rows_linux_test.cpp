// The Linux row source against a fake /proc folder and a fake dpkg status
// file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "inspect/antivirus.h"
#include "inspect/antivirus_rows_linux.h"

namespace QuickKit {
namespace {

namespace fs = std::filesystem;

class FakeSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/norvane-proc-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
  }
  void TearDown() override { fs::remove_all(m_root); }

  std::string Proc() const { return (m_root / "proc").string(); }
  void Process(const std::string& pid, const std::string& exe, const std::string& cmdline) {
    const fs::path folder = m_root / "proc" / pid;
    fs::create_directories(folder);
    if (!exe.empty()) fs::create_symlink(exe, folder / "exe");
    std::ofstream(folder / "cmdline", std::ios::binary) << cmdline;
  }
  std::string Status(const std::string& text) {
    const fs::path file = m_root / "status";
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }

 private:
  fs::path m_root;
};

TEST_F(FakeSystem, ProgramNamesFromExeAndTheFirstCommandWord) {
  Process("1", "/usr/lib/systemd/systemd", std::string("/sbin/init\0splash\0", 18));
  Process("812", "/usr/sbin/clamd", std::string("/usr/sbin/clamd\0--foreground\0", 29));
  // A long name that comm would cut at 15 characters.
  Process("900", "/opt/sophos/sophos_threat_detector (deleted)", "");
  // Another user's process: exe cannot be read, its command line can.
  Process("901", "", std::string("wdavdaemon\0edr\0", 15));
  Process("self", "/usr/bin/bash", "bash");
  fs::create_directories(Proc() + "/sys");
  const std::set<std::string> names = RunningProgramNames(Proc());
  const std::set<std::string> expected{"systemd", "init", "clamd", "sophos_threat_detector",
                                       "wdavdaemon"};
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(RunningProgramNames(Proc() + "/missing").empty());
}

TEST_F(FakeSystem, InstalledPackagesFromTheStatusFile) {
  const std::string status = Status(
      "Package: clamav\n"
      "Status: install ok installed\n"
      "Version: 1.0.7+dfsg-1~deb12u1\n"
      "\n"
      "Package: avira\n"
      "Status: deinstall ok config-files\n"
      "\n"
      "Package: esets\n"
      "Architecture: amd64\n"
      "Status: install ok installed\n"
      "Description: scanner\n"
      " continued line\n"
      "\n"
      "Package: mdatp\n"
      "Status: install ok half-configured\n"
      "\n"
      "Package: ds-agent\n"
      "Status: install ok installed");
  const std::set<std::string> expected{"clamav", "esets", "ds-agent"};
  EXPECT_EQ(InstalledPackageNames(status), expected);
  EXPECT_TRUE(InstalledPackageNames(status + ".missing").empty());
}

TEST_F(FakeSystem, RowsForRunningThenInstalledProducts) {
  Process("10", "/usr/sbin/clamd", "");
  Process("11", "/opt/microsoft/mdatp/sbin/wdavdaemon", "");
  const std::string status = Status(
      "Package: clamav-daemon\nStatus: install ok installed\n\n"
      "Package: esets\nStatus: install ok installed\n\n"
      "Package: ds-agent\nStatus: install ok installed\n");
  const std::vector<WmiRow> rows =
      LinuxAntivirusRows(RunningProgramNames(Proc()), InstalledPackageNames(status));
  ASSERT_EQ(rows.size(), 4u);
  const std::pair<const char*, const char*> expected[] = {
      {"Microsoft Defender for Endpoint", "4096"},
      {"ClamAV", "4096"},
      {"ESET NOD32 Antivirus", "16"},
      {"Trend Micro Deep Security Agent", "16"},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].Get("displayName"), expected[i].first);
    EXPECT_EQ(rows[i].Get("productState"), expected[i].second);
  }
  // The rules above read them like Security Center's rows.
  InspectionSource source;
  const AntivirusProduct defender = ProductFromSecurityCenter2(rows[0], source);
  EXPECT_EQ(defender.brand, AntivirusBrand::Microsoft);
  EXPECT_TRUE(defender.enabled);
  EXPECT_TRUE(defender.upToDate);
  const AntivirusProduct eset = ProductFromSecurityCenter2(rows[2], source);
  EXPECT_EQ(eset.brand, AntivirusBrand::ESET);
  EXPECT_FALSE(eset.enabled);
  EXPECT_FALSE(eset.upToDate);
  EXPECT_EQ(ClassifyAntivirusBrand(rows[3].Get("displayName")), AntivirusBrand::TrendMicro);

  EXPECT_TRUE(LinuxAntivirusRows({"bash", "clamscan"}, {"clamav-freshclam"}).empty());
}

}  // namespace
}  // namespace QuickKit
