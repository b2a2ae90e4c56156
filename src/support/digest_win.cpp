#include <windows.h>

#include <bcrypt.h>

#include <vector>

#include "support/digest.h"

namespace QuickKit {

struct Digest::Impl {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  DWORD length = 0;
  bool ready = false;
};

Digest::Digest(DigestKind kind) : m_impl(std::make_unique<Impl>()) {
  const wchar_t* name = kind == DigestKind::Md5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
  ULONG got = 0;
  m_impl->ready =
      BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&m_impl->algorithm, name, nullptr, 0)) &&
      BCRYPT_SUCCESS(::BCryptGetProperty(m_impl->algorithm, BCRYPT_HASH_LENGTH,
                                         reinterpret_cast<PUCHAR>(&m_impl->length),
                                         sizeof m_impl->length, &got, 0)) &&
      BCRYPT_SUCCESS(
          ::BCryptCreateHash(m_impl->algorithm, &m_impl->hash, nullptr, 0, nullptr, 0, 0));
}

Digest::~Digest() {
  if (m_impl->hash != nullptr) ::BCryptDestroyHash(m_impl->hash);
  if (m_impl->algorithm != nullptr) ::BCryptCloseAlgorithmProvider(m_impl->algorithm, 0);
}

bool Digest::IsReady() const { return m_impl->ready; }

void Digest::Update(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const UCHAR*>(data);
  while (m_impl->ready && size != 0) {
    const ULONG chunk = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    m_impl->ready =
        BCRYPT_SUCCESS(::BCryptHashData(m_impl->hash, const_cast<PUCHAR>(bytes), chunk, 0));
    bytes += chunk;
    size -= chunk;
  }
}

std::string Digest::Final() {
  if (!m_impl->ready) return {};
  m_impl->ready = false;
  std::vector<UCHAR> out(m_impl->length);
  if (!BCRYPT_SUCCESS(::BCryptFinishHash(m_impl->hash, out.data(), m_impl->length, 0))) return {};
  return std::string(out.begin(), out.end());
}

}  // namespace QuickKit
