#pragma once
// GUIDs as the engine stores them: 16 bytes in the Windows layout (first group as a
// little-endian 32-bit value, second and third as little-endian 16-bit values, the last eight
// bytes as written in the text form) and the text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace gx {

struct TGXGuid {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  std::array<uint8_t, 8> D4{};

  // A fresh random GUID.
  static TGXGuid NewGuid();
  // Parses the text form with or without braces, hex digits in either case; nothing else.
  static std::optional<TGXGuid> TryParse(std::string_view text);
  // As TryParse, but raises EInvalidParameter for text that is not a GUID.
  static TGXGuid Parse(std::string_view text);

  // The 16 bytes in file order, and back.
  std::array<uint8_t, 16> ToBytes() const;
  static TGXGuid FromBytes(const uint8_t* bytes);

  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case digits.
  std::string ToString() const;
  bool IsNull() const { return *this == TGXGuid(); }

  friend bool operator==(const TGXGuid&, const TGXGuid&) = default;
  friend auto operator<=>(const TGXGuid&, const TGXGuid&) = default;
};

}  // namespace gx

template <>
struct std::hash<gx::TGXGuid> {
  size_t operator()(const gx::TGXGuid& g) const noexcept {
    auto b = g.ToBytes();
    uint64_t lo = 0, hi = 0;
    for (int i = 0; i < 8; ++i) lo |= uint64_t(b[i]) << (8 * i), hi |= uint64_t(b[8 + i]) << (8 * i);
    return std::hash<uint64_t>()(lo ^ (hi * 0x9E3779B97F4A7C15ull));
  }
};
