// The machine identifier's recipe from fixed serial texts and descriptor
// bytes, its three layouts, and the identifier of this machine.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "inspect/machine_identifier.h"

namespace QuickKit {
namespace {

bool IsGuidLayout(const std::string& text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    const char c = text[i];
    if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

TEST(MachineIdentifierRecipe, PairSwapsAndRejections) {
  EXPECT_EQ(SwapPairs(""), "");
  EXPECT_EQ(SwapPairs("a"), "a");
  EXPECT_EQ(SwapPairs("abcd"), "badc");
  EXPECT_EQ(SwapPairs("abcde"), "badce");

  EXPECT_TRUE(IsRejectedDiskSerial("00000000000000000001"));
  EXPECT_TRUE(IsRejectedDiskSerial("00000000000000000010"));  // swapped
  EXPECT_TRUE(IsRejectedDiskSerial("Volume0"));
  EXPECT_TRUE(IsRejectedDiskSerial("oVulem0"));  // swapped
  EXPECT_FALSE(IsRejectedDiskSerial("volume0"));
  EXPECT_FALSE(IsRejectedDiskSerial("0000000000000000001"));
  EXPECT_TRUE(IsRejectedBoardText("None"));
  EXPECT_TRUE(IsRejectedBoardText("VAION/A"));
  EXPECT_FALSE(IsRejectedBoardText("none"));
}

TEST(MachineIdentifierRecipe, SerialFromIdentifyDataSwapsEachPair) {
  std::vector<std::uint8_t> identify(512, 0);
  const std::string field = "DWW-CCN4214365 7    ";  // as the disk stores it
  for (std::size_t i = 0; i < 20; ++i) identify[20 + i] = static_cast<std::uint8_t>(field[i]);
  EXPECT_EQ(SerialFromIdentifyData(identify.data(), identify.size()), "WD-WCC4N1234567     ");
  EXPECT_EQ(SerialFromIdentifyData(identify.data(), 39), "");
}

TEST(MachineIdentifierRecipe, DescriptorTextReadsHexFirst) {
  const std::pair<std::string, std::string> cases[] = {
      {"5a394231", "Z9B1"},      // hex giving printable bytes
      {"5A394231", "Z9B1"},      // either case
      {"5a39423", "5a39423"},    // odd count: the text itself
      {"5a39g231", "5a39g231"},  // not a hex digit
      {"0a394231", "0a394231"},  // a byte that is not printable
      {"  WD-WX31", "  WD-WX31"},
      {"WD\x01X", ""},  // the text itself is not printable
      {"", ""},
  };
  for (const auto& [text, serial] : cases) EXPECT_EQ(ReadDescriptorText(text), serial) << text;
}

TEST(MachineIdentifierRecipe, CombinationOfSerialsAAndB) {
  struct Case {
    const char* a;
    const char* b;
    const char* serial;
  };
  const Case cases[] = {
      {"", "DWW-CC", "WD-WCC"},  // A missing: B swapped
      {"WD-WCC", "", "WD-WCC"},  // B missing: A
      {"", "", ""},
      {"  WD-WCC4N1", "WD-WCC4N1", "  WD-WCC4N1"},  // B inside A
      {"WD-W", "XWD-WY", "WD-W"},                   // A inside B
      {"WD-WCC4N1", "DWW-CCN41", "WD-WCC4N1"},      // swapped B equals A
      {"S2R6", "XYZW", "YXWZ"},                     // unrelated: swapped B
  };
  for (const Case& c : cases)
    EXPECT_EQ(CombineDiskSerials(c.a, c.b), c.serial) << c.a << "/" << c.b;
}

TEST(MachineIdentifierRecipe, HashOverUtf16LittleEndianBytes) {
  // MD5 of the UTF-16LE bytes; the first four digits give way to "FFFF".
  const std::pair<const char*, const char*> vectors[] = {
      {"WD-WCC4N1234567", "FFFF96F8-A1BD-8E9F-CD81-F926EDED335D"},  // 25AC96F8A1BD...
      {"S2R6NX0H123456", "FFFF519C-3E11-BC48-446E-1A76C4758D6B"},
      {"Z9B1ABCDEFGH", "FFFF2030-4C1D-BD79-8697-E646D2698A44"},
  };
  for (const auto& [serial, identifier] : vectors) {
    EXPECT_EQ(HashedIdentifier(serial), identifier) << serial;
  }
}

TEST(MachineIdentifierRecipe, GuidLayouts) {
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 17);
  EXPECT_EQ(FormatGuidText(bytes), "00112233-4455-6677-8899-AABBCCDDEEFF");
  EXPECT_EQ(RandomIdentifier(kVirtualMachinePrefix, "00112233-4455-6677-8899-AABBCCDDEEFF"),
            "F2F22233-4455-6677-8899-AABBCCDDEEFF");
  // Without a random GUID from the system there is still one of the layout.
  const std::string fallback = RandomIdentifier(kNoSerialPrefix, "");
  EXPECT_TRUE(IsGuidLayout(fallback)) << fallback;
  EXPECT_EQ(fallback.substr(0, 4), "F1F1");
  EXPECT_NE(fallback, RandomIdentifier(kNoSerialPrefix, ""));
}

class FakeProbe : public MachineProbe {
 public:
  bool IsVirtualMachine() override { return virtualMachine; }
  std::string DiskSerial() override { return disk; }
  bool BoardText(std::string* text) override {
    ++boardQueries;
    if (!hasBoard) return false;
    *text = board;
    return true;
  }
  std::string RandomGuidText() override {
    ++guids;
    std::array<std::uint8_t, 16> bytes{};
    bytes[15] = static_cast<std::uint8_t>(guids);
    return FormatGuidText(bytes);
  }

