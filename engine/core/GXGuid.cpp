#include "engine/core/GXGuid.h"

#include <uuid/uuid.h>

#include <cstdio>

#include "engine/core/GXException.h"

namespace gx {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TGXGuid TGXGuid::NewGuid() {
  // libuuid returns the bytes in text order; the first three groups are big-endian there.
  uuid_t u;
  uuid_generate_random(u);
  TGXGuid g;
  g.D1 = uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | u[3];
  g.D2 = static_cast<uint16_t>(u[4] << 8 | u[5]);
  g.D3 = static_cast<uint16_t>(u[6] << 8 | u[7]);
  for (int i = 0; i < 8; ++i) g.D4[i] = u[8 + i];
  return g;
}

std::optional<TGXGuid> TGXGuid::TryParse(std::string_view text) {
  if (text.size() == 38) {
    if (text.front() != '{' || text.back() != '}') return std::nullopt;
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return std::nullopt;
  uint8_t bytes[16];  // in text order
  size_t pos = 0;
  for (int i = 0; i < 16; ++i) {
    if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
      if (text[pos] != '-') return std::nullopt;
      ++pos;
    }
    int hi = HexValue(text[pos]), lo = HexValue(text[pos + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
    pos += 2;
  }
  TGXGuid g;
  g.D1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
  g.D2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  g.D3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) g.D4[i] = bytes[8 + i];
  return g;
}

TGXGuid TGXGuid::Parse(std::string_view text) {
  if (auto g = TryParse(text)) return *g;
  throw EInvalidParameter({TGXExceptionArg::Object("TGXGuid"), "Parse", std::string(text)});
}

std::array<uint8_t, 16> TGXGuid::ToBytes() const {
  std::array<uint8_t, 16> b;
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(D1 >> (8 * i));
  b[4] = static_cast<uint8_t>(D2), b[5] = static_cast<uint8_t>(D2 >> 8);
  b[6] = static_cast<uint8_t>(D3), b[7] = static_cast<uint8_t>(D3 >> 8);
  for (int i = 0; i < 8; ++i) b[8 + i] = D4[i];
  return b;
}

TGXGuid TGXGuid::FromBytes(const uint8_t* b) {
  TGXGuid g;
  g.D1 = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  g.D2 = static_cast<uint16_t>(b[4] | b[5] << 8);
  g.D3 = static_cast<uint16_t>(b[6] | b[7] << 8);
  for (int i = 0; i < 8; ++i) g.D4[i] = b[8 + i];
  return g;
}

std::string TGXGuid::ToString() const {
  char buf[39];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", D1, D2, D3, D4[0],
                D4[1], D4[2], D4[3], D4[4], D4[5], D4[6], D4[7]);
  return buf;
}

}  // namespace gx
