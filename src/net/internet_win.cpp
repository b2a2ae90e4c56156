// WinINet under net/internet.h. The handles are WinINet's own HINTERNETs;
// no option is set on them except by SetTimeouts, which only tests call.
#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/internet_os.h"
#include "support/text.h"

namespace QuickKit::internet_os {
namespace {

HINTERNET Native(Object* object) { return reinterpret_cast<HINTERNET>(object); }
Object* FromNative(HINTERNET handle) { return reinterpret_cast<Object*>(handle); }

HRESULT LastError() { return HRESULT_FROM_WIN32(::GetLastError()); }

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

void Close(Object* object) { ::InternetCloseHandle(Native(object)); }

HRESULT OpenSession(const std::string& userAgent, Object** session) {
  std::wstring agent;
  try {
    agent = Utf8ToWide(userAgent);
  } catch (const std::exception&) {
    return E_INVALIDARG;
  }
  HINTERNET handle =
      ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (handle == nullptr) return LastError();
  *session = FromNative(handle);
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

HRESULT OpenUrl(Object* session, const std::string& url, bool passiveFtp, Object** transfer) {
  std::wstring wideUrl;
  try {
    wideUrl = Utf8ToWide(url);
  } catch (const std::exception&) {
    return HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_URL);
  }
  const DWORD flags = kOpenUrlFlags | (passiveFtp ? INTERNET_FLAG_PASSIVE : 0);
  HINTERNET handle = ::InternetOpenUrlW(Native(session), wideUrl.c_str(), nullptr, 0, flags, 0);
  if (handle == nullptr) return LastError();
  *transfer = FromNative(handle);
  return S_OK;
}

HRESULT Connect(Object* session, const std::string& host, std::uint16_t port, Object** connection) {
  std::wstring wideHost;
  try {
    wideHost = Utf8ToWide(host);
  } catch (const std::exception&) {
    return HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_URL);
  }
  HINTERNET handle = ::InternetConnectW(Native(session), wideHost.c_str(), port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, 0);
  if (handle == nullptr) return LastError();
  *connection = FromNative(handle);
  return S_OK;
}

HRESULT OpenRequest(Object* connection, const std::string& verb, const std::string& objectName,
                    bool secure, Object** request) {
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
  *request = FromNative(handle);
  return S_OK;
}

HRESULT AddRequestHeaders(Object* request, const std::string& headers) {
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

HRESULT SendRequest(Object* request) {
  if (!::HttpSendRequestW(Native(request), nullptr, static_cast<DWORD>(-1), nullptr, 0)) {
    return LastError();
  }
  return S_OK;
}

HRESULT ReadData(Object* transfer, void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
  DWORD n = 0;
  const BOOL ok = ::InternetReadFile(Native(transfer), buffer, count, &n);
  *bytesRead = n;
  return ok ? S_OK : LastError();
}

HRESULT WriteData(Object* transfer, const void* buffer, std::uint32_t count,
                  std::uint32_t* bytesWritten) {
  DWORD n = 0;
  const BOOL ok = ::InternetWriteFile(Native(transfer), buffer, count, &n);
  *bytesWritten = n;
  return ok ? S_OK : LastError();
}

HRESULT QueryNumber(Object* transfer, Header header, std::uint32_t* value) {
  *value = 0;
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
  const DWORD answer = ::InternetErrorDlg(
      static_cast<HWND>(owner), Native(transfer), ERROR_INTERNET_INCORRECT_PASSWORD,
      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
          FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
      nullptr);
  return answer == ERROR_INTERNET_FORCE_RETRY;
}

HRESULT Resend(Object* transfer) {
  if (!::HttpSendRequestW(Native(transfer), nullptr, 0, nullptr, 0)) return LastError();
  return S_OK;
}

}  // namespace QuickKit::internet_os
