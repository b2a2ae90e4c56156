// The platform calls under net/internet.h: WinINet in internet_win.cpp,
// libcurl in internet_linux.cpp. Nothing here decides anything; every
// function reports the platform's result as an HRESULT.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/internet.h"

namespace QuickKit::internet_os {

// What the user agent is made of on this machine.
struct UserAgentParts {
  std::string system;  // "Windows NT", "Linux"
  unsigned major = 0;
  unsigned minor = 0;
  std::string language;  // ISO 639, may be empty
  std::string country;   // ISO 3166, may be empty
};
UserAgentParts GetUserAgentParts();

void Close(Object* object);

HRESULT OpenSession(const std::string& userAgent, Object** session);
HRESULT SetTimeouts(Object* session, std::uint32_t connectMs, std::uint32_t receiveMs);
// The stop every wait of the session's transfers looks at between its
// slices; a wait it ends fails with kTransferCancelled. Set by the session's
// owner before its transfers start.
void SetCancel(Object* session, std::shared_ptr<TransferCancel> cancel);

// A GET of url with extra request headers ("Name: value\r\n"..., may be
// empty). passiveFtp matters for ftp URLs only. Returns once the response's
// headers have arrived (redirects followed).
HRESULT OpenUrl(Object* session, const std::string& url, const std::string& headers,
                bool passiveFtp, Object** transfer);

HRESULT Connect(Object* session, const std::string& host, std::uint16_t port, Object** connection);
HRESULT OpenRequest(Object* connection, const std::string& verb, const std::string& objectName,
                    bool secure, Object** request);
HRESULT AddRequestHeaders(Object* request, const std::string& headers);
// Sends the request; returns once the response's headers have arrived.
HRESULT SendRequest(Object* request);

// Reads up to count bytes, fewer only at the end of the body.
HRESULT ReadData(Object* transfer, void* buffer, std::uint32_t count, std::uint32_t* bytesRead);
HRESULT WriteData(Object* transfer, const void* buffer, std::uint32_t count,
                  std::uint32_t* bytesWritten);

using Header = HttpHeader;

// A header as a number: S_OK with the value, S_FALSE when the platform
// answered with something other than a 32-bit number (value 0), a failure
// when the response has no such header.
HRESULT QueryNumber(Object* transfer, Header header, std::uint32_t* value);
// A header's text (UTF-8); a failure when the response has none.
HRESULT QueryText(Object* transfer, Header header, std::string* text);

// Shows the platform's proxy-credentials dialog for a 407. True when the
// user asks to retry. Always false where the platform has no such dialog.
bool ProxyAuthDialog(WindowHandle owner, Object* transfer);
// Sends the request of a transfer again (after new credentials).
HRESULT Resend(Object* transfer);

}  // namespace QuickKit::internet_os
