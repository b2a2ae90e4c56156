// WinINet under net/internet.h. No option is set on the handles except by
// SetTimeouts, which only tests call.
//
// WinINet is used synchronously, and a synchronous call cannot be ended
// early: closing its handle from another thread is not safe while the call
// runs (and under Wine it does not return anyway). So every call that may
// wait on the network (open, send, read, write) runs on a helper thread of
// its session, while the calling thread waits for it in slices and looks
// at the session's TransferCancel between them. Once cancelled, the caller
// returns kTransferCancelled at once and leaves the call to end on the
// helper by WinINet's own time-outs; whatever handle the caller closes
// meanwhile is closed there, after the call, so no handle is ever closed
// while a call uses it or closed twice. Calls that do not wait (headers,
// connection and request handles, options, dialogs) run on the calling
// thread, and only while the session is not cancelled: after a cancel the
// caller makes no WinINet call but closes.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "net/internet_os.h"
#include "support/text.h"

namespace QuickKit::internet_os {
namespace {

// How long the caller waits for the helper before it looks at the cancel
// again.
constexpr auto kWaitSlice = std::chrono::milliseconds(100);
// The most a read asks WinINet for at once; it asks only for what has
// arrived, so a slow server is never waited on for more.
constexpr DWORD kFetchLimit = 64 * 1024;

HRESULT LastError() { return HRESULT_FROM_WIN32(::GetLastError()); }

// A failed call's error as a result; a failure without an error is still one.
HRESULT FailureOf(DWORD error) { return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL; }

// What one call on the helper produced. Shared by the caller and the
// helper, so that a call the caller has left still has its own place for
// its results (never the caller's buffers).
struct CallResult {
  BOOL ok = FALSE;
  DWORD error = 0;
  HINTERNET handle = nullptr;  // a handle the call made
  DWORD count = 0;             // bytes written
  std::vector<char> data;      // bytes read
  bool abandoned = false;      // the caller left; the helper closes `handle`
};

using Call = std::function<void(CallResult&)>;

// The helper thread of one session, shared by the session's handles.
class Helper {
 public:
  Helper() = default;
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;

  // Ends the thread; one still in a call the caller left is let go, and
  // ends once WinINet returns.
  ~Helper() {
    bool busy = false;
    {
      const std::lock_guard<std::mutex> lock(m_shared->lock);
      m_shared->stop = true;
      busy = m_shared->busy;
    }
    m_shared->wake.notify_all();
    if (m_thread.joinable()) {
      if (busy) {
        m_thread.detach();
      } else {
        m_thread.join();
      }
    }
  }

  void SetCancel(std::shared_ptr<TransferCancel> cancel) {
    const std::lock_guard<std::mutex> lock(m_shared->lock);
    m_shared->cancel = std::move(cancel);
  }

  bool IsCancelled() const {
    const std::lock_guard<std::mutex> lock(m_shared->lock);
    return m_shared->IsCancelled();
  }

  // Runs call on the helper and waits for it: S_OK with its results in
  // *result; kTransferCancelled, at once or within a wait slice, once the
  // session is cancelled.
  HRESULT Run(Call call, CallResult* result) {
    Shared& shared = *m_shared;
    std::unique_lock<std::mutex> lock(shared.lock);
    if (shared.IsCancelled()) return kTransferCancelled;
    if (!m_thread.joinable()) {
      try {
        m_thread = std::thread(&Helper::Loop, m_shared);
      } catch (const std::system_error&) {
        return HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
      }
    }
    auto own = std::make_shared<CallResult>();
    shared.call = std::move(call);
    shared.result = own;
    shared.busy = true;
    shared.wake.notify_all();
    while (shared.busy) {
      if (shared.IsCancelled()) {
        own->abandoned = true;
        return kTransferCancelled;
      }
      shared.finished.wait_for(lock, kWaitSlice);
    }
    *result = std::move(*own);
    return S_OK;
  }

