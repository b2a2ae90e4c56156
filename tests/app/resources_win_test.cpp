// The string table of the Windows resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/text.h"

namespace QuickKit {
namespace {

TEST(WinResources, CatalogueAddressIsString104) {
  const wchar_t* text = nullptr;
  // With a buffer size of 0 LoadStringW hands out a pointer into the resource.
  const int length = ::LoadStringW(::GetModuleHandleW(nullptr), 104, reinterpret_cast<wchar_t*>(&text), 0);
  ASSERT_GT(length, 0);
  EXPECT_EQ(WideToUtf8(std::wstring(text, static_cast<std::size_t>(length))), NORVANE_CATALOGUE_URL);
}

}  // namespace
}  // namespace QuickKit
