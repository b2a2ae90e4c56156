#include "inspect/machine_identifier.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "support/ascii.h"
#include "support/digest.h"
#include "support/text.h"

namespace QuickKit {
namespace {

bool IsPrintable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

bool ContainOneAnother(std::string_view a, std::string_view b) {
  return a.find(b) != std::string_view::npos || b.find(a) != std::string_view::npos;
}

// The UTF-16 code units of a serial. Hardware texts are ASCII as a rule;
// bytes that are not UTF-8 count as Latin-1, so every text has a hash.
std::u16string SerialCodeUnits(std::string_view serial) {
  try {
    return Utf8ToUtf16(serial);
  } catch (const std::range_error&) {
    std::u16string units;
    for (char c : serial) units.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return units;
  }
}

// When the system's random source fails: a version 4 layout over the MD5
// of the clock, a counter and an address of this process.
std::string FallbackGuidText() {
  static std::atomic<std::uint64_t> counter{0};
  const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  const std::uint64_t seed[3] = {static_cast<std::uint64_t>(now), ++counter,
                                 reinterpret_cast<std::uintptr_t>(&counter)};
  Digest digest(DigestKind::Md5);
  digest.Update(seed, sizeof seed);
  const std::string hash = digest.Final();
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size() && i < hash.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(hash[i]);
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
  return FormatGuidText(bytes);
}

}  // namespace

std::string MachineIdentifier(MachineProbe& probe) {
  if (probe.IsVirtualMachine()) {
    return RandomIdentifier(kVirtualMachinePrefix, probe.RandomGuidText());
  }
  std::string serial = probe.DiskSerial();
  if (!serial.empty() && IsRejectedDiskSerial(serial)) serial.clear();
  if (serial.empty()) {
    std::string board;
    if (probe.BoardText(&board)) {
      serial = IsRejectedBoardText(board) ? std::string() : board;
    }
  }
  if (!serial.empty()) return HashedIdentifier(serial);
  return RandomIdentifier(kNoSerialPrefix, probe.RandomGuidText());
}

std::string SwapPairs(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
  return out;
}

bool IsRejectedDiskSerial(std::string_view serial) {
  for (std::string_view rejected : {"00000000000000000001", "Volume0"}) {
    if (serial == rejected || SwapPairs(serial) == rejected) return true;
  }
  return false;
}

bool IsRejectedBoardText(std::string_view text) { return text == "None" || text == "VAION/A"; }

std::string SerialFromIdentifyData(const std::uint8_t* identify, std::size_t size) {
  if (identify == nullptr || size < 40) return std::string();
  std::string serial;
  for (std::size_t i = 20; i < 40; i += 2) {
    serial.push_back(static_cast<char>(identify[i + 1]));
    serial.push_back(static_cast<char>(identify[i]));
  }
  return serial;
}

std::string ReadDescriptorText(std::string_view text) {
  std::string decoded;
  bool hex = text.size() % 2 == 0;
  for (std::size_t i = 0; hex && i < text.size(); i += 2) {
    const int high = HexDigitValue(text[i]);
    const int low = HexDigitValue(text[i + 1]);
    if (high < 0 || low < 0 || !IsPrintable(static_cast<unsigned char>(high * 16 + low))) {
      hex = false;
    } else {
      decoded.push_back(static_cast<char>(high * 16 + low));
    }
  }
  if (hex) return decoded;
  for (char c : text) {
    if (!IsPrintable(static_cast<unsigned char>(c))) return std::string();
  }
  return std::string(text);
}

std::string CombineDiskSerials(std::string_view serialA, std::string_view serialB) {
  if (serialA.empty()) return SwapPairs(serialB);
  if (serialB.empty()) return std::string(serialA);
  if (ContainOneAnother(serialA, serialB)) return std::string(serialA);
  const std::string swapped = SwapPairs(serialB);
  if (ContainOneAnother(serialA, swapped)) return std::string(serialA);
  return swapped;
}

std::string HashedIdentifier(std::string_view serial) {
  std::string bytes;
  for (char16_t unit : SerialCodeUnits(serial)) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  Digest digest(DigestKind::Md5);
  digest.Update(bytes);
  const std::string hex = HexText(digest.Final(), HexCase::Upper);
  if (hex.size() != 32) return RandomIdentifier(kNoSerialPrefix, std::string());
  return std::string(kHashedPrefix) + hex.substr(4, 4) + "-" + hex.substr(8, 4) + "-" +
         hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" + hex.substr(20, 12);
}

std::string FormatGuidText(const std::array<std::uint8_t, 16>& bytes) {
  std::string hex =
      HexText(std::string_view(reinterpret_cast<const char*>(bytes.data()), 16), HexCase::Upper);
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20, 12);
}

std::string RandomIdentifier(std::string_view prefix, std::string_view guidText) {
  const std::string guid = guidText.size() == 36 ? std::string(guidText) : FallbackGuidText();
  return std::string(prefix) + guid.substr(4);
}

std::string SerialFromDiskIdName(std::string_view name) {
  for (std::string_view prefix : {"ata-", "nvme-", "scsi-", "usb-"}) {
    if (name.substr(0, prefix.size()) != prefix) continue;
    if (name.find("-part") != std::string_view::npos || name.substr(0, 9) == "nvme-eui.") {
      return std::string();
    }
    const std::size_t underscore = name.rfind('_');
    if (underscore == std::string_view::npos) return std::string();
    return std::string(name.substr(underscore + 1));
  }
  return std::string();
}

std::string TrimDmiText(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\t' ||
                           text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return std::string(text);
}

bool IsVirtualMachineVendor(std::string_view sysVendor, std::string_view productName) {
  static constexpr std::string_view kVendors[] = {"QEMU",       "VMware", "innotek GmbH", "Xen",
                                                  "Parallels",  "Bochs",  "Red Hat",      "oVirt",
                                                  "Amazon EC2", "Google"};
  for (std::string_view vendor : kVendors) {
    if (sysVendor.find(vendor) != std::string_view::npos) return true;
  }
  static constexpr std::string_view kProducts[] = {"Virtual Machine", "VirtualBox", "KVM",
                                                   "HVM domU", "Standard PC"};
  for (std::string_view product : kProducts) {
    if (productName.find(product) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace QuickKit
