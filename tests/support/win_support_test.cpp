// Windows-only support pieces, run under Wine.
#include <windows.h>

#include <objbase.h>
#include <oleidl.h>

#include <gtest/gtest.h>

#include <thread>

#include "support/com_holders_win.h"
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

// Counts its references, so that a test sees every Release of a holder.
// COM interfaces have no virtual destructor: nothing is deleted through one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CountedUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  ULONG references = 1;  // the test's own
};
#pragma GCC diagnostic pop

TEST(ComHolders, ReleaseWhatTheyHoldWhenTheyGoOrAreFilledAgain) {
  CountedUnknown object;
  {
    ComPtr<IUnknown> held;
    ASSERT_EQ(object.QueryInterface(IID_IUnknown, held.OutVoid()), S_OK);
    EXPECT_EQ(object.references, 2u);
    ASSERT_EQ(object.QueryInterface(IID_IUnknown, held.OutVoid()), S_OK);
    EXPECT_EQ(object.references, 2u);  // the first reference was dropped
  }
  EXPECT_EQ(object.references, 1u);

  {
    VariantHolder variant;
    VARIANT* value = variant.Out();
    value->vt = VT_UNKNOWN;
    value->punkVal = &object;
    object.AddRef();
  }
  EXPECT_EQ(object.references, 1u);

  {
    SafeArrayHolder array(::SafeArrayCreateVector(VT_UNKNOWN, 0, 2));
    ASSERT_NE(array.Get(), nullptr);
    for (LONG i = 0; i < 2; ++i) ASSERT_EQ(::SafeArrayPutElement(array.Get(), &i, &object), S_OK);
    EXPECT_EQ(object.references, 3u);
  }
  EXPECT_EQ(object.references, 1u);
}

TEST(ComHolders, BstrConvertsWithoutThrowing) {
  const std::string text = std::string("caf\xC3\xA9 \xF0\x9F\x98\x80\0z", 12);
  const Bstr bstr = Bstr::FromUtf8(text);
  ASSERT_NE(bstr.Get(), nullptr);
  EXPECT_EQ(::SysStringLen(bstr.Get()), 9u);  // the NUL inside is kept
  std::string back;
  EXPECT_TRUE(bstr.ToUtf8(&back));
  EXPECT_EQ(back, text);

  Bstr notUtf8;
  EXPECT_NO_THROW(notUtf8 = Bstr::FromUtf8("bad \xFF"));
  EXPECT_EQ(notUtf8.Get(), nullptr);

  // From the system, a BSTR may hold a lone surrogate: it reads as
  // unconvertible, and the output stays as it was.
  Bstr lone;
  *lone.Out() = ::SysAllocStringLen(L"\xD800x", 2);
  std::string out = "kept";
  EXPECT_FALSE(lone.ToUtf8(&out));
  EXPECT_FALSE(BstrToUtf8(lone.Get(), &out));
  EXPECT_EQ(out, "kept");
  EXPECT_TRUE(BstrToUtf8(nullptr, &out));
  EXPECT_EQ(out, "");
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
