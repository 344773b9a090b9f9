#pragma once
// The encodings every binary file of the engine and the application is built from: little-endian
// values written straight to a stream without padding, 8-bit strings (Windows-1252 in files,
// UTF-8 in memory), wide strings (UTF-16LE in files, UTF-8 in memory), texts per language, hashed
// names and the 22-byte engine file header.
//
// Every reader checks a length or count read from the data against the bytes that remain before
// it allocates anything, so a corrupt or hostile file ends in the stream's read error instead of
// a huge allocation.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXGuid.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXStream.h"

namespace gx {

// ---- primitive values ----

void WriteInteger(TGXStream& s, int32_t value);
int32_t ReadInteger(TGXStream& s);
void WriteCardinal(TGXStream& s, uint32_t value);
uint32_t ReadCardinal(TGXStream& s);
void WriteWord(TGXStream& s, uint16_t value);
uint16_t ReadWord(TGXStream& s);
void WriteByte(TGXStream& s, uint8_t value);
uint8_t ReadByte(TGXStream& s);
// One byte, 0 or 1; any other byte reads as true.
void WriteBoolean(TGXStream& s, bool value);
bool ReadBoolean(TGXStream& s);
void WriteSingle(TGXStream& s, float value);
float ReadSingle(TGXStream& s);
void WriteVector3(TGXStream& s, const TGXVector3& v);
TGXVector3 ReadVector3(TGXStream& s);
void WriteQuaternion(TGXStream& s, const TGXQuaternion& q);
TGXQuaternion ReadQuaternion(TGXStream& s);
// 16 singles, row by row.
void WriteMatrix(TGXStream& s, const TGXMatrix& m);
TGXMatrix ReadMatrix(TGXStream& s);
// 16 bytes in the Windows layout.
void WriteGuid(TGXStream& s, const TGXGuid& g);
TGXGuid ReadGuid(TGXStream& s);

// ---- counts ----

// Raises the stream's read error when count is negative or count elements of at least
// minElementSize bytes each cannot fit in the bytes that remain.
void CheckCount(TGXStream& s, int64_t count, int64_t minElementSize);
// Reads an Integer count of a list whose elements take at least minElementSize bytes, checked
// as above. Readers of lists use this instead of ReadInteger.
int32_t ReadCount(TGXStream& s, int64_t minElementSize);

// ---- strings ----

// Integer length in bytes, then the Windows-1252 bytes; characters the code page cannot hold are
// written as '?'.
void WriteAnsiString(TGXStream& s, std::string_view utf8);
std::string ReadAnsiString(TGXStream& s);
// Integer length in bytes (two per UTF-16 code unit), then UTF-16LE. A reader takes length / 2
// code units; the stray byte of an odd length is skipped.
void WriteWideString(TGXStream& s, std::string_view utf8);
std::string ReadWideString(TGXStream& s);

// The pieces between successive separators, empty pieces included, always with the piece after
// the last separator: "a;b;" gives "a", "b", "". An empty separator gives the single piece s.
std::vector<std::string> SplitString(std::string_view s, std::string_view separator);

// ---- checksum ----

// CRC-32 with the reflected polynomial 0xEDB88320, but starting at 0 and without the final
// inversion: "abc" gives 0xCA6598D0. Class identifiers and resource names in stored files are
// these values, so the variant must not change.
uint32_t GXChecksum(const void* data, size_t size, uint32_t start = 0);
// The checksum of a text's 8-bit (Windows-1252) bytes, as the text is stored in files.
uint32_t GXTextChecksum(std::string_view utf8);

// ---- texts per language ----

// Windows language identifiers. The program writes its own texts in German.
constexpr uint16_t GX_LANG_GERMAN = 0x0407;
constexpr uint16_t GX_LANG_ENGLISH = 0x0409;
constexpr uint16_t GX_LANG_FRENCH = 0x040C;
constexpr uint16_t GXProgramLanguage = GX_LANG_GERMAN;

// The Windows language identifier of a POSIX locale name ("de_AT.UTF-8" -> 0x0C07, "fr" ->
// 0x040C); 0 for "C", "POSIX", empty and unknown languages.
uint16_t GXLanguageFromLocale(std::string_view locale);
// The user's language: LC_ALL, else LC_MESSAGES, else LANG. The system's language: LANG of the
// system locale file (/etc/default/locale or /etc/locale.conf), else the user's. Either falls
// back to the program's language. Read once.
uint16_t GXUserDefaultUILanguage();
uint16_t GXSystemDefaultLanguage();
// Replaces both (0 = read from the locale again); for start-up options and tests.
void GXSetDefaultLanguages(uint16_t user, uint16_t system);

struct TGXLocalizedStringItem {
  uint16_t Language = 0;
  std::string Text;  // UTF-8
  friend bool operator==(const TGXLocalizedStringItem&, const TGXLocalizedStringItem&) = default;
};

// A text in several languages, at most one item per language. Stream form: Integer count, then
// per item the Word language and the wide string.
class TGXLocalizedString {
 public:
  void WriteLocalized(TGXStream& s) const;
  // Replaces the items with the ones read; a repeated language replaces the earlier text. On a
  // read error the object keeps its previous items.
  void ReadLocalized(TGXStream& s);

