// HTTP session, URL streams and the secure request of the statistics.
//
// Four small objects over the platform's HTTP client (WinINet on Windows,
// libcurl on Linux): a session that carries the program's user agent,
// InternetStream for downloading an URL, a connection to the collector and
// HttpRequest for its POST. The rules - status results, the proxy
// authentication loop, Stat's name and size, the short-body check - live
// here once; the per-OS files only make the calls (internet_os.h).
//
// Each object is used by one thread at a time: the UI thread for the
// catalogue and the QR code, the installer's thread for product downloads
// (each with its own session), the statistics sender for hits. The one
// exception is the session's TransferCancel, which another thread sets to
// end a transfer that waits on a stalled server.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/internet_errors.h"
#include "net/seq_stream.h"
#include "net/transfer_cancel.h"
#include "support/scoped_handle.h"
#include "support/window_handle.h"

namespace QuickKit {

namespace internet_os {
struct Object;  // a session, connection or transfer of the platform
}  // namespace internet_os

struct InternetObjectTraits {
  using Handle = internet_os::Object*;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle);
};
using ScopedInternetObject = ScopedHandle<InternetObjectTraits>;

// WinINet's own defaults, which the program never changes on Windows. The
// Linux port applies the same limits, so that a stalled server cannot hold
// a thread for ever there either.
constexpr std::uint32_t kDefaultConnectTimeoutMs = 60000;
// Longest wait for the next bytes of a response.
constexpr std::uint32_t kDefaultReceiveTimeoutMs = 30000;

// The proxy-authentication dialog is shown at most this often per request.
constexpr int kMaxProxyAuthDialogs = 7;

// The response headers a caller can read (InternetStream::ResponseHeader).
enum class HttpHeader {
  StatusCode,
  ContentLength,
  ContentDisposition,
  Location,
  ContentRange,
  ETag,
  LastModified,
  RetryAfter,
};

// The owner for system dialogs of one call: none at all when the session
// allows no dialogs; otherwise a window, possibly null (the desktop).
using DialogOwner = std::optional<WindowHandle>;

class InternetSession {
 public:
  explicit InternetSession(bool allowUi = true, WindowHandle parentWindow = nullptr);

  // Builds the user agent and opens the platform session. Returns
  // HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED), changing nothing, when it
  // is open already.
  HRESULT Open();
  bool IsOpen() const { return m_handle.IsValid(); }
  void Close() { m_handle.Reset(); }

  // Shorter limits than the defaults, for tests of stalled servers. The
  // program itself never calls this.
  HRESULT SetTimeouts(std::uint32_t connectMs, std::uint32_t receiveMs);

  // The stop of this session's transfers. Set it before the first open:
  // streams, connections and requests take it when they are opened. Once it
  // is cancelled, every open, send and read made on the session fails with
  // kTransferCancelled, a waiting one within a wait slice.
  void SetCancel(std::shared_ptr<TransferCancel> cancel);
  const std::shared_ptr<TransferCancel>& CancelHook() const { return m_cancel; }
  bool IsCancelled() const { return m_cancel != nullptr && m_cancel->IsCancelled(); }

  bool AllowUi() const { return m_allowUi; }
  WindowHandle ParentWindow() const { return m_parentWindow; }
  internet_os::Object* Handle() const { return m_handle.Get(); }

  // The owner rule of every open: the explicit parent, else the session's
  // parent window; no owner at all when dialogs are not allowed.
  DialogOwner OwnerFor(WindowHandle parent) const;

 private:
  ScopedInternetObject m_handle;
  bool m_allowUi;
  WindowHandle m_parentWindow;
  std::shared_ptr<TransferCancel> m_cancel;
};

class InternetStream : public IStream {
 public:
  InternetStream() = default;
  InternetStream(const InternetStream&) = delete;
  InternetStream& operator=(const InternetStream&) = delete;

  // GET of an URL (http, https, ftp). Replaces and closes an earlier
  // transfer. The status of the response decides the result (CheckStatus);
  // after a failed status the response stays open for its headers.
  HRESULT OpenUrlStream(InternetSession* session, const std::string& url, WindowHandle parent);

