#include "install/installer_state.h"

#include <cerrno>
#include <cstdlib>

#include "install/autostart.h"
#include "support/registry.h"

namespace bright_setup {

using QuickKit::RegistryHive;
using QuickKit::RegistryKey;
using QuickKit::RegistryType;
using QuickKit::RegistryValue;

namespace {

// Opens a key of the current user for writing, creating it when missing.
HRESULT OpenForWriting(const char* path, RegistryKey* key) {
  if (SUCCEEDED(RegistryKey::Open(RegistryHive::CurrentUser, path, true, key))) return S_OK;
  return RegistryKey::Create(RegistryHive::CurrentUser, path, key);
}

// The first failure of a series of steps that are all tried.
void KeepFirstFailure(HRESULT step, HRESULT* result) {
  if (FAILED(step) && SUCCEEDED(*result)) *result = step;
}

// One decimal integer from text at pos, after blanks; false when there is none.
bool NextInteger(std::string_view text, std::size_t& pos, std::int32_t* value) {
  while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
  const std::size_t start = pos;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) ++pos;
  const std::size_t digits = pos;
  std::int64_t magnitude = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    magnitude = magnitude * 10 + (text[pos] - '0');
    if (magnitude > std::int64_t{1} << 31) return false;
    ++pos;
  }
  if (pos == digits) return false;
  const std::int64_t signed_value = text[start] == '-' ? -magnitude : magnitude;
  if (signed_value > INT32_MAX || signed_value < INT32_MIN) return false;
  *value = static_cast<std::int32_t>(signed_value);
  return true;
}

}  // namespace

std::string FormatQueue(const std::vector<std::int32_t>& queue) {
  std::string text = std::to_string(queue.size());
  for (std::int32_t index : queue) text += " " + std::to_string(index);
  return text;
}

std::vector<std::int32_t> ParseQueue(std::string_view text) {
  std::vector<std::int32_t> queue;
  std::size_t pos = 0;
  std::int32_t count = 0;
  if (!NextInteger(text, pos, &count) || count <= 0) return queue;
  std::int32_t index = 0;
  for (std::int32_t i = 0; i < count && NextInteger(text, pos, &index); ++i) queue.push_back(index);
  return queue;
}

HRESULT SaveState(std::int32_t total, const std::vector<std::int32_t>& queue) {
  RegistryKey key;
  HRESULT hr = OpenForWriting(kStateKey, &key);
  if (FAILED(hr)) return hr;
  hr = key.SetDword(kCountValue, static_cast<std::uint32_t>(total));
  if (FAILED(hr)) return hr;
  return key.SetString(kProductsValue, FormatQueue(queue));
}

InstallerState LoadState() {
  InstallerState state;
  RegistryKey key;
  if (FAILED(RegistryKey::Open(RegistryHive::CurrentUser, kStateKey, false, &key))) return state;
  RegistryValue count;
  if (FAILED(key.QueryValue(kCountValue, &count)) || count.type != RegistryType::Dword)
    return state;
  state.total = static_cast<std::int32_t>(count.number);
  RegistryValue products;
  if (SUCCEEDED(key.QueryValue(kProductsValue, &products)) &&
      (products.type == RegistryType::String || products.type == RegistryType::ExpandString)) {
    state.queue = ParseQueue(products.text);
  }
  return state;
}

HRESULT RemoveRunValue() {
  HRESULT result = S_OK;
  RegistryKey run;
  const HRESULT opened = RegistryKey::Open(RegistryHive::CurrentUser, kRunKey, true, &run);
  if (SUCCEEDED(opened)) {
    KeepFirstFailure(run.DeleteValue(kRunValue), &result);
  } else if (opened != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
    result = opened;
  }
  if (!RemoveAutostartEntry()) KeepFirstFailure(E_FAIL, &result);
  return result;
}

HRESULT ClearState() {
  HRESULT result = RemoveRunValue();
  KeepFirstFailure(QuickKit::DeleteRegistryTree(RegistryHive::CurrentUser, kStateKey), &result);
  return result;
}

std::string RunCommandLine(const std::string& programPath) { return "\"" + programPath + "\""; }

HRESULT WriteRunValue(const std::string& programPath) {
  RegistryKey run;
  HRESULT hr = OpenForWriting(kRunKey, &run);
  if (SUCCEEDED(hr)) hr = run.SetString(kRunValue, RunCommandLine(programPath));
  if (!WriteAutostartEntry(programPath)) KeepFirstFailure(E_FAIL, &hr);
  return hr;
}

}  // namespace bright_setup