  void SetText(uint16_t language, std::string text, bool clearFirst = false);
  // The text in the user's language, replacing every other item.
  void SetUserText(std::string text);
  // The text in the user's language, else in the system's language, else the first item's text;
  // empty without items.
  std::string GetText() const { return GetText(GXUserDefaultUILanguage(), GXSystemDefaultLanguage()); }
  std::string GetText(uint16_t userLanguage, uint16_t systemLanguage) const;

  int IndexOfLanguage(uint16_t language) const;
  void Assign(const TGXLocalizedString& other) { FItems = other.FItems; }
  void Clear() { FItems.clear(); }
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::vector<TGXLocalizedStringItem>& Items() const { return FItems; }

  friend bool operator==(const TGXLocalizedString&, const TGXLocalizedString&) = default;

 private:
  std::vector<TGXLocalizedStringItem> FItems;
};

// ---- hashed names ----

// A name with its checksum, so that lookups compare numbers before texts. The checksum is
// computed on every assignment; the empty text has checksum 0.
class TGXHashString {
 public:
  TGXHashString() = default;
  explicit TGXHashString(std::string text) { Assign(std::move(text)); }

  void Assign(std::string text);
  const std::string& Text() const { return FText; }
  uint32_t Hash() const { return FHash; }

  friend bool operator==(const TGXHashString& a, const TGXHashString& b) {
    return a.FHash == b.FHash && a.FText == b.FText;
  }

 private:
  std::string FText;
  uint32_t FHash = 0;
};

// ---- engine file header ----

// Writes and checks the 22-byte header of the engine's files: the Word 0x2305, the file type's
// GUID and an Integer version. Serializers of particular files derive from it and name themselves
// through ClassName (the exception shows it).
class TGXSerializer {
 public:
  static constexpr uint16_t HeaderId = 0x2305;
  static constexpr int HeaderSize = 22;

  TGXSerializer(const TGXGuid& guid, int32_t version) : FGuid(guid), FVersion(version) {}
  virtual ~TGXSerializer() = default;

  void WriteFileHeader(TGXStream& s) const;
  // Raises EGXException (this, "ReadFileHeader", reason) at the first check that fails, with the
  // reason "Wrong header id", "Wrong guid" or "Wrong version"; nothing after the failing field is
  // read. With acceptAnyVersion the caller checks FileVersion itself.
  void ReadFileHeader(TGXStream& s, bool acceptAnyVersion = false);

  const TGXGuid& Guid() const { return FGuid; }
  int32_t Version() const { return FVersion; }
  // The version of the last header read; 0 before a read and when the header failed before its
  // version field.
  int32_t FileVersion() const { return FFileVersion; }
  virtual std::string ClassName() const { return "TGXSerializer"; }

 private:
  TGXGuid FGuid;
  int32_t FVersion;
  int32_t FFileVersion = 0;
};

}  // namespace gx
