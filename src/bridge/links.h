// Links, sharing addresses and e-mail commands, all looked up in the
// catalogue by a key that the page's identifier selects, in the user's
// language, and opened with the shell. Owned by the script object; used on
// the user-interface thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bridge/shell_opener.h"
#include "catalogue/VerInfo/verinfo.h"

namespace bright_setup {

// "LINK_" + identifier, with every '-' turned into '_'.
std::string LinkKey(std::string_view identifier);

// Every "%20" becomes one blank; no other escape is decoded.
std::string ReplaceEncodedBlanks(std::string_view value);

// The SHARING_ name for a network the page names ("facebook", "linkedin",
// "twitter", exactly); nullopt for any other text.
std::optional<std::string> ShareTargetName(std::string_view network);

// The template with its first "<email>" replaced by the address the page
// gave. The address is percent-encoded (UTF-8 bytes; letters, digits and
// "-._~@" stay) so that it cannot end or extend the address part of a
// mailto: command, or add parameters to a web address. nullopt when the
// address holds a control character: such a text is never opened.
// A template without a placeholder comes back unchanged.
std::optional<std::string> FillEmailTemplate(std::string_view emailTemplate,
                                             std::string_view email);

// The built-in landing page, the share link when the catalogue has none.
std::string DefaultLandingAddress();

class CatalogueLinks {
 public:
  // catalogue and shell must outlive this object. language is the ISO 639
  // name of the user-interface language.
  CatalogueLinks(const VerInfo& catalogue, std::string language, IShellOpener& shell);

  // The value of "SHARING_" + name with "%20" as blanks; for "link" without
  // an entry the default landing address, otherwise empty.
  std::string GetSharingValue(std::string_view name) const;

  // Each returns whether something was handed to the shell.
  bool OpenLink(std::string_view identifier);
  bool OpenShareTarget(std::string_view network);
  bool SendEmailCommand(std::string_view templateName, std::string_view email);
  bool SendOtherDevice(std::string_view email);
  // The message is not part of the command: the template carries the text.
  bool SendShareMessage(std::string_view email, std::string_view message);

 private:
  const VerInfo& m_catalogue;
  std::string m_language;
  IShellOpener& m_shell;
};

}  // namespace bright_setup
