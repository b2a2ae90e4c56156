#include "webhost/win/main_window.h"

// After windows.h:
#include <commctrl.h>
#include <ole2.h>
#include <windowsx.h>

#include <cstdio>
#include <utility>

#include "bridge/js_dispatch_win.h"
#include "support/com_holders_win.h"
#include "support/text.h"
#include "webhost/host_rules.h"
#include "webhost/win/browser_host.h"

namespace atl_web_core {
namespace {

constexpr wchar_t kFrameClass[] = L"NorvaneInstallerFrame";
constexpr wchar_t kHostClass[] = L"NorvaneInstallerBrowser";
constexpr UINT kBaseDpi = 96;

HINSTANCE OwnModule() { return ::GetModuleHandleW(nullptr); }

// Once per process; later calls find the classes there.
bool RegisterClasses(WNDPROC frameProc, WNDPROC hostProc) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (::GetClassInfoExW(OwnModule(), kFrameClass, &existing)) return true;
  WNDCLASSEXW frame{};
  frame.cbSize = sizeof(frame);
  frame.lpfnWndProc = frameProc;
  frame.hInstance = OwnModule();
  frame.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  frame.hIcon = ::LoadIconW(OwnModule(), MAKEINTRESOURCEW(1));  // null without one
  frame.lpszClassName = kFrameClass;
  WNDCLASSEXW host = frame;
  host.hIcon = nullptr;
  host.lpfnWndProc = hostProc;
  host.lpszClassName = kHostClass;
  return ::RegisterClassExW(&host) != 0 && ::RegisterClassExW(&frame) != 0;
}

// The DPI of a window's monitor: GetDpiForWindow where the system has it
// (Windows 10), else the screen's.
UINT DpiOfWindow(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return kBaseDpi;
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

int Scaled(int length, UINT dpi) { return ::MulDiv(length, static_cast<int>(dpi), kBaseDpi); }

// Moves the borderless window by the strip: the frame answers "caption",
// the windows inside it let the test through to their parent.
LRESULT CALLBACK DragStripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                               DWORD_PTR owner) {
  if (message == WM_NCHITTEST) {
    const POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (reinterpret_cast<const MainWindow*>(owner)->InDragStrip(screen))
      return ::GetParent(window) == nullptr ? HTCAPTION : HTTRANSPARENT;
  } else if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(window, &DragStripProc, id);
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

// A drop target that takes nothing; only registered to be revoked.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class RefusingDropTarget final : public IDropTarget {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    if (effect != nullptr) *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    if (effect != nullptr) *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    if (effect != nullptr) *effect = DROPEFFECT_NONE;
    return S_OK;
  }
};
#pragma GCC diagnostic pop

RefusingDropTarget g_refusingDropTarget;

}  // namespace

UINT CustomMessageId() {
  static const UINT id = ::RegisterWindowMessageW(L"WM_CustomMessage");
  return id;
}

class MainWindow::Poster final : public UiDeck::ICustomMessagePoster {
 public:
  explicit Poster(HWND frame) : m_frame(frame) {}
  bool PostCustomMessage(UiDeck::InstallStatus status, std::int32_t value) override {
    return ::PostMessageW(m_frame, CustomMessageId(), static_cast<WPARAM>(status),
                          static_cast<LPARAM>(value)) != FALSE;
  }

 private:
  HWND m_frame;
};

MainWindow::MainWindow(const MainWindowParams& params, IMainWindowEvents* events)
    : m_params(params), m_events(events) {}

std::unique_ptr<MainWindow> MainWindow::Create(const MainWindowParams& params,
                                               bright_setup::IJsMethods& page,
                                               IMainWindowEvents* events, std::string* error) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  if (!RegisterClasses(&MainWindow::FrameProc, &MainWindow::HostProc)) {
    *error = "the window classes cannot be registered";
    return nullptr;
  }
  std::unique_ptr<MainWindow> window(new MainWindow(params, events));
  window->m_dispatch = bright_setup::JsHandlerDispatch::Create(&page);
  const std::wstring title = QuickKit::Utf8ToWide(params.title);
  HWND frame = ::CreateWindowExW(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, kFrameClass, title.c_str(),
                                 WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 nullptr, nullptr, OwnModule(), window.get());
  if (frame == nullptr) {
    char reason[80];
    if (window->m_browser == nullptr && FAILED(window->m_browserResult)) {
      std::snprintf(reason, sizeof(reason), "the web browser control cannot be created (0x%08lX)",
                    static_cast<unsigned long>(window->m_browserResult));
    } else {
      std::snprintf(reason, sizeof(reason), "the window cannot be created (error %lu)",
                    static_cast<unsigned long>(::GetLastError()));
    }
    *error = reason;
    return nullptr;
  }
  window->m_poster = std::make_unique<Poster>(frame);
  ::ShowWindow(frame, params.showCommand);
  return window;
}

