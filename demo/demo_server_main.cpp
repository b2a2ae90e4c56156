// norvane-demo-server: serves the Norvane demo on this machine until it is
// told to stop. See kUsage.
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "demo/demo_products.h"
#include "demo/demo_server.h"
#include "support/atomic_file.h"
#include "support/hresult.h"
#include "support/paths.h"
#include "support/program_path.h"

namespace {

namespace fs = std::filesystem;

constexpr char kUsage[] = R"(Usage: norvane-demo-server [OPTION]...

Serves the Norvane demo on this machine: the product catalogue (verinfo.txt),
the demo product installers, stand-in pages for the page's links and shares
and the share link's QR code over HTTP on 127.0.0.1, and the statistics
collector over HTTPS on localhost, with a certificate authority made for
this run alone.

Once it listens it prints three lines on the standard output, the settings
a run of the installer program needs:
  NORVANE_CATALOGUE_URL=...
  NORVANE_COLLECTOR_URL=...
  NORVANE_CA_FILE=...
and then serves until SIGINT, SIGTERM or SIGHUP. Everything else - each
download, each hit the collector receives - goes to the standard error, one
line each.

Options:
  --ca-file FILE    write the demo CA certificate (PEM) to FILE; without it,
                    it goes into a temporary folder that is removed at exit
  --hits-file FILE  append the request target of every hit to FILE, one a line
  --cut-short ID    the download of product ID ends halfway, short of its length
  --wrong-hash ID   product ID's file does not match its SHA-256 in the catalogue
  --stall ID        the download of product ID stops halfway and sends nothing
                    more until the server stops
  --help            show this text
ID is a product's id in the page: vault, fortress, tidy, patcher, kidzone,
shield, guard or scout. The three fault options may be repeated.
)";

constexpr int kUsageError = 2;

int UsageError(const std::string& message) {
  std::fprintf(stderr, "norvane-demo-server: %s\nTry 'norvane-demo-server --help'.\n",
               message.c_str());
  return kUsageError;
}

// A private folder for the CA certificate when no file was named.
bool MakeTemporaryFolder(fs::path* folder) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") + "/norvane-demo-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return false;
  *folder = pattern;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  norvane_demo::DemoOptions options;
  std::string caFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) return UsageError("unknown option or missing value: " + arg);
    const std::string value = argv[++i];
    if (arg == "--ca-file") {
      caFile = value;
    } else if (arg == "--hits-file") {
      options.hitsFile = value;
    } else if (arg == "--cut-short" || arg == "--wrong-hash" || arg == "--stall") {
      const norvane_demo::DemoProduct* product = norvane_demo::DemoProductById(value);
      if (product == nullptr) return UsageError("no product has the id " + value);
      auto& set = arg == "--cut-short"    ? options.cutShort
                  : arg == "--wrong-hash" ? options.wrongHash
                                          : options.stall;
      set.insert(product->productIndex);
    } else {
      return UsageError("unknown option " + arg);
    }
  }

  // The stop signals are taken by sigwait below; blocked before any thread
  // starts, so that none of the server's threads receives them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // A client that hangs up mid-response must not end the server.
  std::signal(SIGPIPE, SIG_IGN);

  // The demo installer is built beside this program.
  const fs::path self = QuickKit::PathFromUtf8(QuickKit::GetProgramPath());
  options.installerFile = QuickKit::PathToUtf8(self.parent_path() / "norvane-demo-installer");

  fs::path temporaryFolder;
  if (caFile.empty()) {
    if (!MakeTemporaryFolder(&temporaryFolder)) {
      std::fprintf(stderr, "norvane-demo-server: cannot make a temporary folder\n");
      return 1;
    }
    caFile = QuickKit::PathToUtf8(temporaryFolder / "ca.pem");
  }
  std::error_code ignored;
  caFile = QuickKit::PathToUtf8(fs::absolute(QuickKit::PathFromUtf8(caFile), ignored));

  int status = 0;
  {
    norvane_demo::DemoServer server;
    std::string error;
    if (!server.Start(options, &error)) {
      std::fprintf(stderr, "norvane-demo-server: %s\n", error.c_str());
      status = 1;
    } else if (FAILED(QuickKit::WriteFileAtomically(caFile, server.CaCertificatePem()))) {
      std::fprintf(stderr, "norvane-demo-server: cannot write %s\n", caFile.c_str());
      status = 1;
    } else {
      std::printf("NORVANE_CATALOGUE_URL=%s\nNORVANE_COLLECTOR_URL=%s\nNORVANE_CA_FILE=%s\n",
                  server.CatalogueUrl().c_str(), server.CollectorUrl().c_str(), caFile.c_str());
      std::fflush(stdout);
      std::fprintf(stderr, "norvane-demo-server: serving the demo; stop with Ctrl+C\n");
      int received = 0;
      sigwait(&stopSignals, &received);
      std::fprintf(stderr, "norvane-demo-server: stopping (%s)\n", strsignal(received));
    }
    server.Stop();
  }
  if (!temporaryFolder.empty()) fs::remove_all(temporaryFolder, ignored);
  return status;
}
