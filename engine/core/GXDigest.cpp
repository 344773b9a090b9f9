#include "engine/core/GXDigest.h"

#include <openssl/evp.h>

#include <new>

namespace gx {

struct TGXMD5::TContext {
  EVP_MD_CTX* Ctx = nullptr;
};

TGXMD5::TGXMD5() : FContext(std::make_unique<TContext>()) {
  FContext->Ctx = EVP_MD_CTX_new();
  if (!FContext->Ctx || EVP_DigestInit_ex(FContext->Ctx, EVP_md5(), nullptr) != 1) {
    EVP_MD_CTX_free(FContext->Ctx);
    throw std::bad_alloc();
  }
}

TGXMD5::~TGXMD5() { EVP_MD_CTX_free(FContext->Ctx); }

void TGXMD5::Update(const void* data, size_t size) {
  if (size) EVP_DigestUpdate(FContext->Ctx, data, size);
}

TGXDigest TGXMD5::Final() {
  TGXDigest digest{};
  unsigned int len = 0;
  EVP_DigestFinal_ex(FContext->Ctx, digest.data(), &len);
  EVP_DigestInit_ex(FContext->Ctx, EVP_md5(), nullptr);
  return digest;
}

TGXDigest GXMD5(const void* data, size_t size) {
  TGXDigest digest{};
  unsigned int len = 0;
  EVP_Digest(data, size, digest.data(), &len, EVP_md5(), nullptr);
  return digest;
}

std::string GXDigestToHex(const TGXDigest& digest) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : digest) out += kHex[b >> 4], out += kHex[b & 15];
  return out;
}

}  // namespace gx
