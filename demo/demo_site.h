// The demo site: the paths the demo server answers on its download port
// and the catalogue (verinfo.txt) that points the program at them.
#pragma once

#include <string>
#include <string_view>

namespace norvane_demo {

// Where the program looks for its catalogue: the path of its built-in
// catalogue URL, so that only the host and port change for the demo.
std::string_view CataloguePath();

inline constexpr char kProductsPath[] = "/products/";   // + a product's installerFile
inline constexpr char kLinksPath[] = "/links/";         // + a page link id
inline constexpr char kSharePath[] = "/share";          // the share link itself
inline constexpr char kShareNetworkPath[] = "/share/";  // + a network's name
inline constexpr char kQrCodePath[] = "/qrCode.png";    // the share link as a QR code

// The address the share page shows and its QR code encodes.
std::string ShareLink(std::string_view siteUrl);

// The catalogue for a site at siteUrl ("http://127.0.0.1:PORT", no slash at
// the end): every product with its installer URL, uninstall GUID, areas and
// the SHA-256 of its installer (all products serve the same demo installer,
// whose hash is installerSha256, lower-case hex); a LINK_ entry per page
// link; the share link, the three networks, the two e-mail templates and
// the QR-code picture.
std::string DemoCatalogueText(std::string_view siteUrl, std::string_view installerSha256);

}  // namespace norvane_demo
