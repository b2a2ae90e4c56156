#include <windows.h>

#include <stdexcept>
#include <vector>

#include "support/program_path.h"
#include "support/text.h"

namespace QuickKit {

std::string GetProgramPath() {
  // Long paths can exceed MAX_PATH: grow until the name fits.
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::vector<wchar_t> buffer(size);
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) return {};
    if (length < size) {
      try {
        return WideToUtf8(std::wstring_view(buffer.data(), length));
      } catch (const std::range_error&) {
        return {};
      }
    }
  }
  return {};
}

}  // namespace QuickKit
