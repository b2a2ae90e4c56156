#include "support/resources.h"

#include <gtest/gtest.h>

#include <string>

namespace QuickKit {
namespace {

TEST(Resources, DocumentsAreEmbeddedAndUnknownIdsFail) {
  for (int id : {kLicenceResourceId, kManualResourceId, kLayoutResourceId}) {
    RcData resource;
    ASSERT_EQ(LoadRcData(id, &resource), S_OK) << id;
    ASSERT_NE(resource.data, nullptr) << id;
    ASSERT_GT(resource.size, 100u) << id;
  }
  for (int id : {kLicenceResourceId, kManualResourceId}) {
    RcData document;
    ASSERT_EQ(LoadRcData(id, &document), S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(document.data), 15), "<!DOCTYPE html>");
  }
  RcData none{reinterpret_cast<const std::uint8_t*>("stale"), 5};
  EXPECT_TRUE(FAILED(LoadRcData(999, &none)));
  EXPECT_EQ(none.data, nullptr);
  EXPECT_EQ(none.size, 0u);
}

}  // namespace
}  // namespace QuickKit
