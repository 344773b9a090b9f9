#include <algorithm>
#include <vector>
#include "engine/core/GXStrings.h"

#include <cstdint>

namespace gx {

namespace {

// Code points of the bytes 0x80...0x9F in Windows-1252 (the rest equals Latin-1). The undefined
// bytes keep their own value.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one well-formed UTF-8 sequence; false for anything else (stray continuation bytes,
// overlong forms, surrogates, values above U+10FFFF, truncated sequences).
bool TryDecode(std::string_view s, size_t pos, char32_t& c, size_t& len) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + pos;
  size_t avail = s.size() - pos;
  unsigned char b0 = p[0];
  if (b0 < 0x80) {
    c = b0;
    len = 1;
    return true;
  }
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, c = b0 & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (avail < len) return false;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return false;
    c = (c << 6) | (p[i] & 0x3F);
  }
  return c >= min && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

// A byte that is not valid UTF-8 compares as a private value above every real code point, so
// two such texts still have a stable order.
constexpr char32_t kInvalidByteBase = 0x110000;

char32_t FoldedAt(std::string_view s, size_t& pos) {
  unsigned char b = static_cast<unsigned char>(s[pos]);
  if (b < 0x80) {
    ++pos;
    return (b >= 'A' && b <= 'Z') ? b + 32 : b;
  }
  char32_t c;
  size_t len;
  if (!TryDecode(s, pos, c, len)) {
    ++pos;
    return kInvalidByteBase + b;
  }
  pos += len;
  return LowerCaseChar(c);
}

template <class Map>
std::string MapCase(std::string_view s, Map map) {
  std::string out;
  out.reserve(s.size());
  size_t pos = 0;
  while (pos < s.size()) {
    char32_t c;
    size_t len;
    if (TryDecode(s, pos, c, len)) {
      AppendUtf8(out, map(c));
      pos += len;
    } else {
      out += s[pos++];  // not UTF-8: kept unchanged rather than replaced
    }
  }
  return out;
}

}  // namespace

char32_t DecodeUtf8(std::string_view s, size_t& pos) {
  char32_t c;
  size_t len;
  if (TryDecode(s, pos, c, len)) {
    pos += len;
    return c;
  }
  ++pos;
  return 0xFFFD;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

namespace {

// Most stored texts are plain ASCII, which every conversion here keeps byte for byte.
bool IsAscii(const char* p, size_t n) {
  unsigned char any = 0;
  for (size_t i = 0; i < n; ++i) any |= static_cast<unsigned char>(p[i]);
  return any < 0x80;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  if (IsAscii(ansi.data(), ansi.size())) return std::string(ansi);
  std::string out;
  out.reserve(ansi.size());
  for (char ch : ansi) {
    unsigned char b = static_cast<unsigned char>(ch);
    if (b < 0x80)
      out += ch;
    else
      AppendUtf8(out, b < 0xA0 ? kCp1252High[b - 0x80] : char32_t(b));
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (IsAscii(utf8.data(), utf8.size())) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    unsigned char b = static_cast<unsigned char>(utf8[pos]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++pos;
      continue;
    }
    char32_t c = DecodeUtf8(utf8, pos);
    char mapped = '?';
    if (c >= 0xA0 && c <= 0xFF) {
      mapped = static_cast<char>(c);
    } else {
      for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == c) {
          mapped = static_cast<char>(0x80 + i);
          break;
        }
    }
    out += mapped;
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    unsigned char b = static_cast<unsigned char>(utf8[pos]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++pos;
      continue;
    }
    char32_t c = DecodeUtf8(utf8, pos);
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  char16_t any = 0;
  for (char16_t c : utf16) any |= c;
  if (any < 0x80) return std::string(utf16.begin(), utf16.end());
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, c);  // a lone surrogate becomes U+FFFD there
  }
  return out;
}

size_t Utf16Length(std::string_view utf8) {
  size_t n = 0, pos = 0;
  while (pos < utf8.size()) n += DecodeUtf8(utf8, pos) >= 0x10000 ? 2 : 1;
  return n;
}

char32_t LowerCaseChar(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  switch (c) {
    case 0x0152:
      return 0x0153;  // Œ
    case 0x0160:
      return 0x0161;  // Š
    case 0x017D:
      return 0x017E;  // Ž
    case 0x0178:
      return 0x00FF;  // Ÿ
    default:
      return c;
  }
}

char32_t UpperCaseChar(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  switch (c) {
    case 0x0153:
      return 0x0152;
    case 0x0161:
      return 0x0160;
    case 0x017E:
      return 0x017D;
    case 0x00FF:
      return 0x0178;
    default:
      return c;
  }
}

std::string LowerCaseText(std::string_view s) { return MapCase(s, LowerCaseChar); }
std::string UpperCaseText(std::string_view s) { return MapCase(s, UpperCaseChar); }

int CompareText(std::string_view a, std::string_view b) {
  // Equal bytes fold equally: the common prefix is skipped, back to just after its last ASCII
  // byte, which always ends a character in both (sorted name lists share long prefixes).
  size_t k = 0;
  const size_t n = std::min(a.size(), b.size());
  while (k < n && a[k] == b[k]) ++k;
  while (k > 0 && static_cast<unsigned char>(a[k - 1]) >= 0x80) --k;
  size_t i = k, j = k;
  while (i < a.size() && j < b.size()) {
    char32_t ca = FoldedAt(a, i);
    char32_t cb = FoldedAt(b, j);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

std::string_view TrimText(std::string_view s) {
  size_t begin = 0, end = s.size();
  while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  return s.substr(begin, end - begin);
}

std::string FoldPathSegments(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += separator;
    out += parts[i];
  }
  return out;
}

}  // namespace gx
