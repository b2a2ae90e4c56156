#include "webhost/win/browser_host.h"

// After windows.h:
#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ole2.h>

#include "support/com_holders_win.h"
#include "webhost/host_rules.h"

namespace atl_web_core {

using QuickKit::ComPtr;

// COM interfaces have no virtual destructor: objects are never deleted
// through them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace {

// The frame's side of in-place activation: no menus, no tool space, no
// status text. Owned by BrowserSite; no counting.
class InPlaceFrame final : public IOleInPlaceFrame {
 public:
  explicit InPlaceFrame(HWND frame) : m_frame(frame) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ||
        IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
      *object = static_cast<IOleInPlaceFrame*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = m_frame;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
    m_active.Reset();
    if (object != nullptr) {
      object->AddRef();
      *m_active.Out() = object;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  IOleInPlaceActiveObject* ActiveObject() const { return m_active.Get(); }
  void Clear() { m_active.Reset(); }

 private:
  HWND m_frame;
  ComPtr<IOleInPlaceActiveObject> m_active;
};

}  // namespace

// The client site of the control: in-place site and the host's answers to
// the browser. A member of BrowserHost, so its lifetime is the host's and
// counting is a no-op; the host closes the control before it goes.
class BrowserSite final : public IOleClientSite, public IOleInPlaceSite, public IDocHostUIHandler {
 public:
  BrowserSite(HWND frame, HWND host, IDispatch* external)
      : m_host(host), m_external(external), m_frame(frame) {}

