// COM face for objects that the program owns itself (UI handlers, drop
// targets): the platform may call IUnknown on them, but their lifetime is
// their creator's, so reference counting is a no-op (Windows only).
#pragma once

#include <windows.h>

#include <unknwn.h>

namespace QuickKit {

// COM interfaces have no virtual destructor by design: objects are never
// deleted through them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <typename Interface>
class StubComBase : public Interface {
 public:
  // No interface is handed out, and the out pointer is cleared so that a
  // caller never acts on what happened to be there.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return E_NOTIMPL;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(E_NOTIMPL); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(E_NOTIMPL); }

 protected:
  StubComBase() = default;
  virtual ~StubComBase() = default;
};
#pragma GCC diagnostic pop

}  // namespace QuickKit
