#include "inspect/antivirus.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <utility>

#include "support/ascii.h"
#include "support/registry.h"

namespace QuickKit {
namespace {

// Indexed by the brand's value.
constexpr std::string_view kBrandNames[] = {
#define NORVANE_BRAND_NAME(name) #name,
    NORVANE_ANTIVIRUS_BRANDS(NORVANE_BRAND_NAME)
#undef NORVANE_BRAND_NAME
};

struct BrandKeyword {
  std::string_view keyword;  // upper case
  AntivirusBrand brand;
};

// Searched in this order: the first keyword found decides.
constexpr BrandKeyword kBrandKeywordTable[] = {
    {"WINDOWS DEFENDER", AntivirusBrand::Microsoft},
    {"MICROSOFT", AntivirusBrand::Microsoft},
    {"NORVANE", AntivirusBrand::Norvane},
    {"AVAST!", AntivirusBrand::Avast},
    {"NORTON", AntivirusBrand::Symantec},
    {"SYMANTEC", AntivirusBrand::Symantec},
    {"AVG ", AntivirusBrand::AVG},
    {"MCAFEE", AntivirusBrand::McAfee},
    {"TREND MICRO", AntivirusBrand::TrendMicro},
    {"WEBROOT", AntivirusBrand::Webroot},
    {"SPYWARE DOCTOR", AntivirusBrand::Spyware},
    {"CYBERDEFENDER", AntivirusBrand::Cyberdefender},
    {"NOD32", AntivirusBrand::ESET},
    {"ESET ", AntivirusBrand::ESET},
    {"ZONEALARM", AntivirusBrand::ZoneAlarm},
    {"INTERNET SECURITY ANTI-VIRUS", AntivirusBrand::PCtools},
    {"AVIRA", AntivirusBrand::Avira},
    {"PANDA", AntivirusBrand::Panda},
    {"BITDEFENDER", AntivirusBrand::Bitdefender},
    {"VIPRE", AntivirusBrand::Vipre},
};

constexpr std::string_view kNoValue = " - ";

// The brands whose version is read from uninstall entries: the version
// value and the publisher's entries, each tried in order, a later hit
// overwriting an earlier one.
struct UninstallLookup {
  AntivirusBrand brand;
  std::array<std::string_view, 2> entries;
};
constexpr UninstallLookup kUninstallLookups[] = {
    {AntivirusBrand::Avast, {"Avast!", "Avast5"}},
    {AntivirusBrand::Symantec, {"NAV", "NIS"}},
    {AntivirusBrand::Webroot, {"{22E9CF2B-4063-4dab-A251-93FA46F7DECC}_is1", ""}},
    {AntivirusBrand::Spyware, {"Spyware Doctor", ""}},
    {AntivirusBrand::PCtools, {"PC Tools Internet Security", ""}},
    {AntivirusBrand::ZoneAlarm, {"ZoneAlarm Anti-virus", ""}},
    {AntivirusBrand::Panda, {"Panda Universal Agent Endpoint", ""}},
    {AntivirusBrand::Bitdefender, {"Bitdefender", ""}},
};

// The brands whose version and vendor come from the first installed
// product whose name begins with the text.
struct ProductLookup {
  AntivirusBrand brand;
  std::string_view nameStart;
};
constexpr ProductLookup kProductLookups[] = {
    {AntivirusBrand::ESET, "ESET"},
    {AntivirusBrand::Avira, "Avira"},
    {AntivirusBrand::Vipre, "VIPRE"},
};

// The first installed product that matches: its version and, when vendor
// is not null, its vendor. True when one was found.
bool LookUpProduct(InspectionSource& source, ProductNameMatch::Kind kind, std::string_view text,
                   std::string* version, std::string* vendor) {
  InstalledProduct found;
  if (!source.FindInstalledProduct({kind, std::string(text)}, &found)) return false;
  *version = found.version;
  if (vendor != nullptr) *vendor = found.vendor;
  return true;
}

}  // namespace

// --- InspectionSource ---

bool InspectionSource::SecurityCenterProducts(SecurityCenterList list, std::vector<WmiRow>* rows) {
  return ReadSecurityCenter(list, rows, m_stop);
}

bool InspectionSource::FindInstalledProduct(const ProductNameMatch& match,
                                            InstalledProduct* product) {
  return QuickKit::FindInstalledProduct(match, product, m_stop);
}

bool InspectionSource::ReadUninstallValue(std::string_view entry, std::string_view valueName,
                                          std::string* text) {
  std::string path(kUninstallKeyPath);
  path += '\\';
  path += entry;
  // The 64-bit program reads its own view first, then the one 32-bit
  // installers register in.
  for (RegistryView view : {RegistryView::Native, RegistryView::Wow32}) {
    RegistryKey key;
    if (FAILED(RegistryKey::Open(RegistryHive::LocalMachine, path, false, &key, view))) continue;
    RegistryValue value;
    if (FAILED(key.QueryValue(valueName, &value))) continue;
    if (value.type != RegistryType::String && value.type != RegistryType::ExpandString) continue;
    *text = value.text;
    return true;
  }
  return false;
}

// --- Rules ---

std::string_view AntivirusBrandName(AntivirusBrand brand) {
  const auto index = static_cast<std::int32_t>(brand);
  if (index < 0 || static_cast<std::size_t>(index) >= std::size(kBrandNames)) {
    return "IncorrectAntivirusBrand";
  }
  return kBrandNames[static_cast<std::size_t>(index)];
}

AntivirusBrand ClassifyAntivirusBrand(std::string_view displayName) {
  // The keywords are ASCII: upper-casing ASCII letters is enough to find
  // them, and leaves other characters as they are.
  const std::string upper = AsciiUppered(displayName);
  for (const BrandKeyword& entry : kBrandKeywordTable) {
    if (upper.find(entry.keyword) != std::string::npos) return entry.brand;
  }
  return AntivirusBrand::UnknownBrand;
}

std::uint32_t ParseProductState(std::string_view text) {
  std::uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10u + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

bool ProductStateEnabled(std::uint32_t productState) {
  const std::uint32_t flags = productState & 0xFF00u;
  return flags == 0x1000u || flags == 0x1100u;
}

bool ProductStateUpToDate(std::uint32_t productState) { return (productState & 0xFFu) == 0; }

AntivirusProduct ProductFromSecurityCenter2(const WmiRow& row, InspectionSource& source) {
  AntivirusProduct product;
  product.displayName = row.Get("displayName");
  const std::uint32_t state = ParseProductState(row.Get("productState"));
  product.upToDate = ProductStateUpToDate(state);
  product.enabled = ProductStateEnabled(state);
  product.brand = ClassifyAntivirusBrand(product.displayName);
  ProductVersionLookup(product.brand, product.displayName, source, &product.publisher,
                       &product.version);
  return product;
}

AntivirusProduct ProductFromSecurityCenter(const WmiRow& row) {
  AntivirusProduct product;
  product.displayName = row.Get("displayName");
  product.publisher = row.Get("companyName");
  product.version = row.Get("versionNumber");
  product.upToDate = row.Get("productUptoDate") == "true";
  product.enabled = row.Get("onAccessScanningEnabled") == "true";
  product.brand = ClassifyAntivirusBrand(product.displayName);
  return product;
}

void ProductVersionLookup(AntivirusBrand brand, std::string_view displayName,
                          InspectionSource& source, std::string* publisher, std::string* version) {
  *publisher = std::string(kNoValue);
  *version = std::string(kNoValue);

  for (const UninstallLookup& lookup : kUninstallLookups) {
    if (lookup.brand != brand) continue;
    for (std::string_view entry : lookup.entries) {
      if (entry.empty()) continue;
      source.ReadUninstallValue(entry, "DisplayVersion", version);
      source.ReadUninstallValue(entry, "Publisher", publisher);
    }
    return;
  }
  for (const ProductLookup& lookup : kProductLookups) {
    if (lookup.brand == brand) {
      LookUpProduct(source, ProductNameMatch::Kind::StartsWith, lookup.nameStart, version,
                    publisher);
      return;
    }
  }

  switch (brand) {
    case AntivirusBrand::Norvane:
      // The display name comes from the system's inventory; the lookup
      // matches it literally, whatever quotes or wildcards it holds.
      LookUpProduct(source, ProductNameMatch::Kind::Contains, displayName, version, publisher);
      break;
    case AntivirusBrand::AVG: {
      static constexpr std::string_view kVersionEntries[] = {"AVG9Uninstall", "AVG8Uninstall",
                                                             "AVG7Uninstall"};
      for (std::string_view entry : kVersionEntries) {
        std::string name;
        if (source.ReadUninstallValue(entry, "DisplayName", &name)) {
          // "AVG 9.0" gives "9.0".
          *version = name.size() > 4 ? name.substr(4) : std::string();
          break;
        }
      }
      for (std::string_view entry : {"AVG7Uninstall", "AVG8Uninstall", "AVG9Uninstall"}) {
        source.ReadUninstallValue(entry, "Publisher", publisher);
      }
      break;
    }
    case AntivirusBrand::McAfee: {
      std::string major(kNoValue);
      source.ReadUninstallValue("MSC", "VersionMajor", &major);
      std::string minor = major;
      source.ReadUninstallValue("MSC", "VersionMinor", &minor);
      *version = major + "." + minor;
      source.ReadUninstallValue("MSC", "Publisher", publisher);
      break;
    }
    case AntivirusBrand::TrendMicro:
      if (LookUpProduct(source, ProductNameMatch::Kind::StartsWith, "Trend Micro Internet Security",
                        version, nullptr)) {
        *publisher = "Trend Micro Inc.";
      }
      break;
    case AntivirusBrand::Microsoft:
      version->clear();
      *publisher = "Microsoft";
      break;
    default:
      break;
  }
}

std::vector<AntivirusProduct> DetectAntivirusProducts(InspectionSource& source,
                                                      const std::atomic<bool>* stop) {
  const auto stopped = [stop] { return stop != nullptr && stop->load(); };
  std::vector<AntivirusProduct> products;
  std::vector<WmiRow> rows;
  bool found = source.SecurityCenterProducts(SecurityCenterList::AntiVirus, &rows);
  if (!found && !stopped()) {
    found = source.SecurityCenterProducts(SecurityCenterList::AntiSpyware, &rows);
  }
  if (found) {
    for (const WmiRow& row : rows) {
      if (stopped()) break;
      products.push_back(ProductFromSecurityCenter2(row, source));
    }
    return products;
  }
  if (stopped()) return products;
  rows.clear();
  if (source.SecurityCenterProducts(SecurityCenterList::OlderAntiVirus, &rows)) {
    for (const WmiRow& row : rows) products.push_back(ProductFromSecurityCenter(row));
  }
  return products;
}

AntivirusReport BuildAntivirusReport(const std::vector<AntivirusProduct>& products) {
  AntivirusReport report;
  if (products.empty()) {
    report.brandName = std::string(AntivirusBrandName(AntivirusBrand::NotProtected));
    return report;
  }
  const AntivirusProduct& first = products.front();
  report.brandName = std::string(AntivirusBrandName(first.brand));
  report.description = first.displayName;
  if (!first.version.empty()) report.description += ":" + first.version;
  for (const AntivirusProduct& product : products) {
    report.enabled = report.enabled || product.enabled;
    report.upToDate = report.upToDate || product.upToDate;
  }
  return report;
}

// --- AntivirusDetectorThread ---

AntivirusDetectorThread::AntivirusDetectorThread(ReportCallback report, InspectionSource* source)
    : m_report(std::move(report)), m_source(source) {}

AntivirusDetectorThread::~AntivirusDetectorThread() {
  RequestStop();
  Join();
}

std::uint32_t AntivirusDetectorThread::Run() {
  InspectionSource systemSource(&m_stop);
  InspectionSource& source = m_source != nullptr ? *m_source : systemSource;
  const std::vector<AntivirusProduct> products = DetectAntivirusProducts(source, &m_stop);
  // A detection cut short reports nothing: its result would be partial.
  if (m_stop) return 0;
  if (m_report) m_report(BuildAntivirusReport(products));
  return 0;
}

}  // namespace QuickKit