  bool virtualMachine = false;
  std::string disk;
  bool hasBoard = false;
  std::string board;
  int boardQueries = 0;
  int guids = 0;
};

TEST(MachineIdentifierRecipe, SourcesInOrderWithTheirFallbacks) {
  struct Case {
    bool virtualMachine;
    const char* disk;
    bool hasBoard;
    const char* board;
    const char* identifier;  // a "F1F1"/"F2F2" prefix for random ones
    int boardQueries;
  };
  const Case cases[] = {
      {false, "WD-WCC4N1234567", true, "X", "FFFF96F8-A1BD-8E9F-CD81-F926EDED335D", 0},
      {false, "00000000000000000001", true, "Z9B1ABCDEFGH", "FFFF2030-4C1D-BD79-8697-E646D2698A44",
       1},
      {false, "oVulem0", true, "Z9B1ABCDEFGH", "FFFF2030-4C1D-BD79-8697-E646D2698A44", 1},
      {false, "", true, "VAION/A", "F1F1", 1},
      {false, "", true, "None", "F1F1", 1},
      {false, "", false, "", "F1F1", 1},
      {false, "", true, "", "F1F1", 1},
      {true, "WD-WCC4N1234567", true, "X", "F2F2", 0},
  };
  for (const Case& c : cases) {
    FakeProbe probe;
    probe.virtualMachine = c.virtualMachine;
    probe.disk = c.disk;
    probe.hasBoard = c.hasBoard;
    probe.board = c.board;
    const std::string first = MachineIdentifier(probe);
    const std::string second = MachineIdentifier(probe);
    EXPECT_TRUE(IsGuidLayout(first)) << first;
    EXPECT_EQ(probe.boardQueries, 2 * c.boardQueries) << c.disk;
    if (std::string(c.identifier).size() == 4) {
      EXPECT_EQ(first.substr(0, 4), c.identifier) << c.disk;
      EXPECT_EQ(second.substr(0, 4), c.identifier);
      EXPECT_NE(first, second);  // a fresh GUID each time
    } else {
      EXPECT_EQ(first, c.identifier) << c.disk;
      EXPECT_EQ(second, first);
    }
  }
}

TEST(MachineIdentifier, ThisMachine) {
  const std::string first = MachineIdentifier();
  const std::string second = MachineIdentifier();
  ASSERT_TRUE(IsGuidLayout(first)) << first;
  ASSERT_TRUE(IsGuidLayout(second)) << second;
  const std::string prefix = first.substr(0, 4);
  ASSERT_TRUE(prefix == "FFFF" || prefix == "F1F1" || prefix == "F2F2") << first;
  EXPECT_EQ(second.substr(0, 4), prefix);
  if (prefix == "FFFF") {
    EXPECT_EQ(first, second);
  } else {
    EXPECT_NE(first, second);
  }
}

TEST(MachineProbeHelpers, DiskIdNamesDmiTextAndHypervisorVendors) {
  const std::pair<const char*, const char*> names[] = {
      {"ata-Samsung_SSD_850_EVO_250GB_S2R6NX0H123456", "S2R6NX0H123456"},
      {"ata-Samsung_SSD_850_EVO_250GB_S2R6NX0H123456-part1", ""},
      {"nvme-WDC_PC_SN730_SDBQNTY-512G-1001_20414D801234", "20414D801234"},
      {"nvme-eui.0018a51234567890", ""},
      {"wwn-0x5002538d40123456", ""},
      {"scsi-SATA_ST1000DM003_Z9B1ABCD", "Z9B1ABCD"},
      {"usb-Generic_Flash", "Flash"},
      {"dm-name-root", ""},
  };
  for (const auto& [name, serial] : names) EXPECT_EQ(SerialFromDiskIdName(name), serial) << name;

  EXPECT_EQ(TrimDmiText("B450 AORUS M\n"), "B450 AORUS M");
  EXPECT_EQ(TrimDmiText("Default string  \n"), "Default string");
  EXPECT_EQ(TrimDmiText(""), "");

  EXPECT_TRUE(IsVirtualMachineVendor("QEMU", "Standard PC (Q35 + ICH9, 2009)"));
  EXPECT_TRUE(IsVirtualMachineVendor("innotek GmbH", "VirtualBox"));
  EXPECT_TRUE(IsVirtualMachineVendor("VMware, Inc.", "VMware Virtual Platform"));
  EXPECT_TRUE(IsVirtualMachineVendor("Microsoft Corporation", "Virtual Machine"));
  EXPECT_FALSE(IsVirtualMachineVendor("Microsoft Corporation", "Surface Laptop 3"));
  EXPECT_FALSE(IsVirtualMachineVendor("LENOVO", "20HRCTO1WW"));
  EXPECT_FALSE(IsVirtualMachineVendor("", ""));
}

}  // namespace
}  // namespace QuickKit
