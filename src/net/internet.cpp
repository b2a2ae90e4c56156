#include "net/internet.h"

#include <string>
#include <utility>

#include "net/internet_os.h"
#include "support/config.h"

namespace QuickKit {

void InternetObjectTraits::Close(Handle handle) { internet_os::Close(handle); }

// --- InternetSession ---

InternetSession::InternetSession(bool allowUi, WindowHandle parentWindow)
    : m_allowUi(allowUi), m_parentWindow(parentWindow) {}

HRESULT InternetSession::Open() {
  if (m_handle.IsValid()) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  internet_os::Object* session = nullptr;
  const HRESULT hr = internet_os::OpenSession(BuildUserAgent(), &session);
  if (FAILED(hr)) return hr;
  m_handle.Reset(session);
  if (m_cancel != nullptr) internet_os::SetCancel(session, m_cancel);
  return S_OK;
}

void InternetSession::SetCancel(std::shared_ptr<TransferCancel> cancel) {
  m_cancel = std::move(cancel);
  if (m_handle.IsValid()) internet_os::SetCancel(m_handle.Get(), m_cancel);
}

HRESULT InternetSession::SetTimeouts(std::uint32_t connectMs, std::uint32_t receiveMs) {
  if (!m_handle.IsValid()) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
  return internet_os::SetTimeouts(m_handle.Get(), connectMs, receiveMs);
}

DialogOwner InternetSession::OwnerFor(WindowHandle parent) const {
  if (!m_allowUi) return std::nullopt;
  return parent != nullptr ? parent : m_parentWindow;
}

// --- InternetStream ---

HRESULT InternetStream::OpenUrlStream(InternetSession* session, const std::string& url,
                                      WindowHandle parent) {
  if (session == nullptr || !session->IsOpen()) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
  m_cancel = session->CancelHook();
  internet_os::Object* transfer = nullptr;
  HRESULT hr = IsCancelled() ? kTransferCancelled : E_FAIL;
  // ftp goes passive first: it passes more firewalls. Active mode is the
  // second try, and the only one for every other scheme.
  if (!IsCancelled() && url.find("ftp://") != std::string::npos) {
    hr = internet_os::OpenUrl(session->Handle(), url, m_requestHeaders, true, &transfer);
  }
  if (transfer == nullptr) {
    if (!IsCancelled()) {
      hr = internet_os::OpenUrl(session->Handle(), url, m_requestHeaders, false, &transfer);
    }
    if (IsCancelled()) hr = kTransferCancelled;
    if (FAILED(hr)) {
      if (transfer != nullptr) internet_os::Close(transfer);
      Close();  // what an earlier open left must not be read as this URL's body
      return hr;
    }
  }
  Attach(transfer);
  m_name = NameFromUrl(url);
  hr = CheckStatus(m_handle.Get(), session->OwnerFor(parent));
  // A status that could not be read counts as success: after a cancel that
  // would let a dead transfer pass.
  if (IsCancelled()) return kTransferCancelled;
  if (SUCCEEDED(hr)) LearnAnnouncedLength();
  return hr;
}

void InternetStream::Attach(internet_os::Object* handle) {
  m_handle.Reset(handle);
  m_announcedLength.reset();
  m_delivered = 0;
}

void InternetStream::LearnAnnouncedLength() {
  // Read as text, so that lengths beyond 32 bits are checked too.
  std::string text;
  if (FAILED(internet_os::QueryText(m_handle.Get(), internet_os::Header::ContentLength, &text))) {
    return;
  }
  std::uint64_t length = 0;
  bool any = false;
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    if (c < '0' || c > '9' || length > (~std::uint64_t{0} - 9) / 10) return;
    length = length * 10 + static_cast<std::uint64_t>(c - '0');
    any = true;
  }
  if (any) m_announcedLength = length;
}

void InternetStream::Close() { Attach(nullptr); }

