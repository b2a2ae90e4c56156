// The antivirus rules over injected inventory rows and a temporary key
// tree: brand keywords, the two Security Center row forms, the version
// lookups, the query order and the report.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "inspect/antivirus.h"
#include "registry_fixture.h"
#include "support/registry.h"

namespace QuickKit {
namespace {

WmiRow Row(std::initializer_list<std::pair<const char*, const char*>> values) {
  WmiRow row;
  for (const auto& [name, text] : values) row.Set(name, text);
  return row;
}

// Scripted inventory: which Security Center lists can be read and with
// what rows, and the installed product every lookup finds. The registry
// part stays the real seam.
class FakeSource : public InspectionSource {
 public:
  bool SecurityCenterProducts(SecurityCenterList list, std::vector<WmiRow>* rows) override {
    const std::lock_guard<std::mutex> lock(m_lock);
    lists.push_back(list);
    for (const auto& [readable, answer] : answers) {
      if (readable == list) {
        rows->insert(rows->end(), answer.begin(), answer.end());
        return true;
      }
    }
    return false;
  }
  bool FindInstalledProduct(const ProductNameMatch& match, InstalledProduct* product) override {
    const std::lock_guard<std::mutex> lock(m_lock);
    lookups.push_back(match);
    if (!installed.has_value()) return false;
    *product = *installed;
    return true;
  }

  std::vector<std::pair<SecurityCenterList, std::vector<WmiRow>>> answers;
  std::optional<InstalledProduct> installed;
  std::vector<SecurityCenterList> lists;
  std::vector<ProductNameMatch> lookups;

