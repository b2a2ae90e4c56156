#include "app/installer_app.h"

#include <filesystem>
#include <stdexcept>
#include <utility>

#include "app/working_folder.h"
#include "catalogue/catalogue_download.h"
#include "install/installer_state.h"
#include "net/internet.h"
#include "net/native_file.h"
#include "net/seq_stream.h"
#include "support/config.h"
#include "support/paths.h"
#include "support/program_path.h"

namespace bright_setup {
namespace {

constexpr char kQrCodeKey[] = "SHARING_qrcode";
constexpr char kQrCodeFile[] = "qrCode.png";
// The picture the layout carries, for a catalogue without one.
constexpr char kPackagedQrCode[] = "layout/external/qrCode.png";

}  // namespace

InstallerApp::InstallerApp(IAppPort& port, AppOptions options)
    : m_port(port),
      m_options(std::move(options)),
      m_model(std::make_unique<CatalogueModel>(std::vector<CatalogueProduct>{}, nullptr)) {
  m_model->InitSelection();
  if (m_options.shell == nullptr) {
    m_ownShell = std::make_unique<ShellOpener>();
    m_options.shell = m_ownShell.get();
  }
  if (m_options.programPath.empty()) m_options.programPath = QuickKit::GetProgramPath();
}

InstallerApp::~InstallerApp() {
  // Normally done at the end of Run; here when Run stopped half-way.
  TearDownWindow();
  // The working folder goes first: a run still going is then cut off from
  // its downloads before the installer is ended.
  QuickKit::RemoveWorkingFolder();
  m_qrCodePath.clear();
  m_catalogue = VerInfo();
  m_messageProcessor.reset();
  // Stops a run and waits for it; clears its saved state and logon entry
  // unless the session is ending.
  m_installer.reset();
  // The thread may have made the folder again for a download in between.
  QuickKit::RemoveWorkingFolder();
  m_prompt.reset();
  m_model.reset();
}

void InstallerApp::Run() {
  // 1. The message processor, which learns the script object below.
  m_messageProcessor = std::make_unique<UiDeck::MessageProcessor>();

  // 2. The page, unpacked into the working folder.
  const QuickKit::ExtractedLayout layout = QuickKit::ExtractLayout();
  if (FAILED(layout.result)) throw std::runtime_error(layout.failure);
  IAppPort::WindowParams params;
  params.startPage = layout.startPage;
  params.layoutFolder =
      QuickKit::PathToUtf8(QuickKit::PathFromUtf8(layout.startPage).parent_path().parent_path());

  // The reconnect prompt: a dialog on this thread, whichever thread asks.
  m_prompt = std::make_unique<QuickKit::UiThreadReconnectPrompt>(
      [this](std::function<void()> task) { return m_port.RunOnUiThread(std::move(task)); },
      [this](QuickKit::WindowHandle owner, const std::string& text, const std::string& title) {
        return m_port.ShowYesNo(owner, text, title);
      },
      [this](QuickKit::WindowHandle owner) { m_port.PostClose(owner); });

  // 3-7. The script object and the main window that shows it to the page.
  m_jsHandler = std::make_unique<JsHandler>(*this, *m_options.shell);
  std::string error;
  if (!m_port.CreateMainWindow(params, *m_jsHandler, this, &error)) {
    throw std::runtime_error("The window cannot be shown: " + error);
  }
  m_windowCreated = true;
  m_jsHandler->Attach(&m_port.WindowCommands(), &m_port.Notificator());
  m_messageProcessor->SetHandler(m_jsHandler.get());
  m_port.SetCustomMessageProcessor(m_messageProcessor.get());
  m_poster = std::make_shared<UiDeck::RevocablePoster>(&m_port.CustomMessages());
  const QuickKit::WindowHandle owner = m_port.MainWindowHandle();

  // 8-10. The catalogue, the selection, the QR code and the installer.
  LoadCatalogue(owner);
  m_installer = std::make_unique<SerialInstaller>(
      m_model->Products(), [] { return QuickKit::GetWorkingFolder(); }, m_poster,
      m_options.programPath, m_prompt.get(), owner);

  // 11. A run that a restart interrupted goes on as soon as the loop runs.
  if (!LoadState().queue.empty()) m_poster->PostCustomMessage(UiDeck::kInstallResume, 0);

  // 12-13.
  m_port.RunMessageLoop();
  TearDownWindow();
}

void InstallerApp::LoadCatalogue(QuickKit::WindowHandle owner) {
  // One download feeds the three holders: the product list, the
  // controller's dictionary and the script object's.
  bool loaded = false;
  std::vector<CatalogueProduct> products;
  BuildCatalogueProducts(
      [&](VerInfo& build) {
        loaded =
            DownloadCatalogue(owner, *m_prompt, {&build, &m_catalogue, &m_jsHandler->Catalogue()});
        return loaded;
      },
      CatalogueLanguage(), products);
  m_model = std::make_unique<CatalogueModel>(std::move(products), &m_port.Notificator());
  m_model->InitSelection();
  if (loaded) FetchQrCode(owner);
}

void InstallerApp::FetchQrCode(QuickKit::WindowHandle owner) {
  std::string url;
  if (!FindCatalogueValue(m_catalogue, kQrCodeKey, CatalogueLanguage(), url)) return;
  QuickKit::InternetSession session;
  QuickKit::InternetStream stream;
  if (FAILED(QuickKit::OpenWithReconnectPrompt(url, owner, &session, &stream, *m_prompt))) return;
  std::string path;
  try {
    path = QuickKit::GetWorkingFolder() + kQrCodeFile;
  } catch (const std::exception&) {
    return;
  }
  QuickKit::ScopedNativeFile file;
  if (FAILED(QuickKit::CreateFreshFile(path, &file))) return;
  QuickKit::WinFileAsSeqStream target(file.Get());
  // Only a whole picture is shown; a cut one leaves the packaged picture.
  if (SUCCEEDED(QuickKit::CopyStream(&stream, nullptr, &target, QuickKit::kUnknownTotal))) {
    m_qrCodePath = path;
  }
}

std::string InstallerApp::GetQrCodePath() const {
  if (!m_qrCodePath.empty()) return m_qrCodePath;
  try {
    return QuickKit::PathToUtf8(
        (QuickKit::PathFromUtf8(QuickKit::GetWorkingFolder()) / kPackagedQrCode).make_preferred());
  } catch (const std::exception&) {
    return {};
  }
}

void InstallerApp::OnSessionEnding() {
  m_sessionEnding = true;
  // A run in progress stays saved, with its logon entry, and goes on at
  // the next logon.
  if (m_installer != nullptr) m_installer->KeepRunForNextLogon();
}

void InstallerApp::OnPageRestarted() {
  if (m_jsHandler != nullptr) m_jsHandler->OnPageRestarted();
}

void InstallerApp::TearDownWindow() {
  // Nothing reaches the window from here on: no post, no prompt.
  if (m_poster != nullptr) m_poster->Revoke();
  if (m_prompt != nullptr) m_prompt->Cancel();
  if (m_windowCreated) {
    m_port.SetCustomMessageProcessor(nullptr);
    if (m_jsHandler != nullptr) m_jsHandler->Attach(nullptr, nullptr);
    m_port.DestroyMainWindow();
    m_windowCreated = false;
  }
  // The statistics end their session and drain (at most 10 s) once the
  // window is gone.
  m_jsHandler.reset();
}

}  // namespace bright_setup