std::uint32_t InternetStream::HttpStatus() const {
  std::uint32_t status = 0;
  if (!m_handle.IsValid() || IsCancelled() ||
      internet_os::QueryNumber(m_handle.Get(), internet_os::Header::StatusCode, &status) != S_OK) {
    return 0;
  }
  return status;
}

HRESULT InternetStream::ResponseHeader(HttpHeader header, std::string* text) const {
  text->clear();
  if (IsCancelled()) return kTransferCancelled;
  if (!m_handle.IsValid()) return E_HANDLE;
  if (header == HttpHeader::StatusCode) {
    const std::uint32_t status = HttpStatus();
    if (status == 0) return HRESULT_FROM_WIN32(ERROR_HTTP_HEADER_NOT_FOUND);
    *text = std::to_string(status);
    return S_OK;
  }
  return internet_os::QueryText(m_handle.Get(), header, text);
}

HRESULT InternetStream::Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  if (bytesRead != nullptr) *bytesRead = 0;
  if (IsCancelled()) return kTransferCancelled;
  if (!m_handle.IsValid()) return E_HANDLE;
  std::uint32_t n = 0;
  const HRESULT hr = internet_os::ReadData(m_handle.Get(), buffer, count, &n);
  // Bytes that came with the cancel are dropped with the transfer: an end
  // of data seen now may be the cancel's doing, not the body's end.
  if (IsCancelled()) return kTransferCancelled;
  if (FAILED(hr)) return hr;
  m_delivered += n;
  if (bytesRead != nullptr) *bytesRead = n;
  // A connection that ends before the announced length is a failed
  // download, not a short file: the caller must never take it for whole.
  if (n == 0 && count != 0 && m_announcedLength && m_delivered < *m_announcedLength) {
    return HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_RESET);
  }
  return (n == count && count != 0) ? S_OK : S_FALSE;
}

HRESULT InternetStream::Write(const void* buffer, std::uint32_t count,
                              std::uint32_t* bytesWritten) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (IsCancelled()) return kTransferCancelled;
  if (!m_handle.IsValid()) return E_HANDLE;
  std::uint32_t n = 0;
  const HRESULT hr = internet_os::WriteData(m_handle.Get(), buffer, count, &n);
  if (bytesWritten != nullptr) *bytesWritten = n;
  if (IsCancelled()) return kTransferCancelled;
  if (FAILED(hr)) return hr;
  return (n == count && count != 0) ? S_OK : S_FALSE;
}

HRESULT InternetStream::Stat(StreamStat* stat, std::uint32_t flags) {
  if (stat == nullptr) return E_POINTER;
  if (IsCancelled()) return kTransferCancelled;
  if ((flags & STATFLAG_NONAME) == 0) {
    std::string name;
    std::string text;
    if (SUCCEEDED(internet_os::QueryText(m_handle.Get(), internet_os::Header::ContentDisposition,
                                         &text))) {
      static constexpr std::string_view kFileName = "filename=";
      const std::size_t at = text.find(kFileName);
      if (at != std::string::npos) name = text.substr(at + kFileName.size());
    }
    if (name.empty() &&
        SUCCEEDED(internet_os::QueryText(m_handle.Get(), internet_os::Header::Location, &text))) {
      name = NameFromUrl(text);
    }
    if (name.empty()) name = m_name;
    stat->name = std::move(name);
  }
  std::uint32_t length = 0;
  const HRESULT hr =
      internet_os::QueryNumber(m_handle.Get(), internet_os::Header::ContentLength, &length);
  if (FAILED(hr)) {
    stat->size = kUnknownStreamSize;
  } else {
    stat->size = hr == S_OK ? length : 0;
  }
  return S_OK;
}

// --- HttpConnection and HttpRequest ---

HRESULT HttpConnection::Connect(InternetSession* session) {
  UrlParts collector;
  if (!SplitUrl(CollectorUrl(), &collector)) return HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_URL);
  return Connect(session, collector.host, collector.port);
}