 private:
  std::mutex m_lock;
};

constexpr SecurityCenterList kAntiVirus2 = SecurityCenterList::AntiVirus;
constexpr SecurityCenterList kAntiSpyware2 = SecurityCenterList::AntiSpyware;
constexpr SecurityCenterList kAntiVirus1 = SecurityCenterList::OlderAntiVirus;

TEST(AntivirusBrand, ClassificationByTheFirstKeywordInTableOrder) {
  const std::pair<const char*, AntivirusBrand> cases[] = {
      {"AVG Internet Security 2013", AntivirusBrand::AVG},
      {"AVG2013", AntivirusBrand::UnknownBrand},  // no blank after AVG
      {"Windows Defender", AntivirusBrand::Microsoft},
      {"Norton by Windows Defender", AntivirusBrand::Microsoft},
      {"McAfee with microsoft parts", AntivirusBrand::Microsoft},
      {"norvane total security", AntivirusBrand::Norvane},
      {"avast! Free Antivirus", AntivirusBrand::Avast},
      {"Avast Free Antivirus", AntivirusBrand::UnknownBrand},
      {"Norton 360", AntivirusBrand::Symantec},
      {"Symantec Endpoint Protection", AntivirusBrand::Symantec},
      {"McAfee VirusScan", AntivirusBrand::McAfee},
      {"Trend Micro Titanium", AntivirusBrand::TrendMicro},
      {"Webroot SecureAnywhere", AntivirusBrand::Webroot},
      {"Spyware Doctor with AntiVirus", AntivirusBrand::Spyware},
      {"CyberDefender Early Detection", AntivirusBrand::Cyberdefender},
      {"ESET NOD32 Antivirus", AntivirusBrand::ESET},
      {"ESET Smart Security", AntivirusBrand::ESET},
      {"ZoneAlarm Free", AntivirusBrand::ZoneAlarm},
      {"PC Tools Internet Security Anti-Virus", AntivirusBrand::PCtools},
      {"Avira Free Antivirus", AntivirusBrand::Avira},
      {"Panda Dome", AntivirusBrand::Panda},
      {"Bitdefender Total Security", AntivirusBrand::Bitdefender},
      {"VIPRE Advanced Security", AntivirusBrand::Vipre},
      {"", AntivirusBrand::UnknownBrand},
      {"ClamAV", AntivirusBrand::UnknownBrand},
  };
  for (const auto& [name, brand] : cases) {
    EXPECT_EQ(ClassifyAntivirusBrand(name), brand) << name;
  }
  EXPECT_EQ(AntivirusBrandName(AntivirusBrand::NotProtected), "NotProtected");
  EXPECT_EQ(AntivirusBrandName(AntivirusBrand::SeveralAntiviruses), "SeveralAntiviruses");
  EXPECT_EQ(AntivirusBrandName(AntivirusBrand::PCtools), "PCtools");
  EXPECT_EQ(AntivirusBrandName(AntivirusBrand::Vipre), "Vipre");
  EXPECT_EQ(AntivirusBrandName(static_cast<AntivirusBrand>(20)), "IncorrectAntivirusBrand");
  EXPECT_EQ(AntivirusBrandName(static_cast<AntivirusBrand>(-1)), "IncorrectAntivirusBrand");
}

TEST(AntivirusRows, ProductStateAndTheOlderRowForm) {
  struct Case {
    const char* text;
    bool enabled;
    bool upToDate;
  };
  const Case cases[] = {
      {"4352", true, true},    // 0x1100
      {"256", false, true},    // 0x0100
      {"4368", true, false},   // 0x1110
      {"4096", true, true},    // 0x1000
      {"397568", true, true},  // 0x61100
      {"266240", true, true},  // 0x41000
      {"", false, true},      {"12x", false, true},
  };
  for (const Case& c : cases) {
    const std::uint32_t state = ParseProductState(c.text);
    EXPECT_EQ(ProductStateEnabled(state), c.enabled) << c.text;
    EXPECT_EQ(ProductStateUpToDate(state), c.upToDate) << c.text;
  }

  const AntivirusProduct older =
      ProductFromSecurityCenter(Row({{"displayName", "McAfee VirusScan"},
                                     {"companyName", "McAfee, Inc."},
                                     {"versionNumber", "8.7"},
                                     {"productUptoDate", "true"},
                                     {"onAccessScanningEnabled", "TRUE"}}));
  EXPECT_EQ(older.brand, AntivirusBrand::McAfee);
  EXPECT_EQ(older.publisher, "McAfee, Inc.");
  EXPECT_EQ(older.version, "8.7");
  EXPECT_TRUE(older.upToDate);
  EXPECT_FALSE(older.enabled);  // compared exactly
}

TEST(AntivirusDetection, QueriesFallBackInOrder) {
  const WmiRow defender = Row({{"displayName", "Windows Defender"}, {"productState", "397568"}});
  struct Case {
    std::vector<SecurityCenterList> succeeding;
    std::vector<SecurityCenterList> asked;
    std::size_t products;
  };
  const Case cases[] = {
      {{kAntiVirus2}, {kAntiVirus2}, 1},
      {{kAntiSpyware2}, {kAntiVirus2, kAntiSpyware2}, 1},
      {{kAntiVirus1}, {kAntiVirus2, kAntiSpyware2, kAntiVirus1}, 1},
      {{}, {kAntiVirus2, kAntiSpyware2, kAntiVirus1}, 0},
  };
  for (const Case& c : cases) {
    FakeSource source;
    for (SecurityCenterList list : c.succeeding) source.answers.push_back({list, {defender}});
    const std::vector<AntivirusProduct> products = DetectAntivirusProducts(source);
    EXPECT_EQ(source.lists, c.asked);
    ASSERT_EQ(products.size(), c.products);
    if (!products.empty()) {
      EXPECT_EQ(products[0].brand, AntivirusBrand::Microsoft);
    }
  }
}

TEST(AntivirusDetection, ReportTakesTheFirstProductAndAnyFlag) {
  FakeSource source;
  source.answers.push_back({kAntiVirus2,
                            {Row({{"displayName", "Windows Defender"}, {"productState", "393488"}}),
                             Row({{"displayName", "ESET NOD32"}, {"productState", "266256"}})}});
  const std::vector<AntivirusProduct> products = DetectAntivirusProducts(source);
  ASSERT_EQ(products.size(), 2u);
  EXPECT_FALSE(products[0].enabled);  // 0x60110
  EXPECT_TRUE(products[1].enabled);   // 0x41010
  const AntivirusReport report = BuildAntivirusReport(products);
  EXPECT_EQ(report.brandName, "Microsoft");
  // Defender's version is empty: no ":" at all.
  EXPECT_EQ(report.description, "Windows Defender");
  EXPECT_TRUE(report.enabled);
  EXPECT_FALSE(report.upToDate);

  const AntivirusReport none = BuildAntivirusReport({});
  EXPECT_EQ(none.brandName, "NotProtected");
  EXPECT_EQ(none.description, "");

  AntivirusProduct unknown;
  unknown.displayName = "ClamAV";
  unknown.version = " - ";
  EXPECT_EQ(BuildAntivirusReport({unknown}).description, "ClamAV: - ");
  EXPECT_EQ(BuildAntivirusReport({unknown}).brandName, "UnknownBrand");
}

TEST(AntivirusLookup, InstalledProductsByNameStartOrTheDisplayNameLiterally) {
  using Kind = ProductNameMatch::Kind;
  std::string publisher;
  std::string version;
  {
    FakeSource source;
    source.installed = InstalledProduct{"Norvane Lab", "3.1"};
    // The display name goes to the lookup as it is: the inventory matches
    // it literally, quotes and wildcards included.
    ProductVersionLookup(AntivirusBrand::Norvane, "Norvane' or Name like '%", source, &publisher,
                         &version);
    ASSERT_EQ(source.lookups.size(), 1u);
    EXPECT_EQ(source.lookups[0], (ProductNameMatch{Kind::Contains, "Norvane' or Name like '%"}));
    EXPECT_EQ(publisher, "Norvane Lab");
    EXPECT_EQ(version, "3.1");
  }

  const std::pair<AntivirusBrand, const char*> starts[] = {
      {AntivirusBrand::ESET, "ESET"},
      {AntivirusBrand::Avira, "Avira"},
      {AntivirusBrand::Vipre, "VIPRE"},
      {AntivirusBrand::TrendMicro, "Trend Micro Internet Security"},
  };
  for (const auto& [brand, start] : starts) {
    FakeSource one;
    one.installed = InstalledProduct{"V", "1.2"};
    ProductVersionLookup(brand, "x", one, &publisher, &version);
    ASSERT_EQ(one.lookups.size(), 1u);
    EXPECT_EQ(one.lookups[0], (ProductNameMatch{Kind::StartsWith, start}));
    EXPECT_EQ(version, "1.2");
    EXPECT_EQ(publisher, brand == AntivirusBrand::TrendMicro ? "Trend Micro Inc." : "V");
  }

  FakeSource empty;
  ProductVersionLookup(AntivirusBrand::TrendMicro, "Trend Micro", empty, &publisher, &version);
  EXPECT_EQ(publisher, " - ");
  EXPECT_EQ(version, " - ");
  ProductVersionLookup(AntivirusBrand::Microsoft, "Windows Defender", empty, &publisher, &version);
  EXPECT_EQ(publisher, "Microsoft");
  EXPECT_EQ(version, "");
  for (AntivirusBrand brand : {AntivirusBrand::NotProtected, AntivirusBrand::UnknownBrand,
                               AntivirusBrand::SeveralAntiviruses, AntivirusBrand::Cyberdefender}) {
    ProductVersionLookup(brand, "x", empty, &publisher, &version);
    EXPECT_EQ(publisher, " - ");
    EXPECT_EQ(version, " - ");
  }
  EXPECT_EQ(empty.lookups.size(), 1u);  // only Trend Micro asked
}

// Uninstall entries of the machine hive, in a temporary key tree.
class UninstallEntries : public ::testing::Test {
 protected:
  void Write(const std::string& entry, const std::string& name, const RegistryValue& value) {
    // The entries are written under the path as Windows spells it in its
    // documentation: letter case in key names does not matter.
    const std::string path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + entry;
    m_written.push_back(path);
#ifdef _WIN32
    RegistryKey key;
    ASSERT_EQ(RegistryKey::Create(RegistryHive::LocalMachine, path, &key), S_OK);
    if (value.type == RegistryType::Dword) {
      ASSERT_EQ(key.SetDword(name, value.number), S_OK);
    } else {
      ASSERT_EQ(key.SetString(name, value.text), S_OK);
    }
#else
    // The machine hive is read-only to the program: the test writes its
    // files as an administrator would.
    std::filesystem::path folder =
        std::filesystem::path(m_registry.MachineFolder()) / "norvane-registry";
    std::string rest = path;
    for (std::size_t at; (at = rest.find('\\')) != std::string::npos; rest.erase(0, at + 1)) {
      folder /= rest.substr(0, at);
    }
    folder /= rest;
    std::filesystem::create_directories(folder);
    std::string escaped;
    for (char c : value.type == RegistryType::Dword ? std::to_string(value.number) : value.text) {
      if (c == ' ') {
        escaped += "%20";
      } else {
        escaped.push_back(c);
      }
    }
    std::ofstream(folder / ".values", std::ios::app)
        << (value.type == RegistryType::Dword ? "D " : "S ") << name << " " << escaped << "\n";
#endif
  }
  void Text(const std::string& entry, const std::string& name, const std::string& text) {
    Write(entry, name, RegistryValue{RegistryType::String, text, 0});
  }
  void Number(const std::string& entry, const std::string& name, std::uint32_t number) {
    Write(entry, name, RegistryValue{RegistryType::Dword, "", number});
  }
  void TearDown() override {
    for (const std::string& path : m_written) DeleteRegistryTree(RegistryHive::LocalMachine, path);
  }

