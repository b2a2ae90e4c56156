// libFuzzer target for the catalogue parser: any bytes, loaded directly
// and through the download's decoding. Built by scripts/fuzz-catalogue.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "catalogue/VerInfo/verinfo.h"
#include "catalogue/catalogue_text.h"

using bright_setup::VerInfo;
using bright_setup::VerInfoEntry;

namespace {

void Require(bool holds) {
  if (!holds) std::abort();
}

// Every stored entry has the place of its first value, and the places
// follow the file's order.
void CheckPositions(const VerInfo& verInfo) {
  const auto& positions = verInfo.ValuePositions();
  Require(positions.size() == verInfo.Entries().size());
  for (std::size_t i = 0; i < positions.size(); ++i) {
    Require(positions[i].line >= 1 && positions[i].column >= 1);
    if (i > 0) {
      Require(positions[i].line > positions[i - 1].line ||
              (positions[i].line == positions[i - 1].line &&
               positions[i].column > positions[i - 1].column));
    }
  }
}

// After a successful load every entry is found by its own name, languages
// and version, and holds at least one value.
void CheckLoaded(const VerInfo& verInfo) {
  CheckPositions(verInfo);
  for (const VerInfoEntry& entry : verInfo.Entries()) {
    Require(!entry.name.empty());
    Require(!entry.values.empty());
    Require(entry.anyVersion == entry.m_versionParts.empty());
    std::vector<std::int32_t> version(entry.m_versionParts.begin(), entry.m_versionParts.end());
    VerInfoEntry found;
    Require(verInfo.Find(entry.name, entry.languages, version, found));
    Require(found.name == entry.name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // Loaded over an earlier catalogue, so that a failed parse must also get
  // rid of the earlier index.
  VerInfo direct;
  Require(direct.Load("A * a\nB 1.0 b\nC-en * c\n") == S_OK);
  const bool html = VerInfo::LooksLikeHtml(bytes);
  VerInfoEntry entry;
  try {
    const HRESULT hr = direct.Load(bytes);
    Require(hr == S_OK || hr == S_FALSE || hr == E_INVALIDARG);
    Require((hr == S_FALSE) == (direct.Entries().empty() && hr != E_INVALIDARG));
    if (hr != E_INVALIDARG) CheckLoaded(direct);
    if (hr == E_INVALIDARG && html) Require(direct.Find("C", {}, {}, entry));
    if (hr == E_INVALIDARG && !html) {
      Require(!direct.Find("A", {}, {}, entry));
      for (const VerInfoEntry& stored : direct.Entries()) {
        Require(!direct.Find(stored.name, {}, {}, entry));
      }
    }
  } catch (const std::out_of_range&) {
    // A version number beyond 32 bits: the one exception Load may raise.
    // What was parsed before it has no index.
    Require(!direct.Find("A", {}, {}, entry));
  }

  CheckPositions(direct);

  VerInfo decoded;
  if (bright_setup::LoadCatalogueText(bytes, decoded)) {
    CheckLoaded(decoded);
  } else {
    Require(!decoded.LastError().reason.empty());
  }
  return 0;
}