  // Closes handle now, or right after the helper's call when one runs: it
  // may be the handle that call uses, or its parent.
  void Close(HINTERNET handle) {
    {
      const std::lock_guard<std::mutex> lock(m_shared->lock);
      if (m_shared->busy) {
        m_shared->closeAfterCall.push_back(handle);
        return;
      }
    }
    ::InternetCloseHandle(handle);
  }

 private:
  struct Shared {
    mutable std::mutex lock;
    std::condition_variable wake;      // a call was posted, or the end
    std::condition_variable finished;  // the call has returned
    Call call;
    std::shared_ptr<CallResult> result;
    bool busy = false;
    bool stop = false;
    std::vector<HINTERNET> closeAfterCall;  // in the order the caller closed them
    std::shared_ptr<TransferCancel> cancel;

    bool IsCancelled() const { return cancel != nullptr && cancel->IsCancelled(); }
  };

  static void Loop(std::shared_ptr<Shared> shared) {
    std::unique_lock<std::mutex> lock(shared->lock);
    for (;;) {
      shared->wake.wait(lock, [&shared] { return shared->call != nullptr || shared->stop; });
      if (shared->call == nullptr) return;
      Call call = std::move(shared->call);
      shared->call = nullptr;
      const std::shared_ptr<CallResult> result = shared->result;
      shared->result = nullptr;
      lock.unlock();
      call(*result);
      lock.lock();
      shared->busy = false;
      // A handle made for a caller that has left goes first: it is a child
      // of whatever the caller closed meanwhile.
      std::vector<HINTERNET> closes;
      if (result->abandoned && result->handle != nullptr) closes.push_back(result->handle);
      closes.insert(closes.end(), shared->closeAfterCall.begin(), shared->closeAfterCall.end());
      shared->closeAfterCall.clear();
      shared->finished.notify_all();
      if (!closes.empty()) {
        lock.unlock();
        for (HINTERNET handle : closes) ::InternetCloseHandle(handle);
        lock.lock();
      }
    }
  }

