// The system's inventory as the antivirus detection reads it: the products
// Security Center lists, and an installed product found by its name.
//
// The questions are asked by meaning; how they are answered is per OS:
// WMI on Windows, where the WQL texts live (wmi_query_win.cpp); the running
// processes and the package database on Linux (wmi_query_linux.cpp). Each
// answer is read on the calling thread, and `stop` (may be null) is looked
// at between rows, so that an owner going away is not kept waiting.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace QuickKit {

// One result object: property name to text. A property that is absent, or
// whose value is neither text, bool nor a 32-bit number, reads as "".
class WmiRow {
 public:
  const std::string& Get(std::string_view name) const;
  void Set(std::string name, std::string text);
  bool Empty() const { return m_values.empty(); }

 private:
  std::map<std::string, std::string, std::less<>> m_values;
};

// The product lists of Security Center, in the order the detection tries
// them.
enum class SecurityCenterList {
  // Windows Vista on (Root\SecurityCenter2): rows of displayName and
  // productState.
  AntiVirus,
  AntiSpyware,
  // Windows XP (Root\SecurityCenter): rows of displayName, companyName,
  // versionNumber, productUptoDate and onAccessScanningEnabled.
  OlderAntiVirus,
};

// Appends the products of a list to *rows. True when the list was read to
// its end (also with no rows); false when the system has no such list, or
// on any failure or stop, with the rows read so far kept.
bool ReadSecurityCenter(SecurityCenterList list, std::vector<WmiRow>* rows,
                        const std::atomic<bool>* stop = nullptr);

// How an installed product's name is matched. The text is taken literally:
// quotes and wildcard characters in it match themselves.
struct ProductNameMatch {
  enum class Kind { Contains, StartsWith };
  Kind kind = Kind::Contains;
  std::string text;

  bool operator==(const ProductNameMatch& other) const {
    return kind == other.kind && text == other.text;
  }
};

struct InstalledProduct {
  std::string vendor;
  std::string version;
};

// The first installed product (the Windows Installer's list) whose name
// matches. True only when there was one.
bool FindInstalledProduct(const ProductNameMatch& match, InstalledProduct* product,
                          const std::atomic<bool>* stop = nullptr);

}  // namespace QuickKit
