#include "engine/core/GXSerialization.h"

#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "engine/core/GXException.h"
#include "engine/core/GXStrings.h"

namespace gx {

// ---- primitive values ----

namespace {

void WriteLE(TGXStream& s, uint64_t value, int bytes) {
  uint8_t b[8];
  for (int i = 0; i < bytes; ++i) b[i] = static_cast<uint8_t>(value >> (8 * i));
  s.WriteBuffer(b, bytes);
}

uint64_t ReadLE(TGXStream& s, int bytes) {
  uint8_t b[8];
  s.ReadBuffer(b, bytes);
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint64_t(b[i]) << (8 * i);
  return v;
}

// A length the writer cannot express as an Integer would corrupt the file; refuse it.
int32_t CheckedLength(size_t bytes) {
  if (bytes > static_cast<size_t>(INT32_MAX)) throw EGXStreamWriteError();
  return static_cast<int32_t>(bytes);
}

}  // namespace

void WriteInteger(TGXStream& s, int32_t value) { WriteLE(s, static_cast<uint32_t>(value), 4); }
int32_t ReadInteger(TGXStream& s) { return static_cast<int32_t>(static_cast<uint32_t>(ReadLE(s, 4))); }
void WriteCardinal(TGXStream& s, uint32_t value) { WriteLE(s, value, 4); }
uint32_t ReadCardinal(TGXStream& s) { return static_cast<uint32_t>(ReadLE(s, 4)); }
void WriteWord(TGXStream& s, uint16_t value) { WriteLE(s, value, 2); }
uint16_t ReadWord(TGXStream& s) { return static_cast<uint16_t>(ReadLE(s, 2)); }
void WriteByte(TGXStream& s, uint8_t value) { s.WriteBuffer(&value, 1); }
uint8_t ReadByte(TGXStream& s) {
  uint8_t b;
  s.ReadBuffer(&b, 1);
  return b;
}
void WriteBoolean(TGXStream& s, bool value) { WriteByte(s, value ? 1 : 0); }
bool ReadBoolean(TGXStream& s) { return ReadByte(s) != 0; }

namespace {

// Runs of singles move through the stream in one piece: one call instead of one per value.
void PutSingles(uint8_t* out, const float* values, int count) {
  for (int i = 0; i < count; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &values[i], 4);
    for (int k = 0; k < 4; ++k) out[4 * i + k] = static_cast<uint8_t>(bits >> (8 * k));
  }
}

void GetSingles(const uint8_t* in, float* values, int count) {
  for (int i = 0; i < count; ++i) {
    uint32_t bits = uint32_t(in[4 * i]) | uint32_t(in[4 * i + 1]) << 8 | uint32_t(in[4 * i + 2]) << 16 |
                    uint32_t(in[4 * i + 3]) << 24;
    std::memcpy(&values[i], &bits, 4);
  }
}

void WriteSingles(TGXStream& s, const float* values, int count) {
  uint8_t b[64];
  PutSingles(b, values, count);
  s.WriteBuffer(b, 4 * count);
}

void ReadSingles(TGXStream& s, float* values, int count) {
  uint8_t b[64];
  s.ReadBuffer(b, 4 * count);
  GetSingles(b, values, count);
}

}  // namespace

void WriteSingle(TGXStream& s, float value) { WriteSingles(s, &value, 1); }

float ReadSingle(TGXStream& s) {
  float value;
  ReadSingles(s, &value, 1);
  return value;
}

void WriteVector3(TGXStream& s, const TGXVector3& v) {
  const float f[3] = {v.x, v.y, v.z};
  WriteSingles(s, f, 3);
}

TGXVector3 ReadVector3(TGXStream& s) {
  float f[3];
  ReadSingles(s, f, 3);
  return {f[0], f[1], f[2]};
}

void WriteQuaternion(TGXStream& s, const TGXQuaternion& q) {
  const float f[4] = {q.x, q.y, q.z, q.w};
  WriteSingles(s, f, 4);
}

TGXQuaternion ReadQuaternion(TGXStream& s) {
  float f[4];
  ReadSingles(s, f, 4);
  TGXQuaternion q;
  q.x = f[0], q.y = f[1], q.z = f[2], q.w = f[3];
  return q;
}