MainWindow::~MainWindow() {
  if (m_frame != nullptr) ::DestroyWindow(m_frame);
  if (m_dispatch != nullptr) {
    m_dispatch->Detach();
    m_dispatch->Release();
  }
}

LRESULT MainWindow::OnCreate() {
  m_host = ::CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                             0, 0, m_frame, nullptr, OwnModule(), this);
  if (m_host == nullptr) return -1;
  m_browser = BrowserHost::Create(m_frame, m_host, m_dispatch,
                                  QuickKit::Utf8ToWide(m_params.startPage), &m_browserResult);
  if (m_browser == nullptr) return -1;

  ::ShowWindow(m_frame, SW_HIDE);
  ::ShowWindow(m_host, SW_HIDE);
  // No title bar, no sizing border, no minimise or maximise box; the system
  // menu stays for the taskbar.
  LONG style = ::GetWindowLongW(m_frame, GWL_STYLE);
  style &= ~static_cast<LONG>(WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                              WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
  style |= WS_SYSMENU;
  if (::SetWindowLongW(m_frame, GWL_STYLE, style) != 0) Place();

  // The strip works on the frame and the host from the start; the
  // browser's own windows join when they exist (SetUpDropAndDrag).
  for (HWND window : {m_frame, m_host})
    ::SetWindowSubclass(window, &DragStripProc, 0, reinterpret_cast<DWORD_PTR>(this));
  return 0;
}

// Centred on the primary screen, at 0 on an axis where it does not fit.
void MainWindow::Place() {
  const UINT dpi = Dpi();
  const int width = Scaled(UiDeck::kWindowWidth, dpi);
  const int height = Scaled(UiDeck::kWindowHeight, dpi);
  const UiDeck::ScreenRect screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN),
                                  ::GetSystemMetrics(SM_CYSCREEN)};
  const UiDeck::ScreenPoint origin = UiDeck::CentredWindowOrigin(screen, width, height);
  ::SetWindowPos(m_frame, nullptr, origin.x, origin.y, width, height,
                 SWP_NOZORDER | SWP_FRAMECHANGED);
}

UINT MainWindow::Dpi() const { return DpiOfWindow(m_frame); }

bool MainWindow::InDragStrip(POINT screen) const {
  if (m_host == nullptr || !::ScreenToClient(m_host, &screen)) return false;
  const double zoom = static_cast<double>(Dpi()) / kBaseDpi;
  return UiDeck::InDragStrip(screen.x, screen.y, zoom);
}

// From the browser's innermost window up to the frame: each gets the
// drag-strip subclass, and loses its drop target (registering ours fails
// where the browser's own is set, and the revoke then removes the
// browser's; elsewhere ours goes again at once). False until the browser
// has built its windows.
bool MainWindow::SetUpDropAndDrag() {
  HWND window = m_host;
  for (int level = 0; level < 3; ++level) {
    window = window != nullptr ? ::GetWindow(window, GW_CHILD) : nullptr;
    if (window == nullptr) return false;
  }
  for (; window != nullptr; window = ::GetParent(window)) {
    if (!::SetWindowSubclass(window, &DragStripProc, 0, reinterpret_cast<DWORD_PTR>(this)))
      return false;
    ::RegisterDragDrop(window, &g_refusingDropTarget);
    ::RevokeDragDrop(window);
  }
  return true;
}