HRESULT HttpConnection::Connect(InternetSession* session, const std::string& host,
                                std::uint16_t port) {
  if (session == nullptr || !session->IsOpen()) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
  m_session = session;
  m_secure = true;
  if (session->IsCancelled()) return kTransferCancelled;
  internet_os::Object* connection = nullptr;
  HRESULT hr = internet_os::Connect(session->Handle(), host, port, &connection);
  if (FAILED(hr)) return session->IsCancelled() ? kTransferCancelled : hr;
  m_handle.Reset(connection);
  hr = CheckStatus(m_handle.Get(), session->OwnerFor(nullptr));
  return session->IsCancelled() ? kTransferCancelled : hr;
}

HRESULT HttpRequest::OpenRequest(HttpConnection* connection, const std::string& objectName) {
  if (connection == nullptr || connection->Handle() == nullptr) {
    return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
  }
  m_connection = connection;
  m_cancel = connection->Session()->CancelHook();
  if (IsCancelled()) return kTransferCancelled;
  internet_os::Object* request = nullptr;
  HRESULT hr = internet_os::OpenRequest(connection->Handle(), "POST", objectName,
                                        connection->Secure(), &request);
  if (FAILED(hr)) return IsCancelled() ? kTransferCancelled : hr;
  Attach(request);
  m_name = NameFromUrl(objectName);
  const DialogOwner owner =
      connection->Session()->AllowUi() ? DialogOwner(nullptr) : DialogOwner(std::nullopt);
  hr = CheckStatus(m_handle.Get(), owner);
  return IsCancelled() ? kTransferCancelled : hr;
}

HRESULT HttpRequest::Send() {
  if (m_connection == nullptr || !m_handle.IsValid())
    return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
  if (IsCancelled()) return kTransferCancelled;
  if (!m_connection->extraHeaders.empty()) {
    const HRESULT hr = internet_os::AddRequestHeaders(m_handle.Get(), m_connection->extraHeaders);
    if (FAILED(hr)) return hr;
  }
  const HRESULT hr = internet_os::SendRequest(m_handle.Get());
  if (IsCancelled()) return kTransferCancelled;
  if (FAILED(hr)) return hr;
  LearnAnnouncedLength();
  return S_OK;
}

// --- Rules ---

HRESULT StatusToResult(std::uint32_t status) {
  if (status < 400) return S_OK;
  if (status == 401 || status == 403) return E_ACCESSDENIED;
  if (status == 404 || status == 410) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  return E_FAIL;
}

HRESULT CheckStatus(internet_os::Object* handle, const DialogOwner& owner) {
  for (int attempts = 0;; ++attempts) {
    std::uint32_t status = 0;
    if (internet_os::QueryNumber(handle, internet_os::Header::StatusCode, &status) != S_OK) {
      return S_OK;
    }
    if (status != 407) return StatusToResult(status);
    if (!owner || attempts == kMaxProxyAuthDialogs) return E_ACCESSDENIED;
    if (!internet_os::ProxyAuthDialog(*owner, handle)) return E_ACCESSDENIED;
    const HRESULT hr = internet_os::Resend(handle);
    if (FAILED(hr)) return hr;
  }
}

std::string NameFromUrl(std::string_view url) {
  const std::size_t slash = url.find('/');
  const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t query = url.find('?', start);
  return std::string(url.substr(start, query == std::string_view::npos ? url.npos : query - start));
}

std::string FormatUserAgent(std::string_view system, unsigned major, unsigned minor,
                            std::string_view language, std::string_view country) {
  std::string text = "Unknown (";
  text += system;
  text += ' ';
  text += std::to_string(major);
  text += '.';
  text += std::to_string(minor);
  text += "; ";
  text += language;
  text += '-';
  text += country;
  text += ')';
  return text;
}

std::string BuildUserAgent() {
  const internet_os::UserAgentParts parts = internet_os::GetUserAgentParts();
  return FormatUserAgent(parts.system, parts.major, parts.minor, parts.language, parts.country);
}

}  // namespace QuickKit
