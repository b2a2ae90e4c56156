// The page's window.external on Windows: the automation object IJsDispatch
// that the browser control hands to the page's script. Names, DISPIDs and
// parameter types come from the type library the program carries as
// TYPELIB 1 (resources/js_handler.idl); every call is carried out through
// the one method table of js_methods.h on the IJsMethods it serves.
//
// Reference counted, as the script engine expects: the page may hold the
// object after the program's side has gone, so the owner calls Detach()
// before its IJsMethods is destroyed; calls after that fail. User-interface
// thread only, like the page.
#pragma once

#include <windows.h>
// After windows.h:
#include <oaidl.h>

#include "bridge/js_methods.h"

namespace bright_setup {

// The identities of the type library (resources/js_handler.idl).
extern const GUID LIBID_JsHandlerhLib;
extern const IID IID_IJsDispatch;
extern const CLSID CLSID_JsHandler;

// The type information of IJsDispatch, loaded on first use from the
// TYPELIB resource of the program's own file (the registry is not used)
// and kept for the life of the process. Adds a reference for the caller.
HRESULT LoadJsDispatchTypeInfo(ITypeInfo** typeInfo);

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class JsHandlerDispatch final : public IDispatch {
 public:
  // A new object with one reference, owned by the caller.
  static JsHandlerDispatch* Create(IJsMethods* target);

  // From now on every method call fails with E_UNEXPECTED.
  void Detach() { m_target = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
  // Names the library does not hold (the page probes a few) give
  // DISP_E_UNKNOWNNAME.
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  // A pure property get of any member answers the object itself, so that
  // the page sees every member as something it can call; a call carries
  // BSTR and integer arguments in and the method's BSTR or integer out.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

 private:
  explicit JsHandlerDispatch(IJsMethods* target) : m_target(target) {}
  ~JsHandlerDispatch() = default;

  LONG m_references = 1;
  IJsMethods* m_target;
};
#pragma GCC diagnostic pop

}  // namespace bright_setup
