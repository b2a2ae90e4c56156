#include "bridge/links.h"

#include <algorithm>
#include <utility>

#include "catalogue/catalogue_model.h"
#include "support/ascii.h"
#include "support/text.h"

namespace bright_setup {
namespace {

constexpr std::string_view kEncodedBlank = "%20";
constexpr std::string_view kEmailPlaceholder = "<email>";

bool IsControlCharacter(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool StaysUnencoded(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '@';
}

}  // namespace

std::string LinkKey(std::string_view identifier) {
  std::string key = "LINK_" + std::string(identifier);
  std::replace(key.begin(), key.end(), '-', '_');
  return key;
}

std::string ReplaceEncodedBlanks(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  std::size_t pos = 0;
  for (std::size_t found; (found = value.find(kEncodedBlank, pos)) != std::string_view::npos;
       pos = found + kEncodedBlank.size()) {
    out.append(value.substr(pos, found - pos));
    out += ' ';
  }
  out.append(value.substr(pos));
  return out;
}

std::optional<std::string> ShareTargetName(std::string_view network) {
  if (network == "facebook") return "facebook_url";
  if (network == "linkedin") return "linkedin_url";
  if (network == "twitter") return "twitter_url";
  return std::nullopt;
}

std::optional<std::string> FillEmailTemplate(std::string_view emailTemplate,
                                             std::string_view email) {
  std::size_t pos = 0;
  while (pos < email.size()) {
    char32_t c = 0;
    if (!QuickKit::NextCodePoint(email, pos, c)) {
      ++pos;  // a stray byte is encoded below like any other
      continue;
    }
    if (IsControlCharacter(c)) return std::nullopt;
  }
  std::string encoded;
  QuickKit::AppendPercentEncoded(encoded, email, StaysUnencoded);
  std::string filled(emailTemplate);
  const std::size_t at = filled.find(kEmailPlaceholder);
  if (at != std::string::npos) filled.replace(at, kEmailPlaceholder.size(), encoded);
  return filled;
}

std::string DefaultLandingAddress() { return NORVANE_LANDING_URL; }

CatalogueLinks::CatalogueLinks(const VerInfo& catalogue, std::string language, IShellOpener& shell)
    : m_catalogue(catalogue), m_language(std::move(language)), m_shell(shell) {}

std::string CatalogueLinks::GetSharingValue(std::string_view name) const {
  std::string value;
  if (FindCatalogueValue(m_catalogue, "SHARING_" + std::string(name), m_language, value))
    return ReplaceEncodedBlanks(value);
  return name == "link" ? DefaultLandingAddress() : std::string();
}

bool CatalogueLinks::OpenLink(std::string_view identifier) {
  std::string address;
  if (!FindCatalogueValue(m_catalogue, LinkKey(identifier), m_language, address) || address.empty())
    return false;
  return m_shell.OpenWithShell(address);
}

bool CatalogueLinks::OpenShareTarget(std::string_view network) {
  const std::optional<std::string> name = ShareTargetName(network);
  if (!name) return false;
  const std::string address = GetSharingValue(*name);
  if (address.empty()) return false;
  return m_shell.OpenWithShell(address);
}

bool CatalogueLinks::SendEmailCommand(std::string_view templateName, std::string_view email) {
  const std::optional<std::string> command =
      FillEmailTemplate(GetSharingValue(templateName), email);
  if (!command || command->empty()) return false;
  return m_shell.OpenWithShell(*command);
}

bool CatalogueLinks::SendOtherDevice(std::string_view email) {
  return SendEmailCommand("protect_another_device", email);
}

bool CatalogueLinks::SendShareMessage(std::string_view email, std::string_view /*message*/) {
  return SendEmailCommand("email_command", email);
}

}  // namespace bright_setup
