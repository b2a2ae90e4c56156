// Built-in configuration. The values come from CMake cache variables at
// build time; for staging and tests the environment may override them
// (NORVANE_CATALOGUE_URL, NORVANE_COLLECTOR_URL, NORVANE_CA_FILE). There is
// no settings file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace QuickKit {

// The title the program shows in its window and message boxes.
inline constexpr char kProgramTitle[] = "Norvane Installer";

// Where the product catalogue (verinfo.txt) is downloaded from: the
// environment's address, else the built-in one.
std::string CatalogueUrl();

// The catalogue address the program carries: on Windows string 104 of its
// resources (empty in a program without them), on Linux the build's value.
std::string BuiltInCatalogueUrl();

// The analytics collector: an https URL whose host and port the statistics
// connection uses.
std::string CollectorUrl();

// The analytics tracking id ("UA-" digits "-" digits) every hit carries.
std::string TrackingId();

// An extra CA certificate file (PEM) trusted beside the system's, for local
// TLS test servers. Empty when none is configured. Only the Linux port uses
// it; on Windows the test CA goes into the user's root store instead.
std::string ExtraCaFile();

// The parts of an URL that a connection needs.
struct UrlParts {
  std::string scheme;  // lower case: "http", "https", ...
  std::string host;
  std::uint16_t port = 0;  // the scheme's default when the URL has none
  std::string path;        // from the first '/' after the host, "/" when absent
};

// Splits "scheme://host[:port][/path]". False for anything else (no scheme,
// empty host, a port that is not a number in 1..65535, an unknown scheme
// without a port).
bool SplitUrl(std::string_view url, UrlParts* parts);

}  // namespace QuickKit
