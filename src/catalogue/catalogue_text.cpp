#include "catalogue/catalogue_text.h"

#include <new>
#include <stdexcept>
#include <string>

#include "support/text.h"

namespace bright_setup {
namespace {

constexpr char32_t kByteOrderMark = 0xFEFF;
constexpr char32_t kLastKeptFirstCharacter = 0xFF;

// The offset of the first byte that is not valid UTF-8, or npos.
std::size_t FirstBadByte(std::string_view bytes) {
  std::size_t pos = 0;
  char32_t codePoint = 0;
  while (pos < bytes.size()) {
    if (!QuickKit::NextCodePoint(bytes, pos, codePoint)) return pos;
  }
  return std::string_view::npos;
}

}  // namespace

bool LoadCatalogueText(std::string_view bytes, VerInfo& verInfo) {
  try {
    const std::size_t bad = FirstBadByte(bytes);
    if (bad != std::string_view::npos) {
      verInfo.SetLastError(
          {0, 0, "the text is not valid UTF-8 (byte " + std::to_string(bad + 1) + ")"});
      return false;
    }

    std::string_view text = bytes;
    char32_t removed = 0;
    std::size_t afterFirst = 0;
    if (!text.empty() && QuickKit::NextCodePoint(text, afterFirst, removed) &&
        removed > kLastKeptFirstCharacter) {
      text.remove_prefix(afterFirst);
    } else {
      removed = 0;
    }

    const HRESULT hr = verInfo.Load(text);
    const bool loaded = hr == S_OK || hr == S_FALSE;
    // A removed character other than the mark was visible in the file:
    // count it back into the columns an author sees. (An HTML page was not
    // parsed: it has no positions, and the catalogue kept the old ones.)
    if (removed != 0 && removed != kByteOrderMark && (loaded || verInfo.LastError().line != 0)) {
      verInfo.CountDroppedFirstCharacter();
    }
    return loaded;
  } catch (const std::out_of_range& e) {
    verInfo.SetLastError(
        {0, 0, std::string("a version number is out of range (") + e.what() + ")"});
  } catch (const std::bad_alloc&) {
    verInfo.SetLastError({0, 0, "out of memory"});
  } catch (const std::exception& e) {
    verInfo.SetLastError({0, 0, e.what()});
  }
  return false;
}

}  // namespace bright_setup
