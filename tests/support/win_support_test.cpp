// Windows-only support pieces, run under Wine.
#include <windows.h>

#include <objbase.h>
#include <oleidl.h>

#include <gtest/gtest.h>

#include <thread>

#include "support/com_initializer.h"
#include "support/registry.h"
#include "support/scoped_handle.h"
#include "support/stub_com_base.h"
#include "support/text.h"

namespace QuickKit {
namespace {

template <typename Body>
void OnNewThread(Body body) {
  std::thread(body).join();  // COM state belongs to one thread
}

TEST(ComInitializer, SecondInitialisationInTheSameModelStillBalances) {
  OnNewThread([] {
    {
      ComInitializer first;
      ComInitializer second;
      EXPECT_EQ(first.Result(), S_OK);
      EXPECT_EQ(second.Result(), S_FALSE);
    }
    // Both were balanced: the thread is free to take the other model.
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(hr, S_OK);
    if (SUCCEEDED(hr)) ::CoUninitialize();
  });
}

TEST(ComInitializer, FailedInitialisationIsNotBalanced) {
  OnNewThread([] {
    ComInitializer apartment(ComInitializer::Model::Apartment);
    ASSERT_EQ(apartment.Result(), S_OK);
    {
      ComInitializer other(ComInitializer::Model::Multithreaded);
      EXPECT_EQ(other.Result(), RPC_E_CHANGED_MODE);
    }
    // Had the failed one uninitialised, the apartment would be gone and
    // this would be S_OK instead of S_FALSE.
    const HRESULT hr = ::CoInitialize(nullptr);
    EXPECT_EQ(hr, S_FALSE);
    if (SUCCEEDED(hr)) ::CoUninitialize();
  });
}

TEST(WinHandles, RealHandlesAreClosedAndInvalidOnesLeftAlone) {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  { ScopedKernelHandle owner(event); }
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(event, &flags));

  wchar_t path[MAX_PATH];
  wchar_t folder[MAX_PATH];
  ASSERT_NE(::GetTempPathW(MAX_PATH, folder), 0u);
  ASSERT_NE(::GetTempFileNameW(folder, L"nvt", 0, path), 0u);
  HANDLE file = ::CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  { ScopedFileHandle owner(file); }
  EXPECT_FALSE(::GetHandleInformation(file, &flags));
  EXPECT_TRUE(::DeleteFileW(path));

  ScopedFileHandle noFile;
  EXPECT_EQ(noFile.Get(), INVALID_HANDLE_VALUE);
  ScopedKernelHandle noHandle;
  EXPECT_EQ(noHandle.Get(), nullptr);
  ScopedFindHandle noFind;
  EXPECT_FALSE(noFind.IsValid());
}

TEST(SystemDrive, ExpandsOrReportsNotFound) {
  wchar_t saved[64] = {};
  const DWORD savedLength = ::GetEnvironmentVariableW(L"SystemDrive", saved, 64);

  ASSERT_TRUE(::SetEnvironmentVariableW(L"SystemDrive", L"Q:"));
  EXPECT_EQ(GetSystemDrive(), "Q:");

  ASSERT_TRUE(::SetEnvironmentVariableW(L"SystemDrive", nullptr));
  ::SetLastError(0);
  EXPECT_EQ(GetSystemDrive(), "");
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));

  // A value longer than the first 512-character buffer.
  const std::wstring longValue(700, L'x');
  ASSERT_TRUE(::SetEnvironmentVariableW(L"SystemDrive", longValue.c_str()));
  EXPECT_EQ(GetSystemDrive(), std::string(700, 'x'));

  ::SetEnvironmentVariableW(L"SystemDrive", savedLength != 0 ? saved : nullptr);
}

TEST(LocaleName, IsoNamesOfLanguageIds) {
  EXPECT_EQ(GetLocaleIsoLanguage(0x0407), "de");  // German (Germany)
  EXPECT_EQ(GetLocaleIsoLanguage(0x0409), "en");
  EXPECT_EQ(GetLocaleIsoLanguage(0x0419), "ru");
}

class DropTargetStub : public StubComBase<IDropTarget> {
 public:
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD*) override { return S_OK; }
};

TEST(StubComBase, HandsOutNothingAndCountsNothing) {
  DropTargetStub stub;
  void* object = &stub;
  EXPECT_EQ(stub.QueryInterface(IID_IUnknown, &object), E_NOTIMPL);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(stub.AddRef(), static_cast<ULONG>(E_NOTIMPL));
  EXPECT_EQ(stub.Release(), static_cast<ULONG>(E_NOTIMPL));
}

}  // namespace
}  // namespace QuickKit

namespace QuickKit {
namespace {

TEST(WinRegistry, KeysOfThe32BitViewAreFound) {
  // 32-bit installers register in the redirected part of the machine hive.
  HKEY raw = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\NorvaneWow32Test", 0, nullptr, 0,
                              KEY_WRITE | KEY_WOW64_32KEY, nullptr, &raw, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(raw);
  RegistryKey key;
  EXPECT_EQ(
      RegistryKey::Open(RegistryHive::LocalMachine, "Software\\NorvaneWow32Test", false, &key),
      HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegistryKey::Open(RegistryHive::LocalMachine, "Software\\NorvaneWow32Test", false, &key,
                              RegistryView::Wow32),
            S_OK);
  EXPECT_TRUE(RegistryKeyExists(RegistryHive::LocalMachine, "Software\\NorvaneWow32Test"));
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\NorvaneWow32Test", KEY_WOW64_32KEY, 0);
}

}  // namespace
}  // namespace QuickKit
