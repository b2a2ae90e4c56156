// The free space of a file system, asked before a download writes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "support/hresult.h"

namespace QuickKit {

// The bytes the current user may still write on the file system that holds
// folder (statvfs's f_bavail on Linux, GetDiskFreeSpaceExW on Windows).
HRESULT QueryFreeDiskSpace(const std::string& folder, std::uint64_t* bytes);

// The same question behind a seam, so that a test can answer it for a file
// system it cannot make.
using FreeSpaceQuery = std::function<HRESULT(const std::string& folder, std::uint64_t* bytes)>;

}  // namespace QuickKit
