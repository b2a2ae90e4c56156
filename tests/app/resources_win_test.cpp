// The Windows resources beside the embedded files: the catalogue address,
// the type library, the icon, the version information and the manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/config.h"
#include "support/text.h"

namespace QuickKit {
namespace {

std::string_view ResourceText(const wchar_t* type, int id) {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return {};
  const void* bytes = ::LockResource(::LoadResource(module, found));
  return {static_cast<const char*>(bytes), ::SizeofResource(module, found)};
}

TEST(WinResources, CatalogueAddressIsString104) {
  const wchar_t* text = nullptr;
  // With a buffer size of 0 LoadStringW hands out a pointer into the resource.
  const int length =
      ::LoadStringW(::GetModuleHandleW(nullptr), 104, reinterpret_cast<wchar_t*>(&text), 0);
  ASSERT_GT(length, 0);
  EXPECT_EQ(WideToUtf8(std::wstring(text, static_cast<std::size_t>(length))),
            NORVANE_CATALOGUE_URL);
}

TEST(WinResources, TypeLibraryAndIconAreEmbedded) {
  EXPECT_FALSE(ResourceText(L"TYPELIB", 1).empty());
  EXPECT_NE(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)), nullptr);
}

// What the system reads from the manifest: run as the user who started
// the program, the per-monitor DPI awareness, common controls 6.
TEST(WinResources, ManifestAsksForInvokerLevelDpiAwarenessAndCommonControls6) {
  const std::string_view manifest = ResourceText(RT_MANIFEST, 1);
  ASSERT_FALSE(manifest.empty());
  for (const char* needle : {"level=\"asInvoker\"", ">PerMonitorV2, PerMonitor<", ">true/pm<",
                             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
    EXPECT_NE(manifest.find(needle), std::string_view::npos) << needle;
}

TEST(WinResources, VersionInformationNamesTheProduct) {
  wchar_t path[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(::GetFileVersionInfoW(path, 0, size, block.data()));
  auto value = [&](const wchar_t* name) {
    void* text = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueW(block.data(), query.c_str(), &text, &length) || length == 0)
      return std::string();
    return WideToUtf8(std::wstring(static_cast<const wchar_t*>(text), length - 1));
  };
  EXPECT_EQ(value(L"ProductName"), "Norvane Installer");
  EXPECT_EQ(value(L"OriginalFilename"), "NorvaneInstaller.exe");
  EXPECT_EQ(value(L"ProductVersion"), NORVANE_VERSION ".0");
}

}  // namespace
}  // namespace QuickKit