  void Lookup(AntivirusBrand brand) {
    FakeSource source;
    ProductVersionLookup(brand, "x", source, &publisher, &version);
  }
  std::string publisher;
  std::string version;

 private:
  TemporaryRegistry m_registry;
  std::vector<std::string> m_written;
};

TEST_F(UninstallEntries, McAfeeVersionFromTextPartsOnly) {
  Text("MSC", "VersionMajor", "8");
  Text("MSC", "VersionMinor", "7");
  Text("MSC", "Publisher", "McAfee, Inc.");
  Lookup(AntivirusBrand::McAfee);
  EXPECT_EQ(version, "8.7");
  EXPECT_EQ(publisher, "McAfee, Inc.");
}

TEST_F(UninstallEntries, McAfeeNumbersAreNotText) {
  Number("MSC", "VersionMajor", 8);
  Number("MSC", "VersionMinor", 7);
  Lookup(AntivirusBrand::McAfee);
  EXPECT_EQ(version, " - . - ");
  EXPECT_EQ(publisher, " - ");
}

TEST_F(UninstallEntries, McAfeeMinorFallsBackToTheMajor) {
  Text("MSC", "VersionMajor", "10");
  Lookup(AntivirusBrand::McAfee);
  EXPECT_EQ(version, "10.10");
}

TEST_F(UninstallEntries, AvgVersionFromTheNewestNameAndPublisherFromTheLastEntry) {
  Text("AVG9Uninstall", "DisplayName", "AVG 9.0");
  Text("AVG8Uninstall", "DisplayName", "AVG 8.5");
  Text("AVG7Uninstall", "Publisher", "Grisoft");
  Text("AVG9Uninstall", "Publisher", "AVG Technologies");
  Lookup(AntivirusBrand::AVG);
  EXPECT_EQ(version, "9.0");
  EXPECT_EQ(publisher, "AVG Technologies");
}

TEST_F(UninstallEntries, LaterEntryOverwritesAndMissingValuesKeepTheDefault) {
  Text("NAV", "DisplayVersion", "20.1");
  Text("NAV", "Publisher", "Symantec Corporation");
  Text("NIS", "DisplayVersion", "21.0");
  Lookup(AntivirusBrand::Symantec);
  EXPECT_EQ(version, "21.0");
  EXPECT_EQ(publisher, "Symantec Corporation");

  Text("{22E9CF2B-4063-4dab-A251-93FA46F7DECC}_is1", "DisplayVersion", "8.0.1");
  Lookup(AntivirusBrand::Webroot);
  EXPECT_EQ(version, "8.0.1");
  EXPECT_EQ(publisher, " - ");
  Lookup(AntivirusBrand::Bitdefender);
  EXPECT_EQ(version, " - ");
}

// Its inventory takes long and knows nothing of the stop: the detector
// looks at the stop between two queries.
class SlowSource : public FakeSource {
 public:
  bool SecurityCenterProducts(SecurityCenterList list, std::vector<WmiRow>* rows) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return FakeSource::SecurityCenterProducts(list, rows);
  }
};

TEST(AntivirusDetectorThread, StopsBetweenQueriesWhenItsOwnerGoesAway) {
  SlowSource source;
  std::atomic<int> reports{0};
  const auto start = std::chrono::steady_clock::now();
  {
    AntivirusDetectorThread detector([&reports](const AntivirusReport&) { ++reports; }, &source);
    ASSERT_TRUE(detector.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(800));
  EXPECT_EQ(source.lists.size(), 1u);
  EXPECT_EQ(reports, 0);  // a detection cut short reports nothing
}

TEST(AntivirusDetectorThread, HandsTheFinishedDetectionsReportToItsCallback) {
  FakeSource source;
  source.answers.push_back(
      {kAntiVirus2, {Row({{"displayName", "ESET Smart Security"}, {"productState", "4352"}})}});
  source.installed = InstalledProduct{"ESET", "7.3"};
  std::mutex lock;
  std::vector<AntivirusReport> reports;
  std::thread::id reportedOn;
  {
    AntivirusDetectorThread detector(
        [&](const AntivirusReport& report) {
          const std::lock_guard<std::mutex> guard(lock);
          reports.push_back(report);
          reportedOn = std::this_thread::get_id();
        },
        &source);
    ASSERT_TRUE(detector.Start());
    detector.Join();
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reportedOn, std::this_thread::get_id());
  EXPECT_EQ(reports[0].brandName, "ESET");
  EXPECT_EQ(reports[0].description, "ESET Smart Security:7.3");
  EXPECT_TRUE(reports[0].enabled);
  EXPECT_TRUE(reports[0].upToDate);
}

}  // namespace
}  // namespace QuickKit