void MainWindow::Run() {
  if (m_frame == nullptr) return;
  m_inLoop = true;
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (PreTranslateMessage(&message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  m_inLoop = false;
}

bool MainWindow::PreTranslateMessage(MSG* message) {
  if (message->message == CustomMessageId()) {
    HandleCustomMessage(message->wParam, message->lParam);
    return true;
  }
  if (message->message == WM_QUERYENDSESSION) {
    SessionEnding();
    return true;
  }
  if (!m_dropSetupDone && m_browser != nullptr) m_dropSetupDone = SetUpDropAndDrag();
  const bool keyboard = message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST;
  const bool mouse = message->message >= WM_MOUSEFIRST && message->message <= WM_MOUSEHWHEEL;
  if ((keyboard || mouse) && m_browser != nullptr) return m_browser->TranslateAccelerator(message);
  return false;
}

void MainWindow::HandleCustomMessage(WPARAM status, LPARAM value) {
  if (m_customHandler)
    m_customHandler(static_cast<UiDeck::InstallStatus>(status), static_cast<std::int32_t>(value));
}

void MainWindow::SessionEnding() {
  if (m_events != nullptr) m_events->OnSessionEnding();
  if (m_frame != nullptr) ::PostMessageW(m_frame, WM_CLOSE, 0, 0);
}

bool MainWindow::Show() {
  if (m_frame == nullptr) return false;
  for (HWND window : {m_host, m_frame})
    ::SetWindowLongW(window, GWL_STYLE, ::GetWindowLongW(window, GWL_STYLE) | WS_VISIBLE);
  ::ShowWindow(m_frame, SW_SHOW);
  ::ShowWindow(m_host, SW_SHOW);
  if (m_browser != nullptr) m_browser->Activate();
  return true;
}

bool MainWindow::Minimize() {
  return m_frame != nullptr && ::PostMessageW(m_frame, WM_SYSCOMMAND, SC_MINIMIZE, 0) != FALSE;
}

bool MainWindow::Close() {
  return m_frame != nullptr && ::PostMessageW(m_frame, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
}

bool MainWindow::CallPage(const std::string& api, const std::string& method, VARIANT* argument) {
  return m_browser != nullptr &&
         m_browser->CallPage(QuickKit::Utf8ToWide(api), QuickKit::Utf8ToWide(method), argument);
}

bool MainWindow::Notify(const std::string& api, const std::string& method,
                        const std::string& text) {
  QuickKit::Bstr bstr = QuickKit::Bstr::FromUtf8(text);
  if (bstr.Get() == nullptr) return false;
  VARIANT argument;
  ::VariantInit(&argument);
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = bstr.Get();  // still owned by bstr
  return CallPage(api, method, &argument);
}

bool MainWindow::Notify(const std::string& api, const std::string& method, int number) {
  VARIANT argument;
  ::VariantInit(&argument);
  V_VT(&argument) = VT_INT;
  V_INT(&argument) = number;
  return CallPage(api, method, &argument);
}

bool MainWindow::Notify(const std::string& api, const std::string& method) {
  return CallPage(api, method, nullptr);
}

UiDeck::ICustomMessagePoster& MainWindow::CustomMessages() { return *m_poster; }

void MainWindow::SetCustomMessageHandler(CustomMessageHandler handler) {
  m_customHandler = std::move(handler);
}

LRESULT CALLBACK MainWindow::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_frame = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  return self->HandleFrame(message, wParam, lParam);
}

LRESULT MainWindow::HandleFrame(UINT message, WPARAM wParam, LPARAM lParam) {
  // Custom messages dispatched by a modal loop (a message box) rather
  // than ours arrive here.
  if (message == CustomMessageId()) {
    HandleCustomMessage(wParam, lParam);
    return 0;
  }
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_QUERYENDSESSION:
      SessionEnding();
      return TRUE;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED && m_host != nullptr) {
        RECT client{};
        ::GetClientRect(m_frame, &client);
        ::SetWindowPos(m_host, nullptr, 0, 0, client.right, client.bottom,
                       SWP_NOACTIVATE | SWP_NOZORDER);
      }
      return 0;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(m_frame, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_SETFOCUS:
      if (m_host != nullptr) ::SetFocus(m_host);
      return 0;
    case WM_ERASEBKGND:
      if (m_host != nullptr) return 1;
      break;
    case WM_DESTROY:
      m_browser.reset();
      if (m_inLoop) ::PostQuitMessage(1);
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(m_frame, GWLP_USERDATA, 0);
      m_frame = nullptr;
      m_host = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcW(m_frame, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    ::SetWindowLongPtrW(
        window, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_SIZE && self != nullptr && self->m_browser != nullptr) {
    RECT client{};
    ::GetClientRect(window, &client);
    self->m_browser->Resize(client);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace atl_web_core
