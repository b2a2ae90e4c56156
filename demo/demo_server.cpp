#include "demo/demo_server.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include "catalogue/catalogue_tables.h"
#include "demo/demo_products.h"
#include "demo/demo_site.h"
#include "demo/qr_png.h"
#include "support/digest.h"

namespace norvane_demo {
namespace {

constexpr char kLoopback[] = "127.0.0.1";
constexpr std::size_t kPiece = 64 * 1024;

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  *bytes = content.str();
  return !file.bad();
}

// A small page for an address the catalogue hands out: the program opens
// it in the user's browser. what is one of the demo's own texts, never a
// text from the request.
std::string StandInPage(std::string_view what) {
  std::string page =
      "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<title>Norvane demo</title></head>\n<body style=\"font-family: sans-serif; margin: 3em\">"
      "<h1>Norvane demo</h1>\n<p>";
  page.append(what);
  page +=
      "</p>\n<p>The demo catalogue points here. A real catalogue leads to the maker's site "
      "instead.</p>\n</body></html>\n";
  return page;
}

// One readable line for a hit: "event Runtime / StartInstall", "session
// start", with " (x3)" when identical events were merged.
std::string DescribeHit(const httplib::Request& request) {
  std::string line;
  if (request.has_param("sc")) {
    line = "session " + request.get_param_value("sc");
  } else if (request.get_param_value("t") == "event") {
    line = "event " + request.get_param_value("ec") + " / " + request.get_param_value("ea");
    if (request.has_param("el")) line += " / " + request.get_param_value("el");
  } else {
    line = "hit " + request.target;
  }
  const std::string count = request.get_param_value("ev");
  if (!count.empty() && count != "1") line += " (x" + count + ")";
  return line;
}

}  // namespace

DemoServer::DemoServer() = default;

DemoServer::~DemoServer() { Stop(); }