  // Request headers ("Name: value\r\n"...) sent with every later open of
  // this stream; empty for none.
  void SetRequestHeaders(std::string headers) { m_requestHeaders = std::move(headers); }

  // The status of the open response, 0 when it has none (ftp, no response).
  std::uint32_t HttpStatus() const;
  // A header of the open response as text; a failure when it has none.
  HRESULT ResponseHeader(HttpHeader header, std::string* text) const;

  // S_OK only when the full count arrived and it is not 0; S_FALSE when
  // fewer bytes arrived (0 at the end). A body that ends before the length
  // its response announced fails with ERROR_INTERNET_CONNECTION_RESET
  // instead of reporting its end.
  HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
  HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override;

  // Name: Content-Disposition's "filename=" rest, else the Location rule,
  // else the name kept from the URL. Size: Content-Length, all ones when
  // the response has none. kTransferCancelled once the session's transfers
  // are cancelled: what the response said is no longer to be relied on.
  HRESULT Stat(StreamStat* stat, std::uint32_t flags) override;

  void Close();
  internet_os::Object* Handle() const { return m_handle.Get(); }
  const std::string& Name() const { return m_name; }

 protected:
  // Takes a freshly opened transfer and learns its announced length.
  void Attach(internet_os::Object* handle);
  void LearnAnnouncedLength();
  bool IsCancelled() const { return m_cancel != nullptr && m_cancel->IsCancelled(); }

  ScopedInternetObject m_handle;
  std::string m_name;
  // The session's stop, taken at the open.
  std::shared_ptr<TransferCancel> m_cancel;

 private:
  std::string m_requestHeaders;
  std::optional<std::uint64_t> m_announcedLength;
  std::uint64_t m_delivered = 0;
};

class HttpConnection {
 public:
  HttpConnection() = default;
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // A secure connection to the configured collector (CollectorUrl()).
  HRESULT Connect(InternetSession* session);
  // The same to an explicit host and port.
  HRESULT Connect(InternetSession* session, const std::string& host, std::uint16_t port);

  InternetSession* Session() const { return m_session; }
  internet_os::Object* Handle() const { return m_handle.Get(); }
  bool Secure() const { return m_secure; }
  // Request headers ("Name: value\r\n"...) added to every request sent on
  // this connection.
  std::string extraHeaders;

 private:
  InternetSession* m_session = nullptr;
  ScopedInternetObject m_handle;
  bool m_secure = false;
};

// The statistics POST: OpenRequest, Send, then Read the response.
class HttpRequest : public InternetStream {
 public:
  // objectName is the request target without its leading "/".
  HRESULT OpenRequest(HttpConnection* connection, const std::string& objectName);
  HRESULT Send();

 private:
  HttpConnection* m_connection = nullptr;
};

// --- The rules, shared by both ports ---

// The result for an HTTP status: below 400 S_OK; 401 and 403
// E_ACCESSDENIED; 404 and 410 ERROR_FILE_NOT_FOUND; any other E_FAIL. 407
// is handled by CheckStatus before this.
HRESULT StatusToResult(std::uint32_t status);

// Reads the status of a transfer and turns it into a result. A status that
// cannot be read (ftp, a connection) counts as success. A 407 asks the
// owner for proxy credentials and resends, at most kMaxProxyAuthDialogs
// times; without an owner, or when the dialog is not answered with a retry,
// it gives E_ACCESSDENIED.
HRESULT CheckStatus(internet_os::Object* handle, const DialogOwner& owner);

// The name a stream keeps of its URL: after the first '/' up to, not
// including, the first '?' (the whole text when it has neither).
std::string NameFromUrl(std::string_view url);

// "Unknown (<system> <major>.<minor>; <language>-<country>)".
std::string FormatUserAgent(std::string_view system, unsigned major, unsigned minor,
                            std::string_view language, std::string_view country);

// The user agent this machine sends.
std::string BuildUserAgent();

}  // namespace QuickKit