void WriteMatrix(TGXStream& s, const TGXMatrix& m) {
  float f[16];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) f[4 * r + c] = m.m[r][c];
  WriteSingles(s, f, 16);
}

TGXMatrix ReadMatrix(TGXStream& s) {
  float f[16];
  ReadSingles(s, f, 16);
  TGXMatrix m;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m.m[r][c] = f[4 * r + c];
  return m;
}

void WriteGuid(TGXStream& s, const TGXGuid& g) {
  auto b = g.ToBytes();
  s.WriteBuffer(b.data(), 16);
}

TGXGuid ReadGuid(TGXStream& s) {
  uint8_t b[16];
  s.ReadBuffer(b, 16);
  return TGXGuid::FromBytes(b);
}

// ---- counts ----

void CheckCount(TGXStream& s, int64_t count, int64_t minElementSize) {
  int64_t remaining = s.Remaining();
  bool fits = count >= 0 && (minElementSize <= 0 || count <= remaining / minElementSize);
  if (!fits)
    throw EGXStreamReadError("Anzahl " + std::to_string(count) + " an Position " +
                             std::to_string(s.Position()) + ", " + std::to_string(remaining) +
                             " Bytes übrig");
}

int32_t ReadCount(TGXStream& s, int64_t minElementSize) {
  int32_t count = ReadInteger(s);
  CheckCount(s, count, minElementSize);
  return count;
}

// ---- strings ----

