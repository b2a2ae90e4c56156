// libcurl under net/internet.h.
//
// A transfer runs on a multi handle of its own and is pumped only from the
// calls of the thread that owns it: open and send pump until the headers of
// the final response are in, Read pumps until it has the bytes it was asked
// for. Bytes wait in a small buffer between the two; when the reader falls
// behind, the transfer is paused, so a download of any size holds at most
// about kMaxPendingBytes in memory. The pump looks at the session's
// TransferCancel between its poll slices, so a cancel from another thread
// ends a wait within kPollMs, in the connect phase as well.
//
// Proxies come from the environment (http_proxy, https_proxy, no_proxy:
// libcurl reads them itself), the Linux counterpart of the system's
// preconfigured proxy. Certificates are always verified against the system's
// store, plus the CA of NORVANE_CA_FILE when one is configured.
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/utsname.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "net/internet_os.h"
#include "support/ascii.h"
#include "support/config.h"
#include "support/text.h"

namespace QuickKit::internet_os {

struct Object {
  virtual ~Object() = default;
};

namespace {

constexpr std::size_t kMaxPendingBytes = 1 << 20;
// How long one wait for the socket lasts before the transfer is pumped
// again and the time-outs are checked.
constexpr int kPollMs = 100;
constexpr long kMaxRedirects = 10;
constexpr char kAllowedProtocols[] = "http,https,ftp";

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// What every transfer of a session shares: its settings and, through the
// share handle, kept-alive connections, DNS answers and TLS sessions.
struct SessionState {
  std::string userAgent;
  std::string caFile;
  std::uint32_t connectMs = kDefaultConnectTimeoutMs;
  std::uint32_t receiveMs = kDefaultReceiveTimeoutMs;
  // Set by the session's owner before its transfers start; read by the
  // pump of the thread that uses the session.
  std::shared_ptr<TransferCancel> cancel;
  CURLSH* share = nullptr;

  bool IsCancelled() const { return cancel != nullptr && cancel->IsCancelled(); }

  ~SessionState() {
    if (share != nullptr) curl_share_cleanup(share);
  }
};

struct Session : Object {
  std::shared_ptr<SessionState> state;
};

struct Connection : Object {
  std::shared_ptr<SessionState> state;
  std::string host;
  std::uint16_t port = 0;
};

struct Transfer : Object {
  std::shared_ptr<SessionState> state;
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  curl_slist* requestHeaders = nullptr;
  bool added = false;

  std::string pending;  // received, not yet read; from pendingPos on
  std::size_t pendingPos = 0;
  bool paused = false;
  bool headersDone = false;
  bool done = false;
  CURLcode result = CURLE_OK;
  bool activity = false;  // bytes came in since the last look

  // The header lines of the latest response, "Name: value" without CRLF.
  std::vector<std::string> headers;
  char errorText[CURL_ERROR_SIZE] = {};

  ~Transfer() override {
    if (added) curl_multi_remove_handle(multi, easy);
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (multi != nullptr) curl_multi_cleanup(multi);
    if (requestHeaders != nullptr) curl_slist_free_all(requestHeaders);
  }

