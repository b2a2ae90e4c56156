// Detection of the installed antivirus product, reported once (the script
// bridge turns the report into a usage statistics event).
//
// The rules (brand keywords, the two Security Center row forms, where each
// brand keeps its version, the report) live here once; the rows come from
// an InspectionSource: WMI and the registry on Windows, the running
// processes, the package database and the key tree on Linux.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/wmi_query.h"
#include "support/thread.h"

namespace QuickKit {

// The brands, in the order of their values (0, 1, ...). Each enumerator's
// name is the text reported for it.
#define NORVANE_ANTIVIRUS_BRANDS(X) \
  X(NotProtected)                   \
  X(UnknownBrand)                   \
  X(SeveralAntiviruses)             \
  X(Norvane)                        \
  X(Avast)                          \
  X(Symantec)                       \
  X(AVG)                            \
  X(McAfee)                         \
  X(TrendMicro)                     \
  X(Webroot)                        \
  X(Spyware)                        \
  X(Cyberdefender)                  \
  X(ESET)                           \
  X(PCtools)                        \
  X(ZoneAlarm)                      \
  X(Microsoft)                      \
  X(Avira)                          \
  X(Panda)                          \
  X(Bitdefender)                    \
  X(Vipre)

enum class AntivirusBrand : std::int32_t {
#define NORVANE_BRAND_ENUMERATOR(name) name,
  NORVANE_ANTIVIRUS_BRANDS(NORVANE_BRAND_ENUMERATOR)
#undef NORVANE_BRAND_ENUMERATOR
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

// Where the detection reads from: the system's inventory (wmi_query.h)
// and uninstall entries. Tests replace the inventory; the uninstall
// entries are read from the key tree, which tests give a temporary home.
class InspectionSource {
 public:
  // stop (may be null) is handed to the system's queries, which look at it
  // between rows; it must outlive this object.
  explicit InspectionSource(const std::atomic<bool>* stop = nullptr) : m_stop(stop) {}
  virtual ~InspectionSource() = default;

  virtual bool SecurityCenterProducts(SecurityCenterList list, std::vector<WmiRow>* rows);
  virtual bool FindInstalledProduct(const ProductNameMatch& match, InstalledProduct* product);
  // A text value of the machine's uninstall entry `entry`: true, replacing
  // *text, only for a string value (REG_SZ or REG_EXPAND_SZ).
  virtual bool ReadUninstallValue(std::string_view entry, std::string_view valueName,
                                  std::string* text);

 private:
  const std::atomic<bool>* m_stop;
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

// The three Security Center lists in their order. `stop` is looked at
// between two lists; a stopped detection gives what it has.
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

// Runs one detection and hands its report on. Owned by the script bridge,
// which creates it on the first Continue and reports to the usage
// statistics; the detection and the report callback run on this object's
// thread. The destructor asks a running detection to stop between two
// queries or rows and waits for it: it is never killed, so it can hold no
// lock when it ends.
class AntivirusDetectorThread : public Thread {
 public:
  // Called once, on the detector's thread, with the finished detection's
  // report; not called for a detection cut short by the stop.
  using ReportCallback = std::function<void(const AntivirusReport&)>;

  // Whatever report refers to, and source (null: the system's), must
  // outlive this object.
  explicit AntivirusDetectorThread(ReportCallback report, InspectionSource* source = nullptr);
  ~AntivirusDetectorThread() override;

  void RequestStop() { m_stop = true; }

 protected:
  std::uint32_t Run() override;

 private:
  ReportCallback m_report;
  InspectionSource* m_source;
  std::atomic<bool> m_stop{false};
};

}  // namespace QuickKit
