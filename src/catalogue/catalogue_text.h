// Turning the downloaded bytes of verinfo.txt into a loaded catalogue.
//
// Used by the catalogue download and by the catalogue checker tool, so
// that both read a file the same way.
#pragma once

#include <string_view>

#include "catalogue/VerInfo/verinfo.h"

namespace bright_setup {

// Decodes the bytes as UTF-8, drops a leading byte-order mark (the first
// character when it is above U+00FF) and loads the text into verInfo.
// True when the load gave S_OK or S_FALSE (an empty catalogue is a valid
// one). False for malformed UTF-8 (verInfo untouched), an HTML page, a
// grammar error, or a load that ended by exception (a version number out
// of range, memory exhausted); in each failure verInfo.LastError() says why,
// and every Find in verInfo fails. Never throws.
bool LoadCatalogueText(std::string_view bytes, VerInfo& verInfo);

}  // namespace bright_setup
