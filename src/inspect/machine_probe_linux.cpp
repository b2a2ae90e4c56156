// The machine identifier's probes on Linux.
//
// - Virtual machine: the CPU's hypervisor bit (CPUID leaf 1, ECX bit 31),
//   or a hypervisor's name as DMI system vendor or product.
// - System disk: the disk that holds "/", found from the device number of
//   "/" through /sys/dev/block (a partition's parent; a device-mapper or
//   RAID volume's first member). Serial A is the serial field of the ATA
//   IDENTIFY data (HDIO_GET_IDENTITY) where the disk answers it; serial B
//   is the device's serial in sysfs, else the serial part of its
//   /dev/disk/by-id name.
// - Mainboard: DMI board_name followed by board_serial (the serial is
//   readable by root only; without it the name alone is used).
// - Random GUIDs: RFC 4122 version 4 from /dev/urandom.
#include <dirent.h>
#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "inspect/machine_identifier.h"
#include "support/scoped_handle.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace QuickKit {
namespace {

constexpr char kDmiFolder[] = "/sys/class/dmi/id/";

bool ReadSmallFile(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  *text = content.str();
  return !file.bad();
}

std::string ReadDmi(const char* name) {
  std::string text;
  if (!ReadSmallFile(std::string(kDmiFolder) + name, &text)) return std::string();
  return TrimDmiText(text);
}

bool HypervisorBit() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (ecx & (1u << 31)) != 0;
#else
  return false;
#endif
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return std::string();
  return resolved;
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::string FirstEntry(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return std::string();
  std::string name;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') {
      name = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return name;
}

// The kernel name of the whole disk that holds "/" ("sda", "nvme0n1").
std::string SystemDiskName() {
  struct stat root;
  if (stat("/", &root) != 0) return std::string();
  std::string device = RealPath("/sys/dev/block/" + std::to_string(major(root.st_dev)) + ":" +
                                std::to_string(minor(root.st_dev)));
  for (int depth = 0; !device.empty() && depth < 4; ++depth) {
    if (Exists(device + "/partition")) {
      device = device.substr(0, device.rfind('/'));
      continue;
    }
    const std::string member = FirstEntry(device + "/slaves");
    if (member.empty()) break;
    device = RealPath(device + "/slaves/" + member);
  }
  if (device.empty()) return std::string();
  return device.substr(device.rfind('/') + 1);
}

std::string SerialFromIdentify(const std::string& disk) {
  const ScopedFd fd(open(("/dev/" + disk).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.IsValid()) return std::string();
  std::uint8_t identify[512] = {};
  if (ioctl(fd.Get(), HDIO_GET_IDENTITY, identify) != 0) return std::string();
  return SerialFromIdentifyData(identify, sizeof identify);
}

std::string SerialFromDevice(const std::string& disk) {
  std::string text;
  if (ReadSmallFile("/sys/block/" + disk + "/device/serial", &text)) {
    text = TrimDmiText(text);
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    if (!text.empty()) return ReadDescriptorText(text);
  }
  const std::string byId = "/dev/disk/by-id";
  const std::string target = "/dev/" + disk;
  DIR* dir = opendir(byId.c_str());
  if (dir == nullptr) return std::string();
  std::string serial;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    const std::string fromName = SerialFromDiskIdName(name);
    if (fromName.empty() || RealPath(byId + "/" + name) != target) continue;
    serial = ReadDescriptorText(fromName);
    break;
  }
  closedir(dir);
  return serial;
}

class LinuxMachineProbe : public MachineProbe {
 public:
  bool IsVirtualMachine() override {
    return HypervisorBit() ||
           IsVirtualMachineVendor(ReadDmi("sys_vendor"), ReadDmi("product_name"));
  }

  std::string DiskSerial() override {
    const std::string disk = SystemDiskName();
    if (disk.empty()) return std::string();
    return CombineDiskSerials(SerialFromIdentify(disk), SerialFromDevice(disk));
  }

  bool BoardText(std::string* text) override {
    std::string name;
    std::string serial;
    const bool hasName = ReadSmallFile(std::string(kDmiFolder) + "board_name", &name);
    const bool hasSerial = ReadSmallFile(std::string(kDmiFolder) + "board_serial", &serial);
    if (!hasName && !hasSerial) return false;
    *text = TrimDmiText(name) + TrimDmiText(serial);
    return true;
  }

  std::string RandomGuidText() override {
    std::array<std::uint8_t, 16> bytes{};
    const ScopedFd fd(open("/dev/urandom", O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid()) return std::string();
    std::size_t have = 0;
    while (have < bytes.size()) {
      const ssize_t n = read(fd.Get(), bytes.data() + have, bytes.size() - have);
      if (n <= 0) return std::string();
      have += static_cast<std::size_t>(n);
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return FormatGuidText(bytes);
  }
};

}  // namespace

std::string MachineIdentifier() {
  LinuxMachineProbe probe;
  return MachineIdentifier(probe);
}

}  // namespace QuickKit
