// WinINet over TLS against real servers on loopback, run by
// run-with-tls-servers: one server with a certificate for "localhost" from
// the test CA, one with a self-signed "localhost" certificate. Wine trusts
// a newly added root only in a process started after the addition, so the
// wrapper runs this executable twice: TlsSetup adds the test CA to the
// user's root store, then WinInetTls makes the requests.
#include <windows.h>
// After windows.h:
#include <wincrypt.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "net/internet.h"
#include "net/seq_stream.h"

namespace QuickKit {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

TEST(TlsSetup, TestCaJoinsTheUsersRootStore) {
  std::ifstream file(std::string(NORVANE_TEST_DATA) + "/tls/ca.pem", std::ios::binary);
  ASSERT_TRUE(file.is_open());
  const std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  DWORD size = 0;
  ASSERT_TRUE(::CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                     CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr));
  std::string der(size, '\0');
  ASSERT_TRUE(::CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                     CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(der.data()),
                                     &size, nullptr, nullptr));
  HCERTSTORE store = ::CertOpenSystemStoreW(0, L"ROOT");
  ASSERT_NE(store, nullptr);
  const BOOL added = ::CertAddEncodedCertificateToStore(
      store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), size,
      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  ::CertCloseStore(store, 0);
  EXPECT_TRUE(added) << ::GetLastError();
}

struct TlsCase {
  const char* name;
  const char* host;
  const char* portVariable;
  HRESULT expected;
};

// Certificates are always checked: the program never sets a flag that
// ignores a certificate error, and no dialog may wave one through.
TEST(WinInetTls, AcceptsTheGoodCertificateAndRefusesAnUnknownCaOrAWrongName) {
  const TlsCase cases[] = {
      {"trusted certificate for localhost", "localhost", "NORVANE_TLS_GOOD_PORT", S_OK},
      {"self-signed certificate", "localhost", "NORVANE_TLS_UNTRUSTED_PORT",
       HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_CA)},
      {"certificate for another name", "127.0.0.1", "NORVANE_TLS_GOOD_PORT",
       HRESULT_FROM_WIN32(ERROR_INTERNET_SEC_CERT_CN_INVALID)},
  };
  for (const TlsCase& c : cases) {
    const std::string port = Environment(c.portVariable);
    ASSERT_FALSE(port.empty()) << c.portVariable << " is set by run-with-tls-servers";
    InternetSession session(false);
    ASSERT_EQ(session.Open(), S_OK);
    InternetStream stream;
    const std::string url = std::string("https://") + c.host + ":" + port + "/hello.txt";
    EXPECT_EQ(stream.OpenUrlStream(&session, url, nullptr), c.expected) << c.name;
    if (c.expected != S_OK) continue;
    std::string body;
    StringAsSeqStreamA sink(&body);
    EXPECT_EQ(CopyStream(&stream, nullptr, &sink, kUnknownTotal), S_OK) << c.name;
    EXPECT_EQ(body, "hello over tls\n") << c.name;
  }
}

}  // namespace
}  // namespace QuickKit
