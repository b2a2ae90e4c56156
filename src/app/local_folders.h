// The per-OS folders under the working folder's logic.
#pragma once

#include <filesystem>

namespace QuickKit {

// The user's local application-data folder: CSIDL_LOCAL_APPDATA on
// Windows, $XDG_DATA_HOME (default ~/.local/share) on Linux.
std::filesystem::path LocalAppDataFolder();

// Makes a folder the program created private to the user (0700 on Linux;
// on Windows the per-user profile already is).
void MakePrivateFolder(const std::filesystem::path& folder);

}  // namespace QuickKit