  std::size_t Available() const { return pending.size() - pendingPos; }
};

HRESULT FromCurl(CURLcode code) {
  std::uint32_t error = ERROR_INTERNET_INTERNAL_ERROR;
  switch (code) {
    case CURLE_OK:
      return S_OK;
    case CURLE_OUT_OF_MEMORY:
      return E_OUTOFMEMORY;
    case CURLE_ABORTED_BY_CALLBACK:  // the pump's own mark for a cancel
      return kTransferCancelled;
    case CURLE_UNSUPPORTED_PROTOCOL:
      error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
      break;
    case CURLE_URL_MALFORMAT:
      error = ERROR_INTERNET_INVALID_URL;
      break;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
      error = ERROR_INTERNET_NAME_NOT_RESOLVED;
      break;
    case CURLE_COULDNT_CONNECT:
      error = ERROR_INTERNET_CANNOT_CONNECT;
      break;
    case CURLE_OPERATION_TIMEDOUT:
      error = ERROR_INTERNET_TIMEOUT;
      break;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
      error = ERROR_INTERNET_CONNECTION_RESET;
      break;
    case CURLE_SEND_ERROR:
      error = ERROR_INTERNET_CONNECTION_ABORTED;
      break;
    case CURLE_WEIRD_SERVER_REPLY:
      error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
      break;
    case CURLE_TOO_MANY_REDIRECTS:
      error = ERROR_HTTP_REDIRECT_FAILED;
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
      error = ERROR_INTERNET_INVALID_CA;
      break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
      error = ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
      break;
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_COULDNT_USE_REST:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_LOGIN_DENIED:
      // WinINet reports an ftp server's refusal as an extended error.
      error = ERROR_INTERNET_EXTENDED_ERROR;
      break;
    default:
      break;
  }
  return HRESULT_FROM_WIN32(error);
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  // Held back, and delivered again by curl once the reader has caught up.
  if (transfer->Available() >= kMaxPendingBytes) {
    transfer->paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (transfer->pendingPos == transfer->pending.size()) {
    transfer->pending.clear();
    transfer->pendingPos = 0;
  }
  try {
    transfer->pending.append(data, bytes);
  } catch (const std::bad_alloc&) {
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  // Body bytes mean the headers are complete (ftp has none at all).
  transfer->headersDone = true;
  transfer->activity = true;
  return bytes;
}

bool IsFollowedRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool HasHeader(const std::vector<std::string>& headers, std::string_view name);

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  transfer->activity = true;
  std::string_view line(data, bytes);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.rfind("HTTP/", 0) == 0) {
    transfer->headers.clear();  // a new response begins (after a redirect or a 100)
    return bytes;
  }
  if (!line.empty()) {
    transfer->headers.emplace_back(line);
    return bytes;
  }
  // The blank line ends a response's headers: the final one unless curl
  // goes on to an interim answer or a redirect.
  long status = 0;
  curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
  const bool interim = status != 0 && status < 200;
  const bool redirect = IsFollowedRedirect(status) && HasHeader(transfer->headers, "Location");
  if (status != 0 && !interim && !redirect) transfer->headersDone = true;
  return bytes;
}

bool NameMatches(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  return StartsWithIgnoringAsciiCase(line, name);
}

const std::string* FindHeader(const std::vector<std::string>& headers, std::string_view name) {
  for (const std::string& line : headers) {
    if (NameMatches(line, name)) return &line;
  }
  return nullptr;
}

bool HasHeader(const std::vector<std::string>& headers, std::string_view name) {
  return FindHeader(headers, name) != nullptr;
}

CURLcode AddExtraCa(CURL*, void* sslContext, void* user) {
  const auto* file = static_cast<const std::string*>(user);
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  return X509_STORE_load_file(store, file->c_str()) == 1 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
}

bool IsConnected(Transfer* transfer) {
  curl_off_t connected = 0;
  curl_easy_getinfo(transfer->easy, CURLINFO_CONNECT_TIME_T, &connected);
  return connected > 0;
}

// Pumps the transfer until ready() holds or it has ended. Once connected,
// a wait of receiveMs without a single byte ends the transfer as timed out,
// as WinINet's receive time-out does; the time the reader spends away
// between calls does not count. A cancel ends it, before the first slice
// or between two.
template <typename Ready>
void Pump(Transfer* transfer, Ready ready) {
  using Clock = std::chrono::steady_clock;
  auto lastActivity = Clock::now();
  const auto limit = std::chrono::milliseconds(transfer->state->receiveMs);
  while (!ready() && !transfer->done) {
    if (transfer->state->IsCancelled()) {
      transfer->done = true;
      transfer->result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    transfer->activity = false;
    int running = 0;
    const CURLMcode code = curl_multi_perform(transfer->multi, &running);
    if (code != CURLM_OK) {
      transfer->done = true;
      transfer->result = code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_RECV_ERROR;
      break;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(transfer->multi, &queued)) {
      if (message->msg == CURLMSG_DONE) {
        transfer->done = true;
        transfer->result = message->data.result;
      }
    }
    if (ready() || transfer->done) break;
    const auto now = Clock::now();
    if (transfer->activity) {
      lastActivity = now;
    } else if (now - lastActivity > limit && IsConnected(transfer)) {
      transfer->done = true;
      transfer->result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    curl_multi_poll(transfer->multi, nullptr, 0, kPollMs, nullptr);
  }
}

template <typename T>
bool SetOption(CURL* easy, CURLoption option, T value) {
  return curl_easy_setopt(easy, option, value) == CURLE_OK;
}

// A transfer of url with the session's settings, not started yet.
HRESULT NewTransfer(const std::shared_ptr<SessionState>& state, const std::string& url,
                    std::unique_ptr<Transfer>* out) {
  auto transfer = std::make_unique<Transfer>();
  transfer->state = state;
  transfer->easy = curl_easy_init();
  transfer->multi = curl_multi_init();
  if (transfer->easy == nullptr || transfer->multi == nullptr) return E_OUTOFMEMORY;
  CURL* easy = transfer->easy;
  bool ok = SetOption(easy, CURLOPT_URL, url.c_str()) &&
            SetOption(easy, CURLOPT_USERAGENT, state->userAgent.c_str()) &&
            SetOption(easy, CURLOPT_NOSIGNAL, 1L) &&
            SetOption(easy, CURLOPT_PROTOCOLS_STR, kAllowedProtocols) &&
            SetOption(easy, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols) &&
            SetOption(easy, CURLOPT_FOLLOWLOCATION, 1L) &&
            SetOption(easy, CURLOPT_MAXREDIRS, kMaxRedirects) &&
            SetOption(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(state->connectMs)) &&
            SetOption(easy, CURLOPT_SSL_VERIFYPEER, 1L) &&
            SetOption(easy, CURLOPT_SSL_VERIFYHOST, 2L) &&
            SetOption(easy, CURLOPT_ERRORBUFFER, transfer->errorText) &&
            SetOption(easy, CURLOPT_WRITEFUNCTION, &OnBody) &&
            SetOption(easy, CURLOPT_WRITEDATA, transfer.get()) &&
            SetOption(easy, CURLOPT_HEADERFUNCTION, &OnHeader) &&
            SetOption(easy, CURLOPT_HEADERDATA, transfer.get()) &&
            SetOption(easy, CURLOPT_SHARE, state->share);
  if (ok && !state->caFile.empty()) {
    ok = SetOption(easy, CURLOPT_SSL_CTX_FUNCTION, &AddExtraCa) &&
         SetOption(easy, CURLOPT_SSL_CTX_DATA, &state->caFile);
  }
  if (!ok) return HRESULT_FROM_WIN32(ERROR_INTERNET_INTERNAL_ERROR);
  *out = std::move(transfer);
  return S_OK;
}

// Starts the transfer and waits for its final response's headers.
HRESULT StartAndWaitForHeaders(Transfer* transfer) {
  if (curl_multi_add_handle(transfer->multi, transfer->easy) != CURLM_OK) {
    return HRESULT_FROM_WIN32(ERROR_INTERNET_INTERNAL_ERROR);
  }
  transfer->added = true;
  Pump(transfer, [transfer] { return transfer->headersDone; });
  if (transfer->headersDone || transfer->result == CURLE_OK) return S_OK;
  // A proxy that refused the tunnel still answered with a status; the
  // status rules decide about it.
  long connectCode = 0;
  curl_easy_getinfo(transfer->easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
  if (connectCode == 407) return S_OK;
  return FromCurl(transfer->result);
}

Transfer* AsTransfer(Object* object) { return dynamic_cast<Transfer*>(object); }

bool IsHttp(Transfer* transfer) {
  const char* scheme = nullptr;
  if (curl_easy_getinfo(transfer->easy, CURLINFO_SCHEME, &scheme) != CURLE_OK || !scheme) {
    return false;
  }
  return EqualsIgnoringAsciiCase(scheme, "http") || EqualsIgnoringAsciiCase(scheme, "https");
}

std::string HeaderName(Header header) {
  switch (header) {
    case Header::ContentLength:
      return "Content-Length";
    case Header::ContentDisposition:
      return "Content-Disposition";
    case Header::Location:
      return "Location";
    case Header::ContentRange:
      return "Content-Range";
    case Header::ETag:
      return "ETag";
    case Header::LastModified:
      return "Last-Modified";
    case Header::RetryAfter:
      return "Retry-After";
    case Header::StatusCode:
      break;
  }
  return {};
}

const HRESULT kHeaderNotFound = HRESULT_FROM_WIN32(ERROR_HTTP_HEADER_NOT_FOUND);

}  // namespace

UserAgentParts GetUserAgentParts() {
  UserAgentParts parts;
  parts.system = "Linux";
  utsname name{};
  if (uname(&name) == 0) {
    const char* p = name.release;
    const auto number = [&p] {
      unsigned value = 0;
      while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<unsigned>(*p++ - '0');
      return value;
    };
    parts.major = number();
    if (*p == '.') {
      ++p;
      parts.minor = number();
    }
  }
  const LanguageId locale = GetUserDefaultUiLanguage();
  parts.language = GetLocaleIsoLanguage(locale);
  // The territory of "ll_CC.charset@modifier"; the C locale speaks US English.
  const std::size_t underscore = locale.find('_');
  if (underscore != std::string::npos) {
    for (std::size_t i = underscore + 1; i < locale.size() && locale[i] != '.' && locale[i] != '@';
         ++i) {
      parts.country += AsciiUpper(locale[i]);
    }
  } else if (locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0) {
    parts.country = "US";
  }
  return parts;
}

void Close(Object* object) { delete object; }

HRESULT OpenSession(const std::string& userAgent, Object** session) {
  InitCurlOnce();
  auto result = std::make_unique<Session>();
  result->state = std::make_shared<SessionState>();
  result->state->userAgent = userAgent;
  result->state->caFile = ExtraCaFile();
  CURLSH* share = curl_share_init();
  if (share == nullptr) return E_OUTOFMEMORY;
  result->state->share = share;
  // One thread uses a session at a time, so the share needs no locks.
  for (curl_lock_data data :
       {CURL_LOCK_DATA_CONNECT, CURL_LOCK_DATA_DNS, CURL_LOCK_DATA_SSL_SESSION}) {
    if (curl_share_setopt(share, CURLSHOPT_SHARE, data) != CURLSHE_OK) {
      return HRESULT_FROM_WIN32(ERROR_INTERNET_INTERNAL_ERROR);
    }
  }
  *session = result.release();
  return S_OK;
}

HRESULT SetTimeouts(Object* session, std::uint32_t connectMs, std::uint32_t receiveMs) {
  auto* s = dynamic_cast<Session*>(session);
  if (s == nullptr) return E_HANDLE;
  s->state->connectMs = connectMs;
  s->state->receiveMs = receiveMs;
  return S_OK;
}

void SetCancel(Object* session, std::shared_ptr<TransferCancel> cancel) {
  if (auto* s = dynamic_cast<Session*>(session)) s->state->cancel = std::move(cancel);
}

HRESULT OpenUrl(Object* session, const std::string& url, const std::string& headers,
                bool passiveFtp, Object** transfer) {
  auto* s = dynamic_cast<Session*>(session);
  if (s == nullptr) return E_HANDLE;
  std::unique_ptr<Transfer> t;
  HRESULT hr = NewTransfer(s->state, url, &t);
  if (FAILED(hr)) return hr;
  if (!headers.empty()) {
    hr = AddRequestHeaders(t.get(), headers);
    if (FAILED(hr)) return hr;
  }
  // Passive is curl's default; "-" makes it active on the same interface.
  if (!passiveFtp && !SetOption(t->easy, CURLOPT_FTPPORT, "-")) {
    return HRESULT_FROM_WIN32(ERROR_INTERNET_INTERNAL_ERROR);
  }
  hr = StartAndWaitForHeaders(t.get());
  if (FAILED(hr)) return hr;
  *transfer = t.release();
  return S_OK;
}

HRESULT Connect(Object* session, const std::string& host, std::uint16_t port, Object** connection) {
  auto* s = dynamic_cast<Session*>(session);
  if (s == nullptr) return E_HANDLE;
  auto c = std::make_unique<Connection>();
  c->state = s->state;
  c->host = host;
  c->port = port;
  *connection = c.release();
  return S_OK;
}

HRESULT OpenRequest(Object* connection, const std::string& verb, const std::string& objectName,
                    bool secure, Object** request) {
  auto* c = dynamic_cast<Connection*>(connection);
  if (c == nullptr) return E_HANDLE;
  // IPv6 literals need their brackets back inside an URL.
  const bool ipv6 = c->host.find(':') != std::string::npos;
  std::string url = secure ? "https://" : "http://";
  url += ipv6 ? "[" + c->host + "]" : c->host;
  url += ':' + std::to_string(c->port) + '/' + objectName;
  std::unique_ptr<Transfer> t;
  const HRESULT hr = NewTransfer(c->state, url, &t);
  if (FAILED(hr)) return hr;
  // An empty body, like a request sent without one, and no form type.
  t->requestHeaders = curl_slist_append(nullptr, "Content-Type:");
  if (t->requestHeaders == nullptr) return E_OUTOFMEMORY;
  const bool ok = SetOption(t->easy, CURLOPT_CUSTOMREQUEST, verb.c_str()) &&
                  SetOption(t->easy, CURLOPT_POSTFIELDS, "") &&
                  SetOption(t->easy, CURLOPT_POSTFIELDSIZE, 0L) &&
                  SetOption(t->easy, CURLOPT_HTTPHEADER, t->requestHeaders);
  if (!ok) return HRESULT_FROM_WIN32(ERROR_INTERNET_INTERNAL_ERROR);
  *request = t.release();
  return S_OK;
}

HRESULT AddRequestHeaders(Object* request, const std::string& headers) {
  Transfer* t = AsTransfer(request);
  if (t == nullptr) return E_HANDLE;
  std::size_t start = 0;
  while (start < headers.size()) {
    std::size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) end = headers.size();
    if (end > start) {
      curl_slist* list =
          curl_slist_append(t->requestHeaders, headers.substr(start, end - start).c_str());
      if (list == nullptr) return E_OUTOFMEMORY;
      t->requestHeaders = list;
    }
    start = end + 2;
  }
  return SetOption(t->easy, CURLOPT_HTTPHEADER, t->requestHeaders)
             ? S_OK
             : HRESULT_FROM_WIN32(ERROR_INTERNET_INTERNAL_ERROR);
}

HRESULT SendRequest(Object* request) {
  Transfer* t = AsTransfer(request);
  if (t == nullptr) return E_HANDLE;
  if (t->added) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
  return StartAndWaitForHeaders(t);
}

HRESULT ReadData(Object* transfer, void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  *bytesRead = 0;
  Transfer* t = AsTransfer(transfer);
  if (t == nullptr || !t->added) return E_HANDLE;
  auto* out = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    const std::size_t take = std::min<std::size_t>(t->Available(), count - done);
    if (take != 0) {
      std::memcpy(out + done, t->pending.data() + t->pendingPos, take);
      t->pendingPos += take;
      done += static_cast<std::uint32_t>(take);
      continue;
    }
    if (t->done) break;
    if (t->paused) {
      t->paused = false;
      curl_easy_pause(t->easy, CURLPAUSE_CONT);  // may deliver at once
      if (t->Available() != 0) continue;
    }
    Pump(t, [t] { return t->Available() != 0; });
  }
  *bytesRead = done;
  // An error is reported once the bytes before it have been read.
  if (done == 0 && t->done && t->result != CURLE_OK) return FromCurl(t->result);
  return S_OK;
}

HRESULT WriteData(Object*, const void*, std::uint32_t, std::uint32_t* bytesWritten) {
  // Requests carry no body here; curl would need it before the send.
  *bytesWritten = 0;
  return HRESULT_FROM_WIN32(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

HRESULT QueryNumber(Object* transfer, Header header, std::uint32_t* value) {
  *value = 0;
  Transfer* t = AsTransfer(transfer);
  if (t == nullptr || !t->added || !IsHttp(t)) return kHeaderNotFound;
  if (header == Header::StatusCode) {
    long status = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status == 0) curl_easy_getinfo(t->easy, CURLINFO_HTTP_CONNECTCODE, &status);
    if (status <= 0) return kHeaderNotFound;
    *value = static_cast<std::uint32_t>(status);
    return S_OK;
  }
  if (header == Header::ContentLength) {
    curl_off_t length = -1;
    curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    // A length beyond 32 bits cannot be told as one: it counts as unknown.
    if (length < 0 || length > std::numeric_limits<std::uint32_t>::max()) return kHeaderNotFound;
    *value = static_cast<std::uint32_t>(length);
    return S_OK;
  }
  return kHeaderNotFound;
}

HRESULT QueryText(Object* transfer, Header header, std::string* text) {
  text->clear();
  Transfer* t = AsTransfer(transfer);
  if (t == nullptr || !t->added || header == Header::StatusCode) return kHeaderNotFound;
  const std::string* line = FindHeader(t->headers, HeaderName(header));
  if (line == nullptr) return kHeaderNotFound;
  std::string_view value(*line);
  value.remove_prefix(value.find(':') + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  text->assign(value);
  return S_OK;
}

// There is no credentials dialog on this port: a 407 is final.
bool ProxyAuthDialog(WindowHandle, Object*) { return false; }

HRESULT Resend(Object*) { return E_NOTIMPL; }

}  // namespace QuickKit::internet_os
