// What is left of an installation run, kept in the current user's registry
// so that a restart of the computer does not lose it, and the entry that
// starts the program at the next logon.
//
// SaveState and ClearState run on the installer's thread during a run, the
// others on the user-interface thread; each call opens its own keys.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/hresult.h"

namespace bright_setup {

inline constexpr char kStateKey[] = "Software\\NorvaneLab\\NorvaneInstaller";
inline constexpr char kStateParentKey[] = "Software\\NorvaneLab";
inline constexpr char kStateSubkey[] = "NorvaneInstaller";
inline constexpr char kCountValue[] = "count";
inline constexpr char kProductsValue[] = "products";
inline constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValue[] = "NorvaneInstaller";

struct InstallerState {
  std::int32_t total = 0;           // products in the whole run
  std::vector<std::int32_t> queue;  // still to do, the one in progress first
};

// "2 5 2" for the queue {5, 2}: the count, then each index, one blank apart.
std::string FormatQueue(const std::vector<std::int32_t>& queue);

// Reads the count, then that many indices. Reading stops at the first text
// that is not an integer, and a negative count reads nothing: a damaged
// value never invents product indices.
std::vector<std::int32_t> ParseQueue(std::string_view text);

// Writes "count" and "products". S_OK, or the first failure: a lost write
// means that a restart cannot carry on, which the caller may report.
HRESULT SaveState(std::int32_t total, const std::vector<std::int32_t>& queue);

// The saved run; total 0 and an empty queue when nothing usable is stored.
InstallerState LoadState();

// Deletes the Run value (and the logon entry) and the state key. Missing
// keys and values are no error; otherwise the first failure, after trying
// every part.
HRESULT ClearState();

// Registers programPath, in double quotes, to start at the next logon.
HRESULT WriteRunValue(const std::string& programPath);

// Deletes the Run value and the logon entry only, keeping a saved state.
HRESULT RemoveRunValue();

// The command line the Run value holds for a program path.
std::string RunCommandLine(const std::string& programPath);

}  // namespace bright_setup
