// The working folder, the program's embedded files and the unpacking of
// the page. All on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "support/hresult.h"

namespace QuickKit {

// Embedded files, by resource id.
constexpr int kLayoutResourceId = 101;
constexpr int kLicenceResourceId = 102;
constexpr int kManualResourceId = 103;

// The local application-data folder followed by "Norvane Lab" and
// "NorvaneInstaller", ending with a path separator. Created (with missing
// parents, private to the user) when it does not exist; every call checks
// again. Throws std::runtime_error naming the folder and the reason when it
// cannot be created.
std::string GetWorkingFolder();

// Removes the working folder at program end. Never throws: a folder that
// cannot be found or created again is simply not removed. The parent
// "Norvane Lab" stays.
bool RemoveWorkingFolder();

// An embedded file: bytes that live as long as the program.
struct RcData {
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
};

// S_OK, or the system's error (HRESULT_FROM_WIN32) when there is no such
// resource; the out value is then empty.
HRESULT LoadRcData(int id, RcData* resource);

// Unpacks the embedded layout into the working folder, replacing the one of
// an earlier start, and returns the path of layout/production/index.html.
// Throws as GetWorkingFolder does.
std::string ExtractLayout();

// Unpacks every entry of the archive into folder. Entries whose names would
// land outside the folder (absolute paths, drive letters, "..") are refused
// and skipped; a file whose folder entry is missing gets its folder. False
// when the archive cannot be read or any entry could not be written.
bool ExtractZipToFolder(const std::string& folder, const std::string& zipPath);

// Deletes a folder with all it holds, read-only files included; links are
// removed, never followed. True when the folder is gone. The first failure
// stops the removal.
bool RemoveDirectoryTree(const std::string& path);

// The place of a zip entry below the folder, or false when the name could
// lead outside it (or is empty, or holds a NUL or a ':').
bool SafeEntryPath(const std::string& entryName, std::string* relativePath);

}  // namespace QuickKit
