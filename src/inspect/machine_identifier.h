// The machine identifier: the client id of the usage statistics, the same
// for one physical machine across runs without anything being stored.
//
// It is the MD5 of the system disk's serial (else of the mainboard's name
// and serial) laid out like a GUID behind "FFFF"; a random GUID behind
// "F2F2" on a virtual machine, behind "F1F1" when no usable serial exists.
// The recipe is portable; the probes that read the hardware are per OS
// (machine_probe_linux.cpp, machine_probe_win.cpp). Runs on the caller's
// thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace QuickKit {

inline constexpr char kHashedPrefix[] = "FFFF";
inline constexpr char kNoSerialPrefix[] = "F1F1";
inline constexpr char kVirtualMachinePrefix[] = "F2F2";

// What the recipe reads from the machine.
class MachineProbe {
 public:
  virtual ~MachineProbe() = default;
  virtual bool IsVirtualMachine() = 0;
  // The system disk's serial (CombineDiskSerials of its two sources);
  // empty when it has none.
  virtual std::string DiskSerial() = 0;
  // The mainboard's product name followed by its serial number; false when
  // the system has no mainboard record.
  virtual bool BoardText(std::string* text) = 0;
  // A fresh random GUID text (FormatGuidText); empty when the system's
  // random source fails.
  virtual std::string RandomGuidText() = 0;
};

// The identifier from the probe.
std::string MachineIdentifier(MachineProbe& probe);
// The identifier of this machine.
std::string MachineIdentifier();

// --- The recipe's steps ---

// Exchanges characters 1 and 2, 3 and 4, ...; a last odd one stays.
std::string SwapPairs(std::string_view text);
// "00000000000000000001" and "Volume0", also with their pairs swapped.
bool IsRejectedDiskSerial(std::string_view serial);
// "None" and "VAION/A".
bool IsRejectedBoardText(std::string_view text);

// The serial-number field of ATA IDENTIFY DEVICE data (bytes 20 to 39,
// each pair swapped into text order, padding kept). Empty when the data is
// shorter than that.
std::string SerialFromIdentifyData(const std::uint8_t* identify, std::size_t size);
// A storage descriptor's serial text: its hex-decoded bytes when the whole
// text is pairs of hex digits giving printable bytes, else the text itself
// when it is printable, else empty.
std::string ReadDescriptorText(std::string_view text);
// Serial A (IDENTIFY) and serial B (descriptor) into the disk serial.
std::string CombineDiskSerials(std::string_view serialA, std::string_view serialB);

// "FFFF" and the upper-case MD5 of the serial's UTF-16LE bytes, from its
// fifth digit on, in GUID layout.
std::string HashedIdentifier(std::string_view serial);
// 16 bytes as "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", the
// first three groups read big-endian.
std::string FormatGuidText(const std::array<std::uint8_t, 16>& bytes);
// The prefix followed by guidText without its first four characters. A
// guidText that is not 36 characters long is replaced by one made from the
// clock and a counter.
std::string RandomIdentifier(std::string_view prefix, std::string_view guidText);

// --- Helpers of the Linux probes, portable so that tests can feed them ---

// The serial of a /dev/disk/by-id name ("ata-<model>_<serial>",
// "nvme-<model>_<serial>", "scsi-...", "usb-..."): the text after the last
// '_'. Empty for names without a serial (wwn-, nvme-eui., partitions).
std::string SerialFromDiskIdName(std::string_view name);
// A DMI value without its trailing newline and blanks.
std::string TrimDmiText(std::string_view text);
// Whether the DMI system vendor or product names a hypervisor.
bool IsVirtualMachineVendor(std::string_view sysVendor, std::string_view productName);

}  // namespace QuickKit