namespace {

// Short strings go out as one piece with their length; longer ones in two.
constexpr size_t kStackString = 512;

bool IsAscii(std::string_view text) {
  unsigned char any = 0;
  for (char c : text) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

void WriteLengthAndBytes(TGXStream& s, const uint8_t* bytes, size_t size) {
  uint8_t b[4 + kStackString];
  int32_t length = CheckedLength(size);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(static_cast<uint32_t>(length) >> (8 * i));
  if (size <= kStackString) {
    if (size) std::memcpy(b + 4, bytes, size);
    s.WriteBuffer(b, static_cast<int64_t>(4 + size));
    return;
  }
  s.WriteBuffer(b, 4);
  s.WriteBuffer(bytes, static_cast<int64_t>(size));
}

}  // namespace

void WriteAnsiString(TGXStream& s, std::string_view utf8) {
  if (IsAscii(utf8)) {
    WriteLengthAndBytes(s, reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size());
    return;
  }
  std::string ansi = Utf8ToAnsi(utf8);
  WriteLengthAndBytes(s, reinterpret_cast<const uint8_t*>(ansi.data()), ansi.size());
}

std::string ReadAnsiString(TGXStream& s) {
  int32_t length = ReadCount(s, 1);
  std::string ansi(static_cast<size_t>(length), '\0');
  s.ReadBuffer(ansi.data(), length);
  // ASCII reads as it is stored; only other bytes need the code page.
  if (IsAscii(ansi)) return ansi;
  return AnsiToUtf8(ansi);
}

void WriteWideString(TGXStream& s, std::string_view utf8) {
  uint8_t stack[kStackString];
  std::vector<uint8_t> heap;
  if (IsAscii(utf8)) {
    // One code unit per byte, the high byte zero.
    size_t size = utf8.size() * 2;
    uint8_t* bytes = stack;
    if (size > kStackString) {
      heap.resize(size);
      bytes = heap.data();
    }
    for (size_t i = 0; i < utf8.size(); ++i) {
      bytes[2 * i] = static_cast<uint8_t>(utf8[i]);
      bytes[2 * i + 1] = 0;
    }
    WriteLengthAndBytes(s, bytes, size);
    return;
  }
  std::u16string wide = Utf8ToUtf16(utf8);
  heap.resize(wide.size() * 2);
  for (size_t i = 0; i < wide.size(); ++i) {
    heap[2 * i] = static_cast<uint8_t>(wide[i] & 0xFF);
    heap[2 * i + 1] = static_cast<uint8_t>(wide[i] >> 8);
  }
  WriteLengthAndBytes(s, heap.data(), heap.size());
}

std::string ReadWideString(TGXStream& s) {
  int32_t length = ReadCount(s, 1);
  uint8_t stack[kStackString];
  std::vector<uint8_t> heap;
  uint8_t* bytes = stack;
  if (static_cast<size_t>(length) > kStackString) {
    heap.resize(static_cast<size_t>(length));
    bytes = heap.data();
  }
  s.ReadBuffer(bytes, length);
  size_t units = static_cast<size_t>(length / 2);
  uint8_t any = 0;
  for (size_t i = 0; i < units; ++i) any |= static_cast<uint8_t>(bytes[2 * i] & 0x80) | bytes[2 * i + 1];
  if (any == 0) {
    // ASCII: every code unit is one UTF-8 byte.
    std::string out(units, '\0');
    for (size_t i = 0; i < units; ++i) out[i] = static_cast<char>(bytes[2 * i]);
    return out;
  }
  std::u16string wide(units, u'\0');
  for (size_t i = 0; i < units; ++i) wide[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return Utf16ToUtf8(wide);
}

std::vector<std::string> SplitString(std::string_view s, std::string_view separator) {
  std::vector<std::string> pieces;
  if (separator.empty()) {
    pieces.emplace_back(s);
    return pieces;
  }
  size_t start = 0;
  for (;;) {
    size_t hit = s.find(separator, start);
    if (hit == std::string_view::npos) break;
    pieces.emplace_back(s.substr(start, hit - start));
    start = hit + separator.size();
  }
  pieces.emplace_back(s.substr(start));
  return pieces;
}

// ---- checksum ----

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint32_t GXChecksum(const void* data, size_t size, uint32_t start) {
  const auto* p = static_cast<const uint8_t*>(data);
  uint32_t h = start;
  for (size_t i = 0; i < size; ++i) h = kCrcTable[(h ^ p[i]) & 0xFF] ^ (h >> 8);
  return h;
}

uint32_t GXTextChecksum(std::string_view utf8) {
  for (char c : utf8)
    if (static_cast<unsigned char>(c) >= 0x80) {
      std::string ansi = Utf8ToAnsi(utf8);
      return GXChecksum(ansi.data(), ansi.size());
    }
  return GXChecksum(utf8.data(), utf8.size());
}

// ---- languages ----

uint16_t GXLanguageFromLocale(std::string_view locale) {
  // "ll_CC.charset@modifier": language and optional country.
  size_t cut = locale.find_first_of(".@");
  if (cut != std::string_view::npos) locale = locale.substr(0, cut);
  std::string lang = LowerCaseText(locale.substr(0, locale.find_first_of("_-")));
  std::string country;
  if (size_t sep = locale.find_first_of("_-"); sep != std::string_view::npos)
    country = UpperCaseText(locale.substr(sep + 1));

  struct Regional {
    const char* Lang;
    const char* Country;
    uint16_t Id;
  };
  static const Regional kRegional[] = {
      {"de", "AT", 0x0C07}, {"de", "CH", 0x0807}, {"de", "LU", 0x1007}, {"de", "LI", 0x1407},
      {"en", "GB", 0x0809}, {"en", "AU", 0x0C09}, {"en", "CA", 0x1009}, {"en", "NZ", 0x1409},
      {"en", "IE", 0x1809}, {"fr", "BE", 0x080C}, {"fr", "CA", 0x0C0C}, {"fr", "CH", 0x100C},
      {"fr", "LU", 0x140C}, {"it", "CH", 0x0810}, {"nl", "BE", 0x0813}, {"es", "MX", 0x080A},
      {"pt", "BR", 0x0416}, {"zh", "TW", 0x0404}, {"zh", "HK", 0x0C04}, {"sv", "FI", 0x081D},
  };
  for (const auto& r : kRegional)
    if (lang == r.Lang && country == r.Country) return r.Id;

  struct Primary {
    const char* Lang;
    uint16_t Id;
  };
  static const Primary kPrimary[] = {
      {"de", 0x0407}, {"en", 0x0409}, {"fr", 0x040C}, {"it", 0x0410}, {"es", 0x0C0A}, {"nl", 0x0413},
      {"pl", 0x0415}, {"cs", 0x0405}, {"da", 0x0406}, {"sv", 0x041D}, {"nb", 0x0414}, {"no", 0x0414},
      {"nn", 0x0814}, {"fi", 0x040B}, {"pt", 0x0816}, {"hu", 0x040E}, {"ru", 0x0419}, {"sk", 0x041B},
      {"sl", 0x0424}, {"ja", 0x0411}, {"zh", 0x0804}, {"tr", 0x041F}, {"el", 0x0408}, {"ko", 0x0412},
      {"hr", 0x041A}, {"ro", 0x0418}, {"uk", 0x0422}, {"lb", 0x046E},
  };
  for (const auto& p : kPrimary)
    if (lang == p.Lang) return p.Id;
  return 0;
}

namespace {

uint16_t FUserLanguage = 0;
uint16_t FSystemLanguage = 0;
bool FLanguagesKnown = false;

std::string SystemLocaleName() {
  for (const char* file : {"/etc/default/locale", "/etc/locale.conf"}) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      std::string_view v = TrimText(line);
      if (v.substr(0, 5) != "LANG=") continue;
      v.remove_prefix(5);
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      return std::string(v);
    }
  }
  return {};
}

void EnsureLanguages() {
  if (FLanguagesKnown) return;
  std::string user;
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"})
    if (const char* v = std::getenv(var); v && *v) {
      user = v;
      break;
    }
  uint16_t userId = GXLanguageFromLocale(user);
  uint16_t systemId = GXLanguageFromLocale(SystemLocaleName());
  FUserLanguage = userId ? userId : GXProgramLanguage;
  FSystemLanguage = systemId ? systemId : FUserLanguage;
  FLanguagesKnown = true;
}

}  // namespace

