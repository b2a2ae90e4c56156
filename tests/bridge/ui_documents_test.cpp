#include "bridge/ui_documents.h"

#include <gtest/gtest.h>

#include "catalogue/catalogue_tables.h"

namespace bright_setup {
namespace {

TEST(UiDocuments, AreaCollectionWithFamilySelected) {
  CatalogueModel model({{kShield, "u", "g", {3}, ""}}, nullptr);
  model.InitSelection();
  model.CheckAreaById("Family");
  EXPECT_EQ(AreaCollectionDocument(model.AreaSnapshot()),
            "[\n"
            "\t{\n\t\t\"id\" : \"Device\",\n\t\t\"state\" : 0,\n\t\t\"protectAnother\" : 1\n\t},\n"
            "\t{\n\t\t\"id\" : \"Privacy\",\n\t\t\"state\" : 0,\n\t\t\"protectAnother\" : 0\n\t},\n"
            "\t{\n\t\t\"id\" : \"Money\",\n\t\t\"state\" : 0,\n\t\t\"protectAnother\" : 0\n\t},\n"
            "\t{\n\t\t\"id\" : \"Family\",\n\t\t\"state\" : 1,\n\t\t\"protectAnother\" : 0\n\t},\n"
            "\t{\n\t\t\"id\" : \"Data\",\n\t\t\"state\" : 0,\n\t\t\"protectAnother\" : 0\n\t},\n"
            "\t{\n\t\t\"id\" : \"Business\",\n\t\t\"state\" : 2,\n\t\t\"protectAnother\" : 0\n\t}\n"
            "]");
}

TEST(UiDocuments, ProductCollection) {
  EXPECT_EQ(ProductCollectionDocument({}), "[]");
  EXPECT_EQ(ProductCollectionDocument({{0, 1, {kDeviceArea, 4}}, {kScout, 0, {}}}),
            "[\n"
            "\t{\n\t\t\"id\" : \"vault\",\n\t\t\"state\" : 1,\n\t\t\"areas\" : [\n"
            "\t\t\t\"Device\",\n\t\t\t\"Data\"\n\t\t]\n\t},\n"
            "\t{\n\t\t\"id\" : \"scout\",\n\t\t\"state\" : 0,\n\t\t\"areas\" : []\n\t}\n"
            "]");
}

}  // namespace
}  // namespace bright_setup
