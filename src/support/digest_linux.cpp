#include <openssl/evp.h>

#include "support/digest.h"

namespace QuickKit {

struct Digest::Impl {
  EVP_MD_CTX* context = nullptr;
  bool ready = false;
};

Digest::Digest(DigestKind kind) : m_impl(std::make_unique<Impl>()) {
  m_impl->context = EVP_MD_CTX_new();
  const EVP_MD* md = kind == DigestKind::Md5 ? EVP_md5() : EVP_sha256();
  m_impl->ready =
      m_impl->context != nullptr && EVP_DigestInit_ex(m_impl->context, md, nullptr) == 1;
}

Digest::~Digest() { EVP_MD_CTX_free(m_impl->context); }

bool Digest::IsReady() const { return m_impl->ready; }

void Digest::Update(const void* data, std::size_t size) {
  if (m_impl->ready && size != 0)
    m_impl->ready = EVP_DigestUpdate(m_impl->context, data, size) == 1;
}

std::string Digest::Final() {
  if (!m_impl->ready) return {};
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  m_impl->ready = false;
  if (EVP_DigestFinal_ex(m_impl->context, out, &length) != 1) return {};
  return std::string(reinterpret_cast<const char*>(out), length);
}

}  // namespace QuickKit
