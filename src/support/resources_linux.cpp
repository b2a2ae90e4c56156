#include <cstdint>

#include "support/resources.h"

// The table that the build generates (resources/embed.S.in): id, address
// and size of each embedded file, ended by an id of 0.
struct EmbeddedResource {
  std::uint64_t id;
  const std::uint8_t* data;
  std::uint64_t size;
};
extern "C" const EmbeddedResource norvane_embedded_resources[];

namespace QuickKit {

HRESULT LoadRcData(int id, RcData* resource) {
  *resource = RcData{};
  for (const EmbeddedResource* r = norvane_embedded_resources; r->id != 0; ++r) {
    if (r->id == static_cast<std::uint64_t>(id)) {
      resource->data = r->data;
      resource->size = static_cast<std::uint32_t>(r->size);
      return S_OK;
    }
  }
  return HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND);  // as FindResourceW says
}

}  // namespace QuickKit
