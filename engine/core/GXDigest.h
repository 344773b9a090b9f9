#pragma once
// MD5 (RFC 1321) through OpenSSL's EVP interface: the digests of package entries, data files and
// material names.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace gx {

using TGXDigest = std::array<uint8_t, 16>;

// Incremental MD5 for data that arrives in pieces.
class TGXMD5 {
 public:
  TGXMD5();
  ~TGXMD5();
  TGXMD5(const TGXMD5&) = delete;
  TGXMD5& operator=(const TGXMD5&) = delete;

  void Update(const void* data, size_t size);
  // The digest of everything passed to Update; the object starts over afterwards.
  TGXDigest Final();

 private:
  struct TContext;
  std::unique_ptr<TContext> FContext;
};

TGXDigest GXMD5(const void* data, size_t size);
inline TGXDigest GXMD5(std::string_view data) { return GXMD5(data.data(), data.size()); }
// 32 upper-case hex digits.
std::string GXDigestToHex(const TGXDigest& digest);

}  // namespace gx
