#include "bridge/ui_documents.h"

#include "catalogue/catalogue_tables.h"
#include "support/json.h"

namespace bright_setup {

using QuickKit::JsonNode;

std::string AreaCollectionDocument(const std::vector<AreaState>& areas) {
  JsonNode root(QuickKit::JsonArray);
  for (const AreaState& area : areas) {
    JsonNode object(QuickKit::JsonObject);
    object.Append(JsonNode("id", AreaName(area.areaIndex)));
    object.Append(JsonNode("state", area.state));
    object.Append(JsonNode("protectAnother", area.protectAnother ? 1 : 0));
    root.Append(object);
  }
  return root.WriteFormatted();
}

std::string ProductCollectionDocument(const std::vector<ProductState>& products) {
  JsonNode root(QuickKit::JsonArray);
  for (const ProductState& product : products) {
    JsonNode object(QuickKit::JsonObject);
    object.Append(JsonNode("id", ProductId(product.productIndex)));
    object.Append(JsonNode("state", product.state));
    JsonNode areas(QuickKit::JsonArray);
    areas.SetName("areas");
    for (std::int32_t area : product.areas) areas.Append(JsonNode("", AreaName(area)));
    object.Append(areas);
    root.Append(object);
  }
  return root.WriteFormatted();
}

}  // namespace bright_setup
