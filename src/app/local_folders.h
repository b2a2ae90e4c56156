// The per-OS folders under the working folder's logic.
#pragma once

#include <filesystem>

namespace QuickKit {

// The program's folders below a per-user base folder: <maker>/<program>.
inline constexpr char kMakerFolder[] = "Norvane Lab";
inline constexpr char kProgramFolder[] = "NorvaneInstaller";

// The user's local application-data folder: CSIDL_LOCAL_APPDATA on
// Windows, $XDG_DATA_HOME (default ~/.local/share) on Linux.
std::filesystem::path LocalAppDataFolder();

// The folder that keeps partial downloads between tries and across a
// restart, never removed with the working folder: $XDG_CACHE_HOME/Norvane
// Lab/NorvaneInstaller on Linux; on Windows, where the working folder sits
// in the local application-data folder itself, a folder of its own beside
// it. Not created here.
std::filesystem::path DownloadCacheFolder();

// Makes a folder the program created private to the user (0700 on Linux;
// on Windows the per-user profile already is).
void MakePrivateFolder(const std::filesystem::path& folder);

}  // namespace QuickKit
