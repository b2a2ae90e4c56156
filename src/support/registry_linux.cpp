// The key tree in files.
//
// Each hive is a folder: the current user's under $XDG_CONFIG_HOME
// (default ~/.config), the machine's - read-only - under the first folder
// of $XDG_CONFIG_DIRS (default /etc/xdg); in both, "norvane-registry".
// A key is a folder below it, named as the key was first created; the
// names are matched without regard to letter case, as the system registry
// does. A key's values are in its file ".values", one per line:
//
//     TYPE NAME DATA      TYPE: S (string), E (expandable string), D (32-bit)
//
// NAME and DATA escape bytes up to the blank, '%' and DEL as %XX. The file
// is replaced atomically (temporary file, flush, rename) under an flock on
// the key's folder, so a reader never sees half a write and two writers do
// not lose each other's values. Folders are 0700, files 0600.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "support/ascii.h"
#include "support/atomic_file.h"
#include "support/registry.h"
#include "support/scoped_handle.h"
#include "support/text.h"
#include "support/xdg_folders_linux.h"

namespace QuickKit {
namespace {

constexpr char kTreeFolder[] = "norvane-registry";
constexpr char kValuesFile[] = ".values";

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

std::string HiveFolder(RegistryHive hive) {
  const std::string base =
      hive == RegistryHive::CurrentUser ? XdgConfigHome() : XdgFirstConfigDir();
  return base + "/" + kTreeFolder;
}

// Key and value names ignore letter case, as on Windows (for ASCII letters).
bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoringAsciiCase(a, b); }

bool ValidKeyName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && !SameName(name, kValuesFile) &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos &&
         IsValidUtf8(name);  // as on Windows, where a name must convert to UTF-16
}

// Splits a key path at backslashes; empty parts (doubled or edge
// backslashes) are skipped. False for a part that cannot name a key.
bool SplitPath(std::string_view path, std::vector<std::string_view>* parts) {
  parts->clear();
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (!part.empty()) {
      if (!ValidKeyName(part)) return false;
      parts->push_back(part);
    }
    start = end + 1;
  }
  return true;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The entry of folder whose name matches name regardless of case: the
// exact spelling first, else the first match found.
bool FindChild(const std::string& folder, std::string_view name, std::string* child) {
  std::string exact = folder + "/" + std::string(name);
  if (IsFolder(exact)) {
    *child = std::move(exact);
    return true;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (const dirent* entry = ::readdir(dir)) {
    if (SameName(entry->d_name, name) && IsFolder(folder + "/" + entry->d_name)) {
      *child = folder + "/" + entry->d_name;
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// Blanks, controls and '%' are escaped, so that a line of the values file
// splits at its blanks and ends at its line break.
void AppendEscaped(std::string& out, std::string_view text) {
  AppendPercentEncoded(
      out, text, [](unsigned char byte) { return byte > 0x20 && byte != '%' && byte != 0x7F; });
}

struct StoredValue {
  std::string name;
  RegistryValue value;
};

// Lines that cannot be read are left out: one damaged value does not take
// the others with it.
std::vector<StoredValue> ParseValues(const std::string& content) {
  std::vector<StoredValue> values;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string_view line(content.data() + start, end - start);
    start = end + 1;
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (first != 1 || second == std::string_view::npos) continue;
    StoredValue stored;
    std::string data;
    if (!PercentDecode(line.substr(2, second - 2), &stored.name) ||
        !PercentDecode(line.substr(second + 1), &data)) {
      continue;
    }
    switch (line[0]) {
      case 'S':
      case 'E':
        stored.value.type = line[0] == 'S' ? RegistryType::String : RegistryType::ExpandString;
        stored.value.text = std::move(data);
        break;
      case 'D': {
        char* endOfNumber = nullptr;
        errno = 0;
        const unsigned long number = std::strtoul(data.c_str(), &endOfNumber, 10);
        if (data.empty() || *endOfNumber != '\0' || errno != 0 || number > 0xFFFFFFFFul) continue;
        stored.value.type = RegistryType::Dword;
        stored.value.number = static_cast<std::uint32_t>(number);
        break;
      }
      default:
        continue;
    }
    values.push_back(std::move(stored));
  }
  return values;
}

std::string FormatValues(const std::vector<StoredValue>& values) {
  std::string out;
  for (const StoredValue& stored : values) {
    switch (stored.value.type) {
      case RegistryType::String:
        out += "S ";
        break;
      case RegistryType::ExpandString:
        out += "E ";
        break;
      case RegistryType::Dword:
        out += "D ";
        break;
      default:
        continue;
    }
    AppendEscaped(out, stored.name);
    out += ' ';
    if (stored.value.type == RegistryType::Dword) {
      out += std::to_string(stored.value.number);
    } else {
      AppendEscaped(out, stored.value.text);
    }
    out += '\n';
  }
  return out;
}

HRESULT ReadFile(const std::string& path, std::string* content) {
  content->clear();
  ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return errno == ENOENT ? S_FALSE : HResultFromErrno(errno);
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return HResultFromErrno(errno);
    if (n == 0) return S_OK;
    content->append(buffer, static_cast<std::size_t>(n));
  }
}

// Holds an exclusive flock on a key's folder for a read-modify-write.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (m_fd) {
      while (::flock(m_fd.Get(), LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  bool Held() const { return m_fd.IsValid(); }

 private:
  ScopedFd m_fd;  // closing it releases the lock
};

// Reads the values, lets change() edit them, and writes them back.
template <typename Change>
HRESULT ModifyValues(const std::string& folder, Change change) {
  FolderLock lock(folder);
  if (!lock.Held()) return HResultFromErrno(errno);
  const std::string path = folder + "/" + kValuesFile;
  std::string content;
  HRESULT hr = ReadFile(path, &content);
  if (FAILED(hr)) return hr;
  std::vector<StoredValue> values = ParseValues(content);
  const HRESULT changed = change(values);
  if (FAILED(changed)) return changed;
  hr = WriteFileAtomically(path, FormatValues(values));
  return FAILED(hr) ? hr : changed;
}

HRESULT StoreValue(const std::string& folder, std::string_view name, RegistryValue value) {
  return ModifyValues(folder, [&](std::vector<StoredValue>& values) {
    for (StoredValue& stored : values) {
      if (SameName(stored.name, name)) {  // the first spelling stays
        stored.value = std::move(value);
        return S_OK;
      }
    }
    values.push_back({std::string(name), std::move(value)});
    return S_OK;
  });
}

}  // namespace

RegistryKey::~RegistryKey() = default;

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : m_folder(std::move(other.m_folder)), m_writable(other.m_writable) {
  other.Close();
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    m_folder = std::move(other.m_folder);
    m_writable = other.m_writable;
    other.Close();
  }
  return *this;
}

bool RegistryKey::IsOpen() const { return !m_folder.empty(); }

void RegistryKey::Close() {
  m_folder.clear();
  m_writable = false;
}

HRESULT RegistryKey::Open(RegistryHive hive, std::string_view path, bool writable, RegistryKey* key,
                          RegistryView view) {
  key->Close();
  std::vector<std::string_view> parts;
  if (!SplitPath(path, &parts)) return E_INVALIDARG;
  if (view == RegistryView::Wow32) return kNotFound;
  if (writable && hive == RegistryHive::LocalMachine) return E_ACCESSDENIED;
  std::string folder = HiveFolder(hive);
  if (!IsFolder(folder)) return kNotFound;
  for (std::string_view part : parts) {
    std::string child;
    if (!FindChild(folder, part, &child)) return kNotFound;
    folder = std::move(child);
  }
  key->m_folder = std::move(folder);
  key->m_writable = writable;
  return S_OK;
}

HRESULT RegistryKey::Create(RegistryHive hive, std::string_view path, RegistryKey* key) {
  key->Close();
  std::vector<std::string_view> parts;
  if (!SplitPath(path, &parts)) return E_INVALIDARG;
  if (hive == RegistryHive::LocalMachine) return E_ACCESSDENIED;
  std::string folder = HiveFolder(hive);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !IsFolder(folder)) return E_ACCESSDENIED;
  ::chmod(folder.c_str(), 0700);
  for (std::string_view part : parts) {
    std::string child;
    if (!FindChild(folder, part, &child)) {
      child = folder + "/" + std::string(part);
      if (::mkdir(child.c_str(), 0700) != 0 && errno != EEXIST) return HResultFromErrno(errno);
      if (!IsFolder(child)) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    }
    folder = std::move(child);
  }
  key->m_folder = std::move(folder);
  key->m_writable = true;
  return S_OK;
}

