#include "catalogue/catalogue_download.h"

#include "catalogue/catalogue_text.h"
#include "net/internet.h"
#include "support/config.h"

namespace bright_setup {
namespace {

// The prompt as the download sees it: once the download is cancelled, its
// failed open is the cancel's doing, not the network's, so the user is not
// asked to reconnect and the window is not asked to close (it is going
// already).
class PromptUnlessCancelled : public QuickKit::IReconnectPrompt {
 public:
  PromptUnlessCancelled(QuickKit::IReconnectPrompt& prompt, const QuickKit::TransferCancel* cancel)
      : m_prompt(prompt), m_cancel(cancel) {}

  Answer Ask(QuickKit::WindowHandle owner, const std::string& text,
             const std::string& title) override {
    if (Cancelled()) return Answer::No;
    return m_prompt.Ask(owner, text, title);
  }
  void PostClose(QuickKit::WindowHandle owner) override {
    if (!Cancelled()) m_prompt.PostClose(owner);
  }

 private:
  bool Cancelled() const { return m_cancel != nullptr && m_cancel->IsCancelled(); }

  QuickKit::IReconnectPrompt& m_prompt;
  const QuickKit::TransferCancel* m_cancel;
};

}  // namespace

bool DownloadCatalogueBytes(QuickKit::WindowHandle owner, QuickKit::IReconnectPrompt& prompt,
                            std::string& bytes,
                            const std::shared_ptr<QuickKit::TransferCancel>& cancel) {
  bytes.clear();
  const std::string url = QuickKit::CatalogueUrl();
  if (url.empty()) return false;
  // Dialogs allowed, no default parent: the prompt's owner is the window.
  QuickKit::InternetSession session(true, nullptr);
  if (cancel != nullptr) session.SetCancel(cancel);
  QuickKit::InternetStream stream;
  PromptUnlessCancelled guardedPrompt(prompt, cancel.get());
  if (FAILED(QuickKit::OpenWithReconnectPrompt(url, owner, &session, &stream, guardedPrompt))) {
    return false;
  }
  QuickKit::StringAsSeqStreamA sink(&bytes);
  const HRESULT hr = QuickKit::CopyStream(&stream, nullptr, &sink, QuickKit::kUnknownTotal);
  stream.Close();
  session.Close();
  if (FAILED(hr)) {
    bytes.clear();  // part of a file is not a catalogue
    return false;
  }
  return true;
}

bool DownloadCatalogue(QuickKit::WindowHandle owner, QuickKit::IReconnectPrompt& prompt,
                       VerInfo& catalogue,
                       const std::shared_ptr<QuickKit::TransferCancel>& cancel) {
  return DownloadCatalogue(owner, prompt, {&catalogue}, cancel);
}

bool DownloadCatalogue(QuickKit::WindowHandle owner, QuickKit::IReconnectPrompt& prompt,
                       std::initializer_list<VerInfo*> holders,
                       const std::shared_ptr<QuickKit::TransferCancel>& cancel) {
  std::string bytes;
  if (!DownloadCatalogueBytes(owner, prompt, bytes, cancel)) return false;
  bool loaded = true;
  for (VerInfo* holder : holders) {
    if (holder != nullptr && !LoadCatalogueText(bytes, *holder)) loaded = false;
  }
  return loaded;
}

}  // namespace bright_setup