bool DemoServer::Start(const DemoOptions& options, std::string* error) {
  m_options = options;
  if (!ReadWholeFile(m_options.installerFile, &m_installer) || m_installer.empty()) {
    *error = "cannot read the demo installer " + m_options.installerFile;
    return false;
  }
  if (!MakeDemoTls(&m_tls, error)) return false;

  m_site = std::make_unique<httplib::Server>();
  m_collector =
      std::make_unique<httplib::SSLServer>(m_tls.serverCertificate.get(), m_tls.serverKey.get());
  if (!m_collector->is_valid()) {
    *error = "cannot set up TLS for the collector";
    return false;
  }
  // An idle keep-alive connection holds a worker until it times out; a
  // short time-out keeps Stop quick.
  m_site->set_keep_alive_timeout(1);
  m_collector->set_keep_alive_timeout(1);
  const int sitePort = m_site->bind_to_any_port(kLoopback);
  const int collectorPort = m_collector->bind_to_any_port(kLoopback);
  if (sitePort <= 0 || collectorPort <= 0) {
    *error = "cannot listen on 127.0.0.1";
    return false;
  }
  m_siteUrl = std::string("http://") + kLoopback + ":" + std::to_string(sitePort);
  m_collectorPort = static_cast<std::uint16_t>(collectorPort);
  m_catalogue = DemoCatalogueText(m_siteUrl, QuickKit::Sha256Hex(m_installer));
  m_qrCode = QrPng(EncodeQr(ShareLink(m_siteUrl)));

  m_site->Get(std::string(CataloguePath()),
              [this](const httplib::Request&, httplib::Response& res) {
                Log("site: catalogue");
                res.set_content(m_catalogue, "text/plain; charset=utf-8");
              });
  m_site->Get(
      std::string(kProductsPath) + "(.+)",
      [this](const httplib::Request& req, httplib::Response& res) { ServeInstaller(req, res); });
  m_site->Get(
      std::string(kLinksPath) + "(.+)", [](const httplib::Request& req, httplib::Response& res) {
        for (std::string_view id : kPageLinkIds) {
          if (req.matches[1].str() == id) {
            res.set_content(
                StandInPage("This page stands in for the page's link \"" + std::string(id) + "\"."),
                "text/html; charset=utf-8");
            return;
          }
        }
        res.status = 404;
      });
  m_site->Get(kSharePath, [](const httplib::Request&, httplib::Response& res) {
    res.set_content(StandInPage("This is the page the share link leads to."),
                    "text/html; charset=utf-8");
  });
  m_site->Get(std::string(kShareNetworkPath) + "(.+)", [](const httplib::Request& req,
                                                          httplib::Response& res) {
    for (std::string_view network : kShareNetworks) {
      if (req.matches[1].str() == network) {
        res.set_content(
            StandInPage("Here the share link would be shared on " + std::string(network) + "."),
            "text/html; charset=utf-8");
        return;
      }
    }
    res.status = 404;
  });
  m_site->Get(kQrCodePath, [this](const httplib::Request&, httplib::Response& res) {
    Log("site: QR code");
    res.set_content(m_qrCode, "image/png");
  });

  const auto hit = [this](const httplib::Request& req, httplib::Response& res) {
    ServeHit(req, res);
  };
  m_collector->Get("/collect", hit);
  m_collector->Post("/collect", hit);

  m_siteThread = std::thread([this] { m_site->listen_after_bind(); });
  m_collectorThread = std::thread([this] { m_collector->listen_after_bind(); });
  // A Stop that came before the accept loops run would be missed.
  while (!m_site->is_running() || !m_collector->is_running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void DemoServer::Stop() {
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_stopping = true;
  }
  m_stopped.notify_all();
  if (m_site) m_site->stop();
  if (m_collector) m_collector->stop();
  if (m_siteThread.joinable()) m_siteThread.join();
  if (m_collectorThread.joinable()) m_collectorThread.join();
}

std::string DemoServer::CatalogueUrl() const { return m_siteUrl + std::string(CataloguePath()); }

std::string DemoServer::CollectorUrl() const {
  return "https://localhost:" + std::to_string(m_collectorPort) + "/";
}

std::string DemoServer::CaCertificatePem() const {
  return CertificatePem(m_tls.caCertificate.get());
}

void DemoServer::ServeInstaller(const httplib::Request& request, httplib::Response& response) {
  const DemoProduct* product = nullptr;
  for (const DemoProduct& candidate : kDemoProducts) {
    if (request.matches[1].str() == candidate.installerFile) product = &candidate;
  }
  if (product == nullptr) {
    response.status = 404;
    return;
  }
  const std::int32_t index = product->productIndex;
  auto body = std::make_shared<std::string>(m_installer);
  std::string note;
  if (m_options.wrongHash.count(index) != 0) {
    *body += "\nAltered by norvane-demo-server --wrong-hash.\n";
    note = ", altered (--wrong-hash)";
  }
  const bool cutShort = m_options.cutShort.count(index) != 0;
  const bool stall = m_options.stall.count(index) != 0;
  if (cutShort) note = ", cut short halfway (--cut-short)";
  if (stall) note = ", stalled halfway (--stall)";
  Log("site: " + std::string(product->installerFile) + " for " + std::string(product->name) + note);

  if (!cutShort && !stall) {
    response.set_content(*body, "application/octet-stream");
    return;
  }
  // The whole length is announced, half of it is sent; then the connection
  // is dropped, or held silent until the server stops.
  const std::size_t half = body->size() / 2;
  response.set_content_provider(
      body->size(), "application/octet-stream",
      [this, body, half, stall](std::size_t offset, std::size_t, httplib::DataSink& sink) {
        if (offset < half) {
          return sink.write(body->data() + offset, std::min(kPiece, half - offset));
        }
        if (stall) WaitForStop();
        return false;
      });
}

void DemoServer::ServeHit(const httplib::Request& request, httplib::Response& response) {
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    std::fprintf(stderr, "collector: %s\n", DescribeHit(request).c_str());
    std::fflush(stderr);
    if (!m_options.hitsFile.empty()) {
      std::ofstream hits(m_options.hitsFile, std::ios::app | std::ios::binary);
      hits << request.target << "\n";
      hits.flush();
      if (!hits)
        std::fprintf(stderr, "collector: cannot append to %s\n", m_options.hitsFile.c_str());
    }
  }
  response.status = 200;
}

void DemoServer::Log(const std::string& line) {
  const std::lock_guard<std::mutex> lock(m_lock);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

void DemoServer::WaitForStop() {
  std::unique_lock<std::mutex> lock(m_lock);
  m_stopped.wait(lock, [this] { return m_stopping; });
}

}  // namespace norvane_demo