uint16_t GXUserDefaultUILanguage() {
  EnsureLanguages();
  return FUserLanguage;
}

uint16_t GXSystemDefaultLanguage() {
  EnsureLanguages();
  return FSystemLanguage;
}

void GXSetDefaultLanguages(uint16_t user, uint16_t system) {
  FLanguagesKnown = false;
  EnsureLanguages();
  if (user) FUserLanguage = user;
  if (system) FSystemLanguage = system;
}

// ---- texts per language ----

void TGXLocalizedString::WriteLocalized(TGXStream& s) const {
  WriteInteger(s, static_cast<int32_t>(FItems.size()));
  for (const auto& item : FItems) {
    WriteWord(s, item.Language);
    WriteWideString(s, item.Text);
  }
}

void TGXLocalizedString::ReadLocalized(TGXStream& s) {
  TGXLocalizedString read;
  int32_t count = ReadCount(s, 2 + 4);  // language and an empty text at least
  for (int32_t i = 0; i < count; ++i) {
    uint16_t language = ReadWord(s);
    read.SetText(language, ReadWideString(s));
  }
  FItems = std::move(read.FItems);
}

void TGXLocalizedString::SetText(uint16_t language, std::string text, bool clearFirst) {
  if (clearFirst) FItems.clear();
  int i = IndexOfLanguage(language);
  if (i >= 0)
    FItems[i].Text = std::move(text);
  else
    FItems.push_back({language, std::move(text)});
}

void TGXLocalizedString::SetUserText(std::string text) {
  SetText(GXUserDefaultUILanguage(), std::move(text), true);
}

std::string TGXLocalizedString::GetText(uint16_t userLanguage, uint16_t systemLanguage) const {
  int i = IndexOfLanguage(userLanguage);
  if (i < 0 && systemLanguage != userLanguage) i = IndexOfLanguage(systemLanguage);
  if (i >= 0) return FItems[i].Text;
  return FItems.empty() ? std::string() : FItems.front().Text;
}

int TGXLocalizedString::IndexOfLanguage(uint16_t language) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].Language == language) return static_cast<int>(i);
  return -1;
}

// ---- hashed names ----

void TGXHashString::Assign(std::string text) {
  FText = std::move(text);
  FHash = GXTextChecksum(FText);
}

// ---- engine file header ----

void TGXSerializer::WriteFileHeader(TGXStream& s) const {
  WriteWord(s, HeaderId);
  WriteGuid(s, FGuid);
  WriteInteger(s, FVersion);
}

void TGXSerializer::ReadFileHeader(TGXStream& s, bool acceptAnyVersion) {
  FFileVersion = 0;
  auto fail = [this](const char* reason) {
    throw EGXException({TGXExceptionArg::Object(ClassName()), "ReadFileHeader", reason});
  };
  if (ReadWord(s) != HeaderId) fail("Wrong header id");
  if (ReadGuid(s) != FGuid) fail("Wrong guid");
  FFileVersion = ReadInteger(s);
  if (!acceptAnyVersion && FFileVersion != FVersion) fail("Wrong version");
}

}  // namespace gx
