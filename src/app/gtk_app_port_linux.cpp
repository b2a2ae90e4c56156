#include <gtk/gtk.h>

#include <utility>

#include "app/gtk_app_port.h"
#include "support/config.h"

namespace bright_setup {
namespace {

// A task handed to the main context from any thread.
struct UiTask {
  std::function<void()> task;
};

gboolean RunUiTask(gpointer data) {
  static_cast<UiTask*>(data)->task();
  return G_SOURCE_REMOVE;
}

void DeleteUiTask(gpointer data) { delete static_cast<UiTask*>(data); }

}  // namespace

GtkAppPort::GtkAppPort(WindowCreated windowCreated, PageMethods pageMethods)
    : m_windowCreated(std::move(windowCreated)),
      m_pageMethods(std::move(pageMethods)),
      m_alive(std::make_shared<bool>(false)) {}

GtkAppPort::~GtkAppPort() { DestroyMainWindow(); }

bool GtkAppPort::CreateMainWindow(const WindowParams& params, IJsMethods& page,
                                  atl_web_core::IMainWindowEvents* events, std::string* error) {
  atl_web_core::MainWindowParams windowParams;
  windowParams.title = QuickKit::kProgramTitle;
  windowParams.startPage = params.startPage;
  windowParams.layoutFolder = params.layoutFolder;
  IJsMethods& target = m_pageMethods ? m_pageMethods(page) : page;
  m_window = atl_web_core::MainWindow::Create(windowParams, target, events, error);
  if (m_window == nullptr) return false;
  *m_alive = true;
  if (m_windowCreated) m_windowCreated(*m_window);
  return true;
}

void GtkAppPort::SetCustomMessageProcessor(UiDeck::ICustomMessageProcessor* processor) {
  if (m_window != nullptr)
    m_window->SetCustomMessageHandler(UiDeck::CustomMessageHandlerFor(processor));
}

QuickKit::WindowHandle GtkAppPort::MainWindowHandle() {
  return m_window != nullptr ? static_cast<QuickKit::WindowHandle>(m_window->Window()) : nullptr;
}

void GtkAppPort::RunMessageLoop() {
  if (m_window != nullptr) m_window->Run();
}

void GtkAppPort::DestroyMainWindow() {
  *m_alive = false;
  m_window.reset();
}

bool GtkAppPort::RunOnUiThread(std::function<void()> task) {
  g_main_context_invoke_full(nullptr, G_PRIORITY_DEFAULT, &RunUiTask, new UiTask{std::move(task)},
                             &DeleteUiTask);
  return true;
}

QuickKit::IReconnectPrompt::Answer GtkAppPort::ShowYesNo(QuickKit::WindowHandle owner,
                                                         const std::string& text,
                                                         const std::string& title) {
  // The owner is the main window only while it lives; the dialog is
  // shown over it even while the window itself is still hidden.
  GtkWindow* parent = nullptr;
  if (m_window != nullptr && owner == static_cast<QuickKit::WindowHandle>(m_window->Window()))
    parent = m_window->Window();
  GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                             GTK_BUTTONS_YES_NO, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return response == GTK_RESPONSE_YES ? QuickKit::IReconnectPrompt::Answer::Yes
                                      : QuickKit::IReconnectPrompt::Answer::No;
}

void GtkAppPort::PostClose(QuickKit::WindowHandle) {
  std::shared_ptr<bool> alive = m_alive;
  RunOnUiThread([this, alive] {
    if (*alive && m_window != nullptr) m_window->Close();
  });
}

void ShowMessageBox(const std::string& text, const std::string& title) {
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                             GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace bright_setup
