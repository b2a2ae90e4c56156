#include "demo/demo_tls.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <initializer_list>
#include <utility>

namespace norvane_demo {
namespace {

constexpr long kHour = 60 * 60;
// Long enough for a demo left running over a weekend; the CA is made anew
// at every start anyway.
constexpr long kValidity = 7 * 24 * kHour;

struct Extension {
  int nid;
  const char* value;
};

bool AddExtension(X509* certificate, X509* issuer, const Extension& extension) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* made = X509V3_EXT_conf_nid(nullptr, &context, extension.nid, extension.value);
  if (made == nullptr) return false;
  const bool added = X509_add_ext(certificate, made, -1) == 1;
  X509_EXTENSION_free(made);
  return added;
}

bool SetRandomSerial(X509* certificate) {
  BIGNUM* serial = BN_new();
  const bool ok = serial != nullptr &&
                  BN_rand(serial, 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
                  BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(certificate)) != nullptr;
  BN_free(serial);
  return ok;
}

// A certificate for key named commonName, signed by issuer with issuerKey;
// self-signed when issuer is null.
Certificate MakeCertificate(const char* commonName, EVP_PKEY* key, X509* issuer,
                            EVP_PKEY* issuerKey, std::initializer_list<Extension> extensions) {
  Certificate certificate(X509_new());
  X509* c = certificate.get();
  if (c == nullptr || X509_set_version(c, X509_VERSION_3) != 1 || !SetRandomSerial(c) ||
      X509_gmtime_adj(X509_getm_notBefore(c), -kHour) == nullptr ||  // a clock a little behind
      X509_gmtime_adj(X509_getm_notAfter(c), kValidity) == nullptr ||
      X509_set_pubkey(c, key) != 1) {
    return nullptr;
  }
  X509_NAME* name = X509_get_subject_name(c);
  if (X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                                 0) != 1 ||
      X509_set_issuer_name(c, issuer != nullptr ? X509_get_subject_name(issuer) : name) != 1) {
    return nullptr;
  }
  for (const Extension& extension : extensions) {
    if (!AddExtension(c, issuer != nullptr ? issuer : c, extension)) return nullptr;
  }
  if (X509_sign(c, issuerKey, EVP_sha256()) <= 0) return nullptr;
  return certificate;
}

}  // namespace

bool MakeDemoTls(DemoTls* tls, std::string* error) {
  PrivateKey caKey(EVP_EC_gen("P-256"));
  PrivateKey serverKey(EVP_EC_gen("P-256"));
  if (!caKey || !serverKey) {
    *error = "cannot make the demo keys";
    return false;
  }
  Certificate ca = MakeCertificate("Norvane Demo CA", caKey.get(), nullptr, caKey.get(),
                                   {{NID_basic_constraints, "critical,CA:TRUE"},
                                    {NID_key_usage, "critical,keyCertSign,cRLSign"},
                                    {NID_subject_key_identifier, "hash"}});
  if (!ca) {
    *error = "cannot make the demo CA certificate";
    return false;
  }
  Certificate server = MakeCertificate("localhost", serverKey.get(), ca.get(), caKey.get(),
                                       {{NID_basic_constraints, "critical,CA:FALSE"},
                                        {NID_key_usage, "critical,digitalSignature"},
                                        {NID_ext_key_usage, "serverAuth"},
                                        {NID_subject_alt_name, "DNS:localhost"},
                                        {NID_subject_key_identifier, "hash"},
                                        {NID_authority_key_identifier, "keyid:always"}});
  if (!server) {
    *error = "cannot make the demo server certificate";
    return false;
  }
  tls->caCertificate = std::move(ca);
  tls->serverCertificate = std::move(server);
  tls->serverKey = std::move(serverKey);
  return true;
}

std::string CertificatePem(X509* certificate) {
  BIO* memory = BIO_new(BIO_s_mem());
  if (memory == nullptr) return {};
  std::string pem;
  if (PEM_write_bio_X509(memory, certificate) == 1) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(memory, &data);
    if (size > 0) pem.assign(data, static_cast<std::size_t>(size));
  }
  BIO_free(memory);
  return pem;
}

}  // namespace norvane_demo
