#include "app/win_app_port.h"

#include <utility>

#include "support/config.h"
#include "support/text.h"

namespace bright_setup {
namespace {

constexpr wchar_t kTaskClass[] = L"NorvaneInstallerTasks";
constexpr UINT kRunTask = WM_APP + 1;  // lParam: a std::function<void()>* to run and delete

using Task = std::function<void()>;

}  // namespace

WinAppPort::WinAppPort(int showCommand, WindowCreated windowCreated)
    : m_showCommand(showCommand), m_windowCreated(std::move(windowCreated)) {
  WNDCLASSEXW taskClass{};
  taskClass.cbSize = sizeof(taskClass);
  if (!::GetClassInfoExW(::GetModuleHandleW(nullptr), kTaskClass, &taskClass)) {
    taskClass.lpfnWndProc = &WinAppPort::TaskProc;
    taskClass.hInstance = ::GetModuleHandleW(nullptr);
    taskClass.lpszClassName = kTaskClass;
    ::RegisterClassExW(&taskClass);
  }
  m_tasks = ::CreateWindowExW(0, kTaskClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
}

WinAppPort::~WinAppPort() {
  DestroyMainWindow();
  if (m_tasks == nullptr) return;
  // Tasks still queued are dropped: their owner has gone.
  MSG message;
  while (::PeekMessageW(&message, m_tasks, kRunTask, kRunTask, PM_REMOVE))
    delete reinterpret_cast<Task*>(message.lParam);
  ::DestroyWindow(m_tasks);
}

LRESULT CALLBACK WinAppPort::TaskProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunTask) {
    std::unique_ptr<Task> task(reinterpret_cast<Task*>(lParam));
    (*task)();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

bool WinAppPort::CreateMainWindow(const WindowParams& params, IJsMethods& page,
                                  atl_web_core::IMainWindowEvents* events, std::string* error) {
  atl_web_core::MainWindowParams windowParams;
  windowParams.title = QuickKit::kProgramTitle;
  windowParams.startPage = params.startPage;
  windowParams.showCommand = m_showCommand;
  m_window = atl_web_core::MainWindow::Create(windowParams, page, events, error);
  if (m_window == nullptr) return false;
  if (m_windowCreated) m_windowCreated(*m_window);
  return true;
}

void WinAppPort::SetCustomMessageProcessor(UiDeck::ICustomMessageProcessor* processor) {
  if (m_window != nullptr)
    m_window->SetCustomMessageHandler(UiDeck::CustomMessageHandlerFor(processor));
}

QuickKit::WindowHandle WinAppPort::MainWindowHandle() {
  return m_window != nullptr ? static_cast<QuickKit::WindowHandle>(m_window->Frame()) : nullptr;
}

void WinAppPort::RunMessageLoop() {
  if (m_window != nullptr) m_window->Run();
}

void WinAppPort::DestroyMainWindow() { m_window.reset(); }

bool WinAppPort::RunOnUiThread(std::function<void()> task) {
  if (m_tasks == nullptr) return false;
  auto* posted = new Task(std::move(task));
  if (::PostMessageW(m_tasks, kRunTask, 0, reinterpret_cast<LPARAM>(posted))) return true;
  delete posted;
  return false;
}

QuickKit::IReconnectPrompt::Answer WinAppPort::ShowYesNo(QuickKit::WindowHandle owner,
                                                         const std::string& text,
                                                         const std::string& title) {
  const int answer = ::MessageBoxW(static_cast<HWND>(owner), QuickKit::Utf8ToWide(text).c_str(),
                                   QuickKit::Utf8ToWide(title).c_str(), MB_YESNO);
  return answer == IDYES ? QuickKit::IReconnectPrompt::Answer::Yes
                         : QuickKit::IReconnectPrompt::Answer::No;
}

void WinAppPort::PostClose(QuickKit::WindowHandle owner) {
  if (owner != nullptr) ::PostMessageW(static_cast<HWND>(owner), WM_CLOSE, 0, 0);
}

}  // namespace bright_setup
