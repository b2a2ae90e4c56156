// The demo's own certificate authority, made fresh at every start of the
// demo server, and the "localhost" server certificate it signs for the
// collector. The keys never leave memory; only the CA certificate is
// written out, for NORVANE_CA_FILE. So no key of the demo can be reused
// elsewhere, and a CA that someone trusted once is worthless after the run.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace norvane_demo {

struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Certificate = std::unique_ptr<X509, X509Free>;
using PrivateKey = std::unique_ptr<EVP_PKEY, KeyFree>;

struct DemoTls {
  Certificate caCertificate;
  Certificate serverCertificate;  // for the DNS name "localhost", signed by the CA
  PrivateKey serverKey;
};

// False, with a reason in error, when OpenSSL could not make them.
bool MakeDemoTls(DemoTls* tls, std::string* error);

// The certificate in PEM form; empty on failure.
std::string CertificatePem(X509* certificate);

}  // namespace norvane_demo
