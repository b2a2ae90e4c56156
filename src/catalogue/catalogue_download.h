// The download of the product catalogue (verinfo.txt) from the configured
// catalogue URL. UI thread only, during start-up; the page is not serviced
// while it blocks, except through the reconnect prompt.
//
// Each form takes an optional TransferCancel that the controller may cancel
// from another thread (the session ends during start-up): the download then
// returns false within a wait slice, without asking the user to reconnect
// and without closing the owner window.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "catalogue/VerInfo/verinfo.h"
#include "net/reconnect_prompt.h"
#include "net/transfer_cancel.h"

namespace bright_setup {

// Fetches the catalogue's bytes through OpenWithReconnectPrompt, with a
// session and stream of its own that are closed again before it returns.
// False when no URL is configured (no network access then), when the URL
// did not open (the prompt has had its say), or when the transfer failed.
bool DownloadCatalogueBytes(QuickKit::WindowHandle owner, QuickKit::IReconnectPrompt& prompt,
                            std::string& bytes,
                            const std::shared_ptr<QuickKit::TransferCancel>& cancel = nullptr);

// Downloads the catalogue and loads it into catalogue. True when it loaded
// (an empty file is an empty catalogue); false when nothing was loaded: no
// connection, a transfer error, an HTML page instead of the catalogue, text
// that is not UTF-8, or a grammar error.
bool DownloadCatalogue(QuickKit::WindowHandle owner, QuickKit::IReconnectPrompt& prompt,
                       VerInfo& catalogue,
                       const std::shared_ptr<QuickKit::TransferCancel>& cancel = nullptr);

// The start-up form: one download, loaded into every holder (the catalogue
// build, the controller's and the script object's dictionaries), so each
// has its own copy of the same file. Same result as the single form.
bool DownloadCatalogue(QuickKit::WindowHandle owner, QuickKit::IReconnectPrompt& prompt,
                       std::initializer_list<VerInfo*> holders,
                       const std::shared_ptr<QuickKit::TransferCancel>& cancel = nullptr);

}  // namespace bright_setup
