// Detection of the installed antivirus product, reported once as a usage
// statistics event.
//
// The rules (brand keywords, the two Security Center row forms, where each
// brand keeps its version, the report) live here once; the rows come from
// an InspectionSource: WMI and the registry on Windows, the running
// processes, the package database and the key tree on Linux.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/wmi_query.h"
#include "support/thread.h"

namespace QuickKit {

class UsageStatistics;

enum class AntivirusBrand : std::int32_t {
  NotProtected = 0,
  UnknownBrand = 1,
  SeveralAntiviruses = 2,
  Norvane = 3,
  Avast = 4,
  Symantec = 5,
  AVG = 6,
  McAfee = 7,
  TrendMicro = 8,
  Webroot = 9,
  Spyware = 10,
  Cyberdefender = 11,
  ESET = 12,
  PCtools = 13,
  ZoneAlarm = 14,
  Microsoft = 15,
  Avira = 16,
  Panda = 17,
  Bitdefender = 18,
  Vipre = 19,
};

// The reported name of a brand; "IncorrectAntivirusBrand" outside the table.
std::string_view AntivirusBrandName(AntivirusBrand brand);

// The first keyword of the brand table found anywhere in the upper-cased
// name decides; UnknownBrand when none is.
AntivirusBrand ClassifyAntivirusBrand(std::string_view displayName);

struct AntivirusProduct {
  AntivirusBrand brand = AntivirusBrand::UnknownBrand;
  std::string displayName;
  std::string publisher;
  std::string version;
  bool enabled = false;
  bool upToDate = false;
};

// Where the detection reads from. The program uses the system's; tests
// replace the inventory queries.
class InspectionSource {
 public:
  virtual ~InspectionSource() = default;
  virtual bool Query(std::string_view nameSpace, std::string_view query, std::vector<WmiRow>* rows,
                     bool clearFirst);
  virtual bool QueryFirst(std::string_view nameSpace, std::string_view query, WmiRow* row);
  // A text value of the machine's uninstall entry `entry`: true, replacing
  // *text, only for a string value (REG_SZ or REG_EXPAND_SZ).
  virtual bool ReadUninstallValue(std::string_view entry, std::string_view valueName,
                                  std::string* text);
};

// Security Center's productState: the second-lowest byte 0x10 or 0x11 means
// on, a lowest byte of 0 up to date. An empty or non-numeric text is 0.
std::uint32_t ParseProductState(std::string_view text);
bool ProductStateEnabled(std::uint32_t productState);
bool ProductStateUpToDate(std::uint32_t productState);

// A row of Root\SecurityCenter2 (displayName, productState), with the
// version lookup.
AntivirusProduct ProductFromSecurityCenter2(const WmiRow& row, InspectionSource& source);
// A row of the older Root\SecurityCenter (displayName, companyName,
// versionNumber, productUptoDate, onAccessScanningEnabled); no lookup.
AntivirusProduct ProductFromSecurityCenter(const WmiRow& row);

// Fills publisher and version (both " - " when nothing is found) from the
// place the brand keeps them.
void ProductVersionLookup(AntivirusBrand brand, std::string_view displayName,
                          InspectionSource& source, std::string* publisher, std::string* version);

// The text of a WQL string literal used as a LIKE pattern that matches
// `text` literally: quotes and backslashes are escaped, and the wildcards
// % and _ and the set bracket [ are put into sets of their own.
std::string EscapeWqlLikeLiteral(std::string_view text);

// The three Security Center queries in their order. `stop` is looked at
// between two queries; a stopped detection gives what it has.
std::vector<AntivirusProduct> DetectAntivirusProducts(InspectionSource& source,
                                                      const std::atomic<bool>* stop = nullptr);

struct AntivirusReport {
  std::string brandName;
  std::string description;
  bool enabled = false;
  bool upToDate = false;
};

// Of the first product its brand, name and version; on or up to date when
// any product is. "NotProtected" with an empty description for none.
AntivirusReport BuildAntivirusReport(const std::vector<AntivirusProduct>& products);

// Runs one detection and reports it. Owned by the script bridge, which
// creates it on the first Continue; the detection runs on this object's
// thread. The destructor asks a running detection to stop between two
// queries and waits for it: it is never killed, so it can hold no lock
// when it ends.
class AntivirusDetectorThread : public Thread {
 public:
  // statistics must outlive this object; source (null: the system's) too.
  explicit AntivirusDetectorThread(UsageStatistics* statistics, InspectionSource* source = nullptr);
  ~AntivirusDetectorThread() override;

  void RequestStop() { m_stop = true; }

 protected:
  std::uint32_t Run() override;

 private:
  UsageStatistics* m_statistics;
  InspectionSource* m_source;
  std::atomic<bool> m_stop{false};
};

}  // namespace QuickKit
