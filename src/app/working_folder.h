// The working folder and the unpacking of the page from the program's
// embedded files (support/resources.h). All on the user-interface thread.
#pragma once

#include <string>

#include "support/hresult.h"

namespace QuickKit {

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

// What unpacking the page gave the controller.
struct ExtractedLayout {
  // S_OK only when the whole layout was unpacked and its start page is
  // there; otherwise the failure of the step that stopped it.
  HRESULT result = E_FAIL;
  // The full path of layout/production/index.html; empty on a failure, so
  // that a partial layout, or one that an earlier start left, is never
  // shown as if it were this program's page.
  std::string startPage;
  // On a failure: what could not be done, in words the controller can
  // show to the user.
  std::string failure;
};

// Unpacks the embedded layout into the working folder, replacing the one of
// an earlier start. The earlier layout is removed only once the new archive
// is on disk. Throws as GetWorkingFolder does when there is no working
// folder; every other failure is returned.
ExtractedLayout ExtractLayout();

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