  HRESULT Create(const std::wstring& url) {
    HRESULT hr = ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                    m_object.OutVoid());
    if (FAILED(hr)) return hr;
    hr = m_object->SetClientSite(this);
    if (FAILED(hr)) return hr;
    RECT rect{};
    ::GetClientRect(m_host, &rect);
    hr = m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_host, &rect);
    if (FAILED(hr)) return hr;
    hr = m_object->QueryInterface(__uuidof(IWebBrowser2), m_browser.OutVoid());
    if (FAILED(hr)) return hr;
    // The page takes no drops; the window chain's targets go too (see
    // MainWindow's drop setup).
    m_browser->put_RegisterAsDropTarget(VARIANT_FALSE);
    QuickKit::Bstr address = QuickKit::Bstr::FromUtf8(QuickKit::WideToUtf8(url));
    VARIANT empty;
    ::VariantInit(&empty);
    return m_browser->Navigate(address.Get(), &empty, &empty, &empty, &empty);
  }

  void Close() {
    m_frame.Clear();
    m_browser.Reset();
    if (m_object) {
      m_object->Close(OLECLOSE_NOSAVE);
      m_object->SetClientSite(nullptr);
      m_object.Reset();
    }
  }

  IOleObject* Object() const { return m_object.Get(); }
  IWebBrowser2* Browser() const { return m_browser.Get(); }
  IOleInPlaceActiveObject* ActiveObject() const { return m_frame.ActiveObject(); }

  // IUnknown, shared by the three interfaces.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(iid, __uuidof(IDocHostUIHandler))) {
      *object = static_cast<IDocHostUIHandler*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // IOleClientSite.
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker != nullptr) *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    if (container != nullptr) *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = m_host;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite.
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                             IOleInPlaceUIWindow** document, LPRECT position,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
        info == nullptr)
      return E_POINTER;
    *frame = &m_frame;
    *document = nullptr;
    ::GetClientRect(m_host, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = ::GetAncestor(m_host, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT position) override {
    ComPtr<IOleInPlaceObject> inPlace;
    if (m_object && SUCCEEDED(m_object->QueryInterface(IID_IOleInPlaceObject, inPlace.OutVoid())))
      inPlace->SetObjectRects(position, position);
    return S_OK;
  }

  // IDocHostUIHandler: the browser's questions to its host.
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD kind, POINT*, IUnknown*, IDispatch*) override {
    // S_FALSE lets the browser show its own menu; S_OK shows none.
    return UiDeck::ShowsContextMenu(kind == CONTEXT_MENU_CONTROL, kind == CONTEXT_MENU_TEXTSELECT)
               ? S_FALSE
               : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
    if (info == nullptr) return E_POINTER;
    // The process is DPI-aware (manifest), so the page is zoomed by the
    // monitor's scale, as the window's size is.
    info->dwFlags = DOCHOSTUIFLAG_DPI_AWARE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                   IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override {
    return S_FALSE;  // every key goes on to the browser
  }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    if (key != nullptr) *key = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** replacement) override {
    if (replacement != nullptr) *replacement = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override {
    if (external == nullptr) return E_POINTER;
    *external = m_external;
    if (m_external == nullptr) return S_FALSE;
    m_external->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override {
    if (translated != nullptr) *translated = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** replacement) override {
    if (replacement != nullptr) *replacement = nullptr;
    return S_FALSE;
  }

 private:
  HWND m_host;
  IDispatch* m_external;
  InPlaceFrame m_frame;
  ComPtr<IOleObject> m_object;
  ComPtr<IWebBrowser2> m_browser;
};

#pragma GCC diagnostic pop

std::unique_ptr<BrowserHost> BrowserHost::Create(HWND frame, HWND host, IDispatch* external,
                                                 const std::wstring& url, HRESULT* result) {
  std::unique_ptr<BrowserHost> created(new BrowserHost());
  created->m_site = std::make_unique<BrowserSite>(frame, host, external);
  *result = created->m_site->Create(url);
  if (FAILED(*result)) return nullptr;
  return created;
}

BrowserHost::~BrowserHost() {
  if (m_site) m_site->Close();
}

void BrowserHost::Resize(const RECT& rect) {
  ComPtr<IOleInPlaceObject> inPlace;
  if (SUCCEEDED(m_site->Object()->QueryInterface(IID_IOleInPlaceObject, inPlace.OutVoid())))
    inPlace->SetObjectRects(&rect, &rect);
}

void BrowserHost::Activate() {
  RECT rect{};
  HWND host = nullptr;
  m_site->GetWindow(&host);
  ::GetClientRect(host, &rect);
  m_site->Object()->DoVerb(OLEIVERB_UIACTIVATE, nullptr, m_site.get(), 0, host, &rect);
}

bool BrowserHost::TranslateAccelerator(MSG* message) {
  IOleInPlaceActiveObject* active = m_site->ActiveObject();
  return active != nullptr && active->TranslateAccelerator(message) == S_OK;
}

bool BrowserHost::CallPage(const std::wstring& api, const std::wstring& method, VARIANT* argument) {
  ComPtr<IDispatch> document;
  if (FAILED(m_site->Browser()->get_Document(document.Out())) || !document) return false;
  ComPtr<IHTMLDocument2> html;
  if (FAILED(document->QueryInterface(__uuidof(IHTMLDocument2), html.OutVoid()))) return false;
  ComPtr<IDispatch> script;
  if (FAILED(html->get_Script(script.Out())) || !script) return false;

  std::wstring apiName = api;
  LPOLESTR names[] = {apiName.data()};
  DISPID id = 0;
  if (FAILED(script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  QuickKit::VariantHolder object;
  if (FAILED(script->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                            object.Out(), nullptr, nullptr)) ||
      V_VT(&object.Get()) != VT_DISPATCH || V_DISPATCH(&object.Get()) == nullptr)
    return false;

  IDispatch* pageObject = V_DISPATCH(&object.Get());
  std::wstring methodName = method;
  names[0] = methodName.data();
  if (FAILED(pageObject->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
  DISPPARAMS params{argument, nullptr, argument != nullptr ? 1u : 0u, 0};
  QuickKit::VariantHolder ignored;
  return SUCCEEDED(pageObject->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                      ignored.Out(), nullptr, nullptr));
}

}  // namespace atl_web_core
