#include "catalogue/catalogue_download.h"

#include "catalogue/catalogue_text.h"
#include "net/internet.h"
#include "support/config.h"

namespace bright_setup {

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
  if (FAILED(QuickKit::OpenWithReconnectPrompt(url, owner, &session, &stream, prompt))) {
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