HRESULT RegistryKey::QueryValue(std::string_view name, RegistryValue* value) const {
  *value = RegistryValue{};
  if (!IsOpen()) return E_HANDLE;
  std::string content;
  const HRESULT hr = ReadFile(m_folder + "/" + kValuesFile, &content);
  if (FAILED(hr)) return hr;
  for (StoredValue& stored : ParseValues(content)) {
    if (SameName(stored.name, name)) {
      *value = std::move(stored.value);
      return S_OK;
    }
  }
  return kNotFound;
}

HRESULT RegistryKey::SetString(std::string_view name, std::string_view text) {
  if (!IsOpen()) return E_HANDLE;
  if (!m_writable) return E_ACCESSDENIED;
  return StoreValue(m_folder, name, {RegistryType::String, std::string(text), 0});
}

HRESULT RegistryKey::SetDword(std::string_view name, std::uint32_t number) {
  if (!IsOpen()) return E_HANDLE;
  if (!m_writable) return E_ACCESSDENIED;
  return StoreValue(m_folder, name, {RegistryType::Dword, {}, number});
}

HRESULT RegistryKey::DeleteValue(std::string_view name) {
  if (!IsOpen()) return E_HANDLE;
  if (!m_writable) return E_ACCESSDENIED;
  return ModifyValues(m_folder, [&](std::vector<StoredValue>& values) {
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (SameName(it->name, name)) {
        values.erase(it);
        return S_OK;
      }
    }
    return S_FALSE;
  });
}

HRESULT RegistryKey::EnumSubkeys(std::vector<std::string>* names) const {
  names->clear();
  if (!IsOpen()) return E_HANDLE;
  DIR* dir = ::opendir(m_folder.c_str());
  if (dir == nullptr) return HResultFromErrno(errno);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (ValidKeyName(name) && IsFolder(m_folder + "/" + entry->d_name)) names->emplace_back(name);
  }
  ::closedir(dir);
  return S_OK;
}

HRESULT DeleteRegistryTree(RegistryHive hive, std::string_view path) {
  if (hive == RegistryHive::LocalMachine) return E_ACCESSDENIED;
  std::vector<std::string_view> parts;
  if (!SplitPath(path, &parts) || parts.empty()) return E_INVALIDARG;
  RegistryKey key;
  const HRESULT hr = RegistryKey::Open(hive, path, true, &key);
  if (hr == kNotFound) return S_FALSE;
  if (FAILED(hr)) return hr;
  std::error_code error;
  std::filesystem::remove_all(key.m_folder, error);
  return error ? HResultFromErrno(error.value()) : S_OK;
}

}  // namespace QuickKit
