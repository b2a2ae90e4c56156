// The demo server: the download site (catalogue, installers, link and
// share pages, QR code) over plain HTTP on 127.0.0.1, and the statistics
// collector over HTTPS on localhost with the demo's own CA. Each listens on
// a free port of its own and serves from cpp-httplib's worker threads;
// Start and Stop are called from one thread (the demo server's main).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "demo/demo_tls.h"

namespace httplib {
class Server;
class SSLServer;
struct Request;
struct Response;
}  // namespace httplib

namespace norvane_demo {

struct DemoOptions {
  std::string installerFile;  // the demo installer every product serves
  std::string hitsFile;       // when set, every hit's request target is appended
  // Faults for tests, by product index.
  std::set<std::int32_t> cutShort;   // the download stops halfway, connection closed
  std::set<std::int32_t> wrongHash;  // the file served differs from its SHA-256
  std::set<std::int32_t> stall;      // the download stops halfway and hangs
};

class DemoServer {
 public:
  DemoServer();
  ~DemoServer();
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  // Makes the CA, reads the installer and starts both listeners. False,
  // with a reason in error, when any of that fails.
  bool Start(const DemoOptions& options, std::string* error);
  // Ends stalled downloads and stops both listeners; waits for them.
  void Stop();

  std::string CatalogueUrl() const;  // http://127.0.0.1:PORT/.../verinfo.txt
  std::string CollectorUrl() const;  // https://localhost:PORT/
  std::string CaCertificatePem() const;

 private:
  void ServeInstaller(const httplib::Request& request, httplib::Response& response);
  void ServeHit(const httplib::Request& request, httplib::Response& response);
  void Log(const std::string& line);
  // Waits until Stop, for a stalled download.
  void WaitForStop();

  DemoOptions m_options;
  DemoTls m_tls;
  std::string m_installer;  // the demo installer's bytes
  std::string m_siteUrl;    // http://127.0.0.1:PORT
  std::string m_catalogue;
  std::string m_qrCode;
  std::uint16_t m_collectorPort = 0;
  std::unique_ptr<httplib::Server> m_site;
  std::unique_ptr<httplib::SSLServer> m_collector;
  std::thread m_siteThread;
  std::thread m_collectorThread;

  std::mutex m_lock;  // the standard error, the hits file, m_stopping
  std::condition_variable m_stopped;
  bool m_stopping = false;
};

}  // namespace norvane_demo