  std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
  std::thread m_thread;
};

}  // namespace

// A session, connection or transfer: the WinINet handle and its session's
// helper.
struct Object {
  HINTERNET handle = nullptr;
  std::shared_ptr<Helper> helper;
  // A transfer's bytes fetched ahead of its reader, from pendingPos on, and
  // how its body ended (a failure is reported once the bytes before it
  // have been read).
  std::vector<char> pending;
  std::size_t pendingPos = 0;
  bool ended = false;
  HRESULT endResult = S_OK;
};

namespace {

HINTERNET Native(Object* object) { return object->handle; }

// A new object for a handle made on parent's session.
Object* Child(Object* parent, HINTERNET handle) {
  auto* object = new (std::nothrow) Object;
  if (object == nullptr) {
    parent->helper->Close(handle);
    return nullptr;
  }
  object->handle = handle;
  object->helper = parent->helper;
  return object;
}

// Every request of the program is fresh: never from the cache, never with
// WinINet's own UI, with the file kept for the reader.
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_KEEP_CONNECTION |
                                INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NEED_FILE;

// HttpQueryInfoW into buffer at its current size; once more at the size
// WinINet asks for when that was too small. On success the buffer holds
// exactly the answer (terminator excluded).
HRESULT QueryHeader(std::vector<std::uint8_t>& buffer, HINTERNET handle, DWORD infoLevel) {
  try {
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!::HttpQueryInfoW(handle, infoLevel, buffer.data(), &length, nullptr)) {
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return LastError();
      buffer.resize(length);
      length = static_cast<DWORD>(buffer.size());
      if (!::HttpQueryInfoW(handle, infoLevel, buffer.data(), &length, nullptr)) {
        return LastError();
      }
    }
    buffer.resize(length);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

DWORD InfoLevel(Header header) {
  switch (header) {
    case Header::StatusCode:
      return HTTP_QUERY_STATUS_CODE;
    case Header::ContentLength:
      return HTTP_QUERY_CONTENT_LENGTH;
    case Header::ContentDisposition:
      return HTTP_QUERY_CONTENT_DISPOSITION;
    case Header::Location:
      return HTTP_QUERY_LOCATION;
    case Header::ContentRange:
      return HTTP_QUERY_CONTENT_RANGE;
    case Header::ETag:
      return HTTP_QUERY_ETAG;
    case Header::LastModified:
      return HTTP_QUERY_LAST_MODIFIED;
    case Header::RetryAfter:
      return HTTP_QUERY_RETRY_AFTER;
  }
  return HTTP_QUERY_STATUS_CODE;
}

std::string LocaleText(LANGID language, LCTYPE type) {
  const int length = ::GetLocaleInfoW(language, type, nullptr, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  if (::GetLocaleInfoW(language, type, text.data(), length) <= 0) return {};
  text.resize(static_cast<std::size_t>(length) - 1);
  try {
    return WideToUtf8(text);
  } catch (const std::range_error&) {
    return {};
  }
}

}  // namespace

UserAgentParts GetUserAgentParts() {
  UserAgentParts parts;
  parts.system = "Windows NT";
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (::GetVersionExW(&version)) {
    parts.major = version.dwMajorVersion;
    parts.minor = version.dwMinorVersion;
  }
  if (parts.major >= 5) {
    const LANGID language = ::GetUserDefaultUILanguage();
    parts.language = LocaleText(language, LOCALE_SISO639LANGNAME);
    parts.country = LocaleText(language, LOCALE_SISO3166CTRYNAME);
  }
  return parts;
}

void Close(Object* object) {
  if (object == nullptr) return;
  object->helper->Close(object->handle);
  delete object;
}

HRESULT OpenSession(const std::string& userAgent, Object** session) {
  std::wstring agent;
  try {
    agent = Utf8ToWide(userAgent);
  } catch (const std::exception&) {
    return E_INVALIDARG;
  }
  auto object = std::unique_ptr<Object>(new (std::nothrow) Object);
  if (object == nullptr) return E_OUTOFMEMORY;
  object->helper = std::shared_ptr<Helper>(new (std::nothrow) Helper);
  if (object->helper == nullptr) return E_OUTOFMEMORY;
  object->handle =
      ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (object->handle == nullptr) return LastError();
  *session = object.release();
  return S_OK;
}

HRESULT SetTimeouts(Object* session, std::uint32_t connectMs, std::uint32_t receiveMs) {
  DWORD connect = connectMs;
  DWORD receive = receiveMs;
  if (!::InternetSetOptionW(Native(session), INTERNET_OPTION_CONNECT_TIMEOUT, &connect,
                            sizeof connect) ||
      !::InternetSetOptionW(Native(session), INTERNET_OPTION_RECEIVE_TIMEOUT, &receive,
                            sizeof receive) ||
      !::InternetSetOptionW(Native(session), INTERNET_OPTION_SEND_TIMEOUT, &receive,
                            sizeof receive)) {
    return LastError();
  }
  return S_OK;
}

void SetCancel(Object* session, std::shared_ptr<TransferCancel> cancel) {
  session->helper->SetCancel(std::move(cancel));
}

HRESULT OpenUrl(Object* session, const std::string& url, const std::string& headers,
                bool passiveFtp, Object** transfer) {
  std::wstring wideUrl;
  std::wstring wideHeaders;
  try {
    wideUrl = Utf8ToWide(url);
    wideHeaders = Utf8ToWide(headers);
  } catch (const std::exception&) {
    return HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_URL);
  }
  const DWORD flags = kOpenUrlFlags | (passiveFtp ? INTERNET_FLAG_PASSIVE : 0);
  CallResult result;
  const HRESULT hr = session->helper->Run(
      [parent = session->handle, wideUrl = std::move(wideUrl), wideHeaders = std::move(wideHeaders),
       flags](CallResult& r) {
        r.handle = ::InternetOpenUrlW(parent, wideUrl.c_str(),
                                      wideHeaders.empty() ? nullptr : wideHeaders.c_str(),
                                      static_cast<DWORD>(wideHeaders.size()), flags, 0);
        r.ok = r.handle != nullptr;
        if (!r.ok) r.error = ::GetLastError();
      },
      &result);
  if (FAILED(hr)) return hr;
  if (!result.ok) return FailureOf(result.error);
  *transfer = Child(session, result.handle);
  return *transfer != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT Connect(Object* session, const std::string& host, std::uint16_t port, Object** connection) {
  if (session->helper->IsCancelled()) return kTransferCancelled;
  std::wstring wideHost;
  try {
    wideHost = Utf8ToWide(host);
  } catch (const std::exception&) {
    return HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_URL);
  }
  // An HTTP connection handle only names the server: nothing waits here.
  HINTERNET handle = ::InternetConnectW(Native(session), wideHost.c_str(), port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, 0);
  if (handle == nullptr) return LastError();
  *connection = Child(session, handle);
  return *connection != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT OpenRequest(Object* connection, const std::string& verb, const std::string& objectName,
                    bool secure, Object** request) {
  if (connection->helper->IsCancelled()) return kTransferCancelled;
  std::wstring wideVerb;
  std::wstring wideName;
  try {
    wideVerb = Utf8ToWide(verb);
    wideName = Utf8ToWide(objectName);
  } catch (const std::exception&) {
    return E_INVALIDARG;
  }
  const wchar_t* acceptTypes[] = {L"*/*", nullptr};
  // The certificate is checked in full, its name included.
  const DWORD flags =
      secure ? INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION : INTERNET_FLAG_KEEP_CONNECTION;
  HINTERNET handle = ::HttpOpenRequestW(Native(connection), wideVerb.c_str(), wideName.c_str(),
                                        nullptr, nullptr, acceptTypes, flags, 0);
  if (handle == nullptr) return LastError();
  *request = Child(connection, handle);
  return *request != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT AddRequestHeaders(Object* request, const std::string& headers) {
  if (request->helper->IsCancelled()) return kTransferCancelled;
  std::wstring wide;
  try {
    wide = Utf8ToWide(headers);
  } catch (const std::exception&) {
    return E_INVALIDARG;
  }
  if (!::HttpAddRequestHeadersW(Native(request), wide.c_str(), static_cast<DWORD>(wide.size()),
                                HTTP_ADDREQ_FLAG_ADD)) {
    const DWORD error = ::GetLastError();
    if (error != 0) return HRESULT_FROM_WIN32(error);
  }
  return S_OK;
}

namespace {

// HttpSendRequestW on the helper, with the header length given.
HRESULT Send(Object* request, DWORD headersLength) {
  CallResult result;
  const HRESULT hr = request->helper->Run(
      [handle = request->handle, headersLength](CallResult& r) {
        r.ok = ::HttpSendRequestW(handle, nullptr, headersLength, nullptr, 0);
        if (!r.ok) r.error = ::GetLastError();
      },
      &result);
  if (FAILED(hr)) return hr;
  return result.ok ? S_OK : FailureOf(result.error);
}

}  // namespace

HRESULT SendRequest(Object* request) { return Send(request, static_cast<DWORD>(-1)); }

HRESULT ReadData(Object* transfer, void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  *bytesRead = 0;
  auto* out = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    const std::size_t available = transfer->pending.size() - transfer->pendingPos;
    if (available != 0) {
      const std::size_t take = std::min<std::size_t>(available, count - done);
      std::memcpy(out + done, transfer->pending.data() + transfer->pendingPos, take);
      transfer->pendingPos += take;
      done += static_cast<std::uint32_t>(take);
      continue;
    }
    if (transfer->ended) break;
    // Waits until something has arrived (or the body has ended), then takes
    // what is there, so that the reader gets bytes as they come.
    CallResult result;
    const HRESULT hr = transfer->helper->Run(
        [handle = transfer->handle](CallResult& r) {
          DWORD ready = 0;
          if (!::InternetQueryDataAvailable(handle, &ready, 0, 0)) {
            r.error = ::GetLastError();
            return;
          }
          try {
            r.data.resize(std::clamp<DWORD>(ready, 1, kFetchLimit));
          } catch (const std::bad_alloc&) {
            r.error = ERROR_NOT_ENOUGH_MEMORY;
            return;
          }
          DWORD n = 0;
          r.ok = ::InternetReadFile(handle, r.data.data(), static_cast<DWORD>(r.data.size()), &n);
          if (!r.ok) {
            r.error = ::GetLastError();
            n = 0;
          }
          r.data.resize(n);
        },
        &result);
    if (FAILED(hr)) return hr;
    if (!result.ok) {
      transfer->ended = true;
      transfer->endResult = FailureOf(result.error);
      break;
    }
    if (result.data.empty()) {
      transfer->ended = true;
      break;
    }
    transfer->pending = std::move(result.data);
    transfer->pendingPos = 0;
  }
  *bytesRead = done;
  if (done == 0 && count != 0 && FAILED(transfer->endResult)) return transfer->endResult;
  return S_OK;
}

HRESULT WriteData(Object* transfer, const void* buffer, std::uint32_t count,
                  std::uint32_t* bytesWritten) {
  *bytesWritten = 0;
  std::vector<char> bytes;
  try {
    bytes.assign(static_cast<const char*>(buffer), static_cast<const char*>(buffer) + count);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  CallResult result;
  const HRESULT hr = transfer->helper->Run(
      [handle = transfer->handle, bytes = std::move(bytes)](CallResult& r) {
        r.ok =
            ::InternetWriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &r.count);
        if (!r.ok) r.error = ::GetLastError();
      },
      &result);
  if (FAILED(hr)) return hr;
  *bytesWritten = result.count;
  return result.ok ? S_OK : FailureOf(result.error);
}

HRESULT QueryNumber(Object* transfer, Header header, std::uint32_t* value) {
  *value = 0;
  if (transfer->helper->IsCancelled()) return kTransferCancelled;
  std::vector<std::uint8_t> buffer(sizeof(DWORD));
  const HRESULT hr =
      QueryHeader(buffer, Native(transfer), InfoLevel(header) | HTTP_QUERY_FLAG_NUMBER);
  if (FAILED(hr)) return hr;
  if (buffer.size() != sizeof(DWORD)) return S_FALSE;
  DWORD number = 0;
  std::memcpy(&number, buffer.data(), sizeof number);
  *value = number;
  return S_OK;
}

HRESULT QueryText(Object* transfer, Header header, std::string* text) {
  text->clear();
  if (transfer->helper->IsCancelled()) return kTransferCancelled;
  std::vector<std::uint8_t> buffer;
  try {
    buffer.resize(512);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = QueryHeader(buffer, Native(transfer), InfoLevel(header));
  if (FAILED(hr)) return hr;
  std::wstring wide(buffer.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), buffer.data(), wide.size() * sizeof(wchar_t));
  try {
    *text = WideToUtf8(wide);
  } catch (const std::exception&) {
    return HRESULT_FROM_WIN32(ERROR_INTERNET_INTERNAL_ERROR);
  }
  return S_OK;
}

bool ProxyAuthDialog(WindowHandle owner, Object* transfer) {
  if (transfer->helper->IsCancelled()) return false;
  const DWORD answer = ::InternetErrorDlg(
      static_cast<HWND>(owner), Native(transfer), ERROR_INTERNET_INCORRECT_PASSWORD,
      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
          FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
      nullptr);
  return answer == ERROR_INTERNET_FORCE_RETRY;
}

HRESULT Resend(Object* transfer) { return Send(transfer, 0); }

}  // namespace QuickKit::internet_os
