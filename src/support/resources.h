// The files the program carries inside itself, by resource id: RCDATA
// resources on Windows, blobs linked into the executable on Linux (see
// resources/; an executable that reads them links norvane_resources).
// Their bytes live as long as the program; any thread may read them.
#pragma once

#include <cstdint>

#include "support/hresult.h"

namespace QuickKit {

constexpr int kLayoutResourceId = 101;   // the page, a zip archive
constexpr int kLicenceResourceId = 102;  // licence agreement, UTF-8 HTML
constexpr int kManualResourceId = 103;   // user manual, UTF-8 HTML

struct RcData {
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
};

// S_OK, or the system's error (HRESULT_FROM_WIN32) when there is no such
// resource; the out value is then empty.
HRESULT LoadRcData(int id, RcData* resource);

}  // namespace QuickKit
