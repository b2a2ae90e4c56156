// The machine identifier's probes on Windows: the hypervisor probes, the
// system disk's IOCTLs, the mainboard through WMI and UuidCreate.
#include <windows.h>
// After windows.h:
#include <rpc.h>
#include <winioctl.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "inspect/machine_identifier.h"
#include "inspect/wmi_query_win.h"
#include "support/scoped_handle.h"
#include "support/text.h"

namespace QuickKit {
namespace {

constexpr std::chrono::milliseconds kBoardQueryTimeout{10000};

// --- Hypervisor probes ---
//
// Two probes run an instruction that only a hypervisor answers. Outside
// one the CPU faults; a vectored handler of ours, active only around the
// instruction on this thread, steps over it and notes the fault.
thread_local bool t_probing = false;
thread_local bool t_faulted = false;
thread_local DWORD64 t_skip = 0;

LONG CALLBACK ProbeFaultHandler(EXCEPTION_POINTERS* info) {
  if (!t_probing) return EXCEPTION_CONTINUE_SEARCH;
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  if (code != EXCEPTION_ILLEGAL_INSTRUCTION && code != EXCEPTION_PRIV_INSTRUCTION &&
      code != EXCEPTION_ACCESS_VIOLATION) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  t_faulted = true;
  info->ContextRecord->Rip += t_skip;
  return EXCEPTION_CONTINUE_EXECUTION;
}

template <typename Probe>
bool AnswersWithoutFault(DWORD64 instructionLength, Probe probe) {
  void* handler = AddVectoredExceptionHandler(1, ProbeFaultHandler);
  if (handler == nullptr) return false;
  t_faulted = false;
  t_skip = instructionLength;
  t_probing = true;
  const bool answered = probe();
  t_probing = false;
  RemoveVectoredExceptionHandler(handler);
  return answered && !t_faulted;
}

bool VirtualPcAnswers() {
  return AnswersWithoutFault(4, [] {
    unsigned eax = 1;
    unsigned ebx = 0;
    // The guest query: 0F 3F 07 0B.
    asm volatile(".byte 0x0F, 0x3F, 0x07, 0x0B" : "+a"(eax), "+b"(ebx) : : "memory");
    return true;
  });
}

bool VmwareAnswers() {
  return AnswersWithoutFault(1, [] {
    unsigned eax = 0x564D5868;  // "VMXh"
    unsigned ebx = 0;
    unsigned ecx = 10;  // get version
    unsigned edx = 0x5658;
    asm volatile("inl %%dx, %%eax" : "+a"(eax), "+b"(ebx), "+c"(ecx), "+d"(edx) : : "memory");
    return ebx == 0x564D5868;
  });
}

bool VirtualBoxDeviceOpens() {
  const ScopedFileHandle device(CreateFileW(L"\\\\.\\VBoxMiniRdrDN", GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
  return device.IsValid();
}

// --- System disk ---

ScopedFileHandle OpenDevice(const std::wstring& path, DWORD share) {
  return ScopedFileHandle(CreateFileW(path.c_str(), 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

std::string SerialFromSmart(const std::wstring& disk) {
  const ScopedFileHandle device =
      OpenDevice(disk, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!device.IsValid()) return std::string();
  SENDCMDINPARAMS in;
  std::memset(&in, 0, sizeof in);
  in.irDriveRegs.bCommandReg = 0xEC;  // IDENTIFY DEVICE
  std::vector<std::uint8_t> out(sizeof(SENDCMDOUTPARAMS) + 512, 0);
  DWORD returned = 0;
  if (!DeviceIoControl(device.Get(), SMART_RCV_DRIVE_DATA, &in, sizeof in, out.data(),
                       static_cast<DWORD>(out.size()), &returned, nullptr)) {
    return std::string();
  }
  const auto* params = reinterpret_cast<const SENDCMDOUTPARAMS*>(out.data());
  return SerialFromIdentifyData(params->bBuffer, 512);
}

std::string SerialFromDescriptor(const std::wstring& disk) {
  const ScopedFileHandle device = OpenDevice(disk, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!device.IsValid()) return std::string();
  STORAGE_PROPERTY_QUERY query;
  std::memset(&query, 0, sizeof query);
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  std::vector<char> buffer(4096, 0);
  DWORD returned = 0;
  if (!DeviceIoControl(device.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                       buffer.data(), static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
    return std::string();
  }
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer.data());
  const DWORD offset = descriptor->SerialNumberOffset;
  if (offset == 0 || offset >= buffer.size()) return std::string();
  // NUL-terminated within the buffer (the buffer ends with zeros).
  buffer.back() = '\0';
  return ReadDescriptorText(std::string(buffer.data() + offset));
}

class WindowsMachineProbe : public MachineProbe {
 public:
  bool IsVirtualMachine() override {
    return VirtualPcAnswers() || VmwareAnswers() || VirtualBoxDeviceOpens();
  }

  std::string DiskSerial() override {
    std::string drive = GetSystemDrive();
    if (drive.empty()) drive = "C:";
    const ScopedFileHandle volume =
        OpenDevice(L"\\\\.\\" + Utf8ToWide(drive), FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!volume.IsValid()) return std::string();
    STORAGE_DEVICE_NUMBER number;
    std::memset(&number, 0, sizeof number);
    DWORD returned = 0;
    if (!DeviceIoControl(volume.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                         sizeof number, &returned, nullptr)) {
      return std::string();
    }
    const std::wstring disk = L"\\\\.\\PhysicalDrive" + std::to_wstring(number.DeviceNumber);
    return CombineDiskSerials(SerialFromSmart(disk), SerialFromDescriptor(disk));
  }

  bool BoardText(std::string* text) override {
    // One row from the firmware tables: quick, so a stalled provider is
    // given far less time than the inventory's queries.
    WmiQueryOptions options;
    options.limit = 1;
    options.timeout = kBoardQueryTimeout;
    std::vector<WmiRow> rows;
    if (!WmiQuery("ROOT\\CIMV2", "SELECT Product, SerialNumber FROM Win32_BaseBoard", &rows,
                  options) ||
        rows.empty()) {
      return false;
    }
    *text = rows.front().Get("Product") + rows.front().Get("SerialNumber");
    return true;
  }

  std::string RandomGuidText() override {
    UUID uuid;
    const RPC_STATUS status = UuidCreate(&uuid);
    if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) return std::string();
    std::array<std::uint8_t, 16> bytes{};
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(uuid.Data1 >> (24 - 8 * i));
    bytes[4] = static_cast<std::uint8_t>(uuid.Data2 >> 8);
    bytes[5] = static_cast<std::uint8_t>(uuid.Data2);
    bytes[6] = static_cast<std::uint8_t>(uuid.Data3 >> 8);
    bytes[7] = static_cast<std::uint8_t>(uuid.Data3);
    for (int i = 0; i < 8; ++i) bytes[8 + i] = uuid.Data4[i];
    return FormatGuidText(bytes);
  }
};

}  // namespace

std::string MachineIdentifier() {
  // The hardware is read with the process's own identity; a thread that
  // impersonates gets its token back afterwards.
  HANDLE token = nullptr;
  const bool reverted =
      OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE, TRUE, &token) && RevertToSelf();
  WindowsMachineProbe probe;
  std::string identifier = MachineIdentifier(probe);
  if (reverted) SetThreadToken(nullptr, token);
  if (token != nullptr) CloseHandle(token);
  return identifier;
}

}  // namespace QuickKit
