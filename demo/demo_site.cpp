#include "demo/demo_site.h"

#include "demo/demo_products.h"

#ifndef NORVANE_DEMO_CATALOGUE_PATH
#error "NORVANE_DEMO_CATALOGUE_PATH comes from the build"
#endif

namespace norvane_demo {
namespace {

// "KEY * VALUE": an entry for every language and version.
void Entry(std::string& text, std::string_view key, std::string_view value) {
  text.append(key).append(" * ").append(value).append("\n");
}

std::string LinkKey(std::string_view id) {
  std::string key = "LINK_" + std::string(id);
  for (char& c : key) {
    if (c == '-') c = '_';  // the program looks page ids up with '_' for '-'
  }
  return key;
}

}  // namespace

std::string_view CataloguePath() { return NORVANE_DEMO_CATALOGUE_PATH; }

std::string ShareLink(std::string_view siteUrl) { return std::string(siteUrl) + kSharePath; }

std::string DemoCatalogueText(std::string_view siteUrl, std::string_view installerSha256) {
  const std::string site(siteUrl);
  std::string text =
      "; The Norvane demo catalogue, written by norvane-demo-server for this run.\n"
      "; One entry a line: KEY, then * (any version, any language), then the value.\n"
      ";\n"
      "; Products: the installer's download URL, its uninstall key, its areas and\n"
      "; the SHA-256 of the file (written with \"sha256:\", since a value may not\n"
      "; start with a digit).\n";
  for (const DemoProduct& product : kDemoProducts) {
    const std::string code(bright_setup::ProductDisplayCode(product.productIndex));
    Entry(text, code + ".URL", site + kProductsPath + std::string(product.installerFile));
    Entry(text, code + ".GUID", product.guid);
    Entry(text, code + ".AREAS", product.areas);
    Entry(text, code + ".SHA256", "sha256:" + std::string(installerSha256));
  }
  text += ";\n; The page's links, by the id of the link in the page.\n";
  for (std::string_view id : kPageLinkIds) {
    Entry(text, LinkKey(id), site + kLinksPath + std::string(id));
  }
  const std::string share = ShareLink(site);
  text += ";\n; Sharing: the link, the networks, the e-mail templates and the QR code.\n";
  Entry(text, "SHARING_link", share);
  for (std::string_view network : kShareNetworks) {
    Entry(text, "SHARING_" + std::string(network) + "_url",
          site + kShareNetworkPath + std::string(network));
  }
  Entry(
      text, "SHARING_protect_another_device",
      "mailto:<email>?subject=Protect%20another%20device&body=Install%20Norvane%20from%20" + share);
  Entry(text, "SHARING_email_command",
        "mailto:<email>?subject=Norvane%20Installer&body=Have%20a%20look%20at%20" + share);
  Entry(text, "SHARING_qrcode", site + kQrCodePath);
  return text;
}

}  // namespace norvane_demo
