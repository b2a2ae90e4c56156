// The share link's QR code as a PNG picture, for the page's share view.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace norvane_demo {

// The modules of a QR code, row by row; true is dark.
struct QrModules {
  int width = 0;  // modules per side; 0 when the text could not be encoded
  std::vector<bool> dark;
};

QrModules EncodeQr(std::string_view text);

// Pixels per module, and the light margin around the code in modules
// (the standard quiet zone). The page shows the picture at 148 x 148 CSS
// pixels, so it stays sharp at 200 % too.
inline constexpr int kQrScale = 8;
inline constexpr int kQrMargin = 4;

// A greyscale PNG of the modules: black on white, kQrScale pixels per
// module, kQrMargin modules of margin. Empty for an empty code.
std::string QrPng(const QrModules& modules);

}  // namespace norvane_demo
