// Opening files for the streams of seq_stream.h: the one place that knows
// how a file is created fresh on each port.
#pragma once

#include <string>

#include "net/seq_stream.h"
#include "support/scoped_handle.h"

namespace QuickKit {

#ifdef _WIN32
using ScopedNativeFile = ScopedFileHandle;
#else
using ScopedNativeFile = ScopedFd;
#endif

// Creates a new, empty file at path (UTF-8) for reading and writing. What
// was at that path before - a file, or a link, which is never followed -
// is removed first. The file is private to the user where the system
// knows such a thing.
HRESULT CreateFreshFile(const std::string& path, ScopedNativeFile* file);

// Opens an existing file for reading.
HRESULT OpenFileForReading(const std::string& path, ScopedNativeFile* file);

// Opens an existing file for reading and writing at its start, to go on
// with it; a link at path is never followed.
HRESULT OpenFileForUpdate(const std::string& path, ScopedNativeFile* file);

}  // namespace QuickKit
