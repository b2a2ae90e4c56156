// The registry seam: keys under the current user's or the machine's hive,
// with string and 32-bit values.
//
// Windows uses the system registry. Linux keeps the same tree in files
// under the XDG configuration folders (see registry_linux.cpp), with the
// same key paths, letter case ignored in key and value names.
//
// A RegistryKey is used by one thread at a time; different threads may
// use different keys on the same path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/hresult.h"

namespace QuickKit {

enum class RegistryHive { CurrentUser, LocalMachine };

// The machine's list of installed programs: one subkey per program, named
// by its product code or a name of its own. The installer tells installed
// products by it, the antivirus detection reads versions from it.
inline constexpr char kUninstallKeyPath[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Windows has a 32-bit copy of parts of the machine hive, where 32-bit
// installers register; Linux has one tree, so Wow32 finds nothing there.
enum class RegistryView { Native, Wow32 };

enum class RegistryType : std::uint32_t {
  None = 0,
  String = 1,        // REG_SZ
  ExpandString = 2,  // REG_EXPAND_SZ
  Dword = 4,         // REG_DWORD
  Other = 0xFFFF,    // any other type: read as present, no content
};

struct RegistryValue {
  RegistryType type = RegistryType::None;
  std::string text;          // String and ExpandString
  std::uint32_t number = 0;  // Dword
};

HRESULT DeleteRegistryTree(RegistryHive hive, std::string_view path);

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey();
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens an existing key. HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when
  // it does not exist.
  static HRESULT Open(RegistryHive hive, std::string_view path, bool writable, RegistryKey* key,
                      RegistryView view = RegistryView::Native);
  // Opens the key for reading and writing, creating it and its missing
  // parents first.
  static HRESULT Create(RegistryHive hive, std::string_view path, RegistryKey* key);

  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when the value does not exist.
  HRESULT QueryValue(std::string_view name, RegistryValue* value) const;
  HRESULT SetString(std::string_view name, std::string_view text);
  HRESULT SetDword(std::string_view name, std::uint32_t number);
  // S_FALSE when there was no such value.
  HRESULT DeleteValue(std::string_view name);
  // The names of the direct subkeys.
  HRESULT EnumSubkeys(std::vector<std::string>* names) const;

  bool IsOpen() const;
  void Close();

 private:
  friend HRESULT DeleteRegistryTree(RegistryHive hive, std::string_view path);

#ifdef _WIN32
  void* m_handle = nullptr;  // HKEY
#else
  std::string m_folder;
  bool m_writable = false;
#endif
};

// Deletes a key with everything below it. S_FALSE when it did not exist.
HRESULT DeleteRegistryTree(RegistryHive hive, std::string_view path);

// Whether the key exists in either view.
bool RegistryKeyExists(RegistryHive hive, std::string_view path);

}  // namespace QuickKit
