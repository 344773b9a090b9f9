#include <gtest/gtest.h>

#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"

using namespace gx;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> v;
  for (int b : list) v.push_back(static_cast<uint8_t>(b));
  return v;
}

const TGXGuid kMeshGuid = TGXGuid::Parse("{5DE53BD1-B3E7-4203-BA69-C98A0DADE64F}");

class TMeshSerializer : public TGXSerializer {
 public:
  TMeshSerializer() : TGXSerializer(kMeshGuid, 3) {}
  std::string ClassName() const override { return "TGXMeshSerializer"; }
};

}  // namespace

TEST(GXGuid, TextAndWindowsBinaryLayout) {
  TGXGuid g = TGXGuid::Parse("{eddd04c5-d19b-43cb-83c3-b6ab1415c208}");
  EXPECT_EQ(g.ToString(), "{EDDD04C5-D19B-43CB-83C3-B6AB1415C208}");
  auto b = g.ToBytes();
  EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.end()),
            Bytes({0xC5, 0x04, 0xDD, 0xED, 0x9B, 0xD1, 0xCB, 0x43, 0x83, 0xC3, 0xB6, 0xAB, 0x14, 0x15, 0xC2,
                   0x08}));
  EXPECT_EQ(TGXGuid::FromBytes(b.data()), g);
  EXPECT_EQ(TGXGuid::Parse("EDDD04C5-D19B-43CB-83C3-B6AB1415C208"), g);

  for (const char* bad :
       {"", "{EDDD04C5-D19B-43CB-83C3-B6AB1415C208", "{EDDD04C5-D19B-43CB-83C3+B6AB1415C208}",
        "{EDDD04C5-D19B-43CB-83C3-B6AB1415C20G}", "EDDD04C5D19B43CB83C3B6AB1415C208"})
    EXPECT_FALSE(TGXGuid::TryParse(bad).has_value()) << bad;
  EXPECT_THROW(TGXGuid::Parse("x"), EInvalidParameter);

  TGXGuid a = TGXGuid::NewGuid(), c = TGXGuid::NewGuid();
  EXPECT_NE(a, c);
  EXPECT_FALSE(a.IsNull());
  EXPECT_EQ(TGXGuid::Parse(a.ToString()), a);
}

TEST(GXSerialization, PrimitiveEncodingsAreLittleEndianWithoutPadding) {
  TGXMemoryStream s;
  WriteInteger(s, -2);
  WriteWord(s, 0x0407);
  WriteBoolean(s, true);
  WriteSingle(s, 1.0f);
  WriteVector3(s, {1, 2, 3});
  WriteGuid(s, kMeshGuid);
  EXPECT_EQ(s.Size(), 4 + 2 + 1 + 4 + 12 + 16);
  EXPECT_EQ(std::vector<uint8_t>(s.Data().begin(), s.Data().begin() + 11),
            Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0x07, 0x04, 0x01, 0x00, 0x00, 0x80, 0x3F}));

  TGXMatrix m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  WriteMatrix(s, m);
  WriteQuaternion(s, {0.5f, -0.5f, 0.25f, 1});
  s.SetPosition(0);
  EXPECT_EQ(ReadInteger(s), -2);
  EXPECT_EQ(ReadWord(s), 0x0407);
  EXPECT_TRUE(ReadBoolean(s));
  EXPECT_EQ(ReadSingle(s), 1.0f);
  EXPECT_EQ(ReadVector3(s), TGXVector3(1, 2, 3));
  EXPECT_EQ(ReadGuid(s), kMeshGuid);
  EXPECT_EQ(ReadMatrix(s), m);
  EXPECT_EQ(ReadQuaternion(s), TGXQuaternion(0.5f, -0.5f, 0.25f, 1));
  EXPECT_THROW(ReadByte(s), EGXStreamReadError);
}

TEST(GXSerialization, StringsAreWindows1252AndUtf16InFiles) {
  TGXMemoryStream s;
  WriteAnsiString(s, "");
  WriteWideString(s, "");
  WriteWideString(s, "abc");
  WriteAnsiString(s, "Grüße €");
  WriteAnsiString(s, "Ω");
  EXPECT_EQ(std::vector<uint8_t>(s.Data().begin(), s.Data().begin() + 18),
            Bytes({0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 0x61, 0, 0x62, 0, 0x63, 0}));
  EXPECT_EQ(std::vector<uint8_t>(s.Data().begin() + 18, s.Data().end()),
            Bytes({7, 0, 0, 0, 'G', 'r', 0xFC, 0xDF, 'e', ' ', 0x80, 1, 0, 0, 0, '?'}));
  s.SetPosition(0);
  EXPECT_EQ(ReadAnsiString(s), "");
  EXPECT_EQ(ReadWideString(s), "");
  EXPECT_EQ(ReadWideString(s), "abc");
  EXPECT_EQ(ReadAnsiString(s), "Grüße €");
  EXPECT_EQ(ReadAnsiString(s), "?");

  TGXMemoryStream wide;
  WriteWideString(wide, "ä😀");
  wide.SetPosition(0);
  EXPECT_EQ(ReadInteger(wide), 6);
  wide.SetPosition(0);
  EXPECT_EQ(ReadWideString(wide), "ä😀");
}

TEST(GXSerialization, LongAndNonAsciiStringsKeepTheirBytes) {
  // Texts longer than a few hundred bytes, plain and with characters beyond ASCII, both forms.
  std::string plain(700, 'x');
  std::string mixed = std::string(600, 'a') + "é€Ł" + std::string(10, 'z');
  for (const std::string& text : {plain, mixed}) {
    TGXMemoryStream s;
    WriteAnsiString(s, text);
    WriteWideString(s, text);
    s.SetPosition(0);
    EXPECT_EQ(ReadAnsiString(s), text == plain ? plain : std::string(600, 'a') + "é€?" + std::string(10, 'z'));
    EXPECT_EQ(ReadWideString(s), text);
    EXPECT_EQ(s.Remaining(), 0);
  }
  // Code units whose low byte is ASCII or whose high byte is zero are no plain ASCII: "Łé".
  TGXMemoryStream wide(Bytes({4, 0, 0, 0, 0x41, 0x01, 0xE9, 0x00}));
  EXPECT_EQ(ReadWideString(wide), "Łé");
  // A lone surrogate becomes U+FFFD; the undefined code-page bytes survive a round trip.
  TGXMemoryStream lone(Bytes({4, 0, 0, 0, 0x00, 0xD8, 'b', 0}));
  EXPECT_EQ(ReadWideString(lone), "\xEF\xBF\xBD" "b");
  TGXMemoryStream undefined(Bytes({3, 0, 0, 0, 0x81, 'q', 0x9D}));
  std::string text = ReadAnsiString(undefined);
  EXPECT_EQ(text, "\xC2\x81q\xC2\x9D");
  TGXMemoryStream back;
  WriteAnsiString(back, text);
  EXPECT_EQ(back.Data(), Bytes({3, 0, 0, 0, 0x81, 'q', 0x9D}));
  // A run of singles cut short is a read error, not a partial value.
  TGXMemoryStream cut(Bytes({0, 0, 0x80, 0x3F, 0, 0, 0, 0x40, 0, 0}));
  EXPECT_THROW(ReadVector3(cut), EGXStreamReadError);
}

TEST(GXSerialization, LengthsAndCountsBeyondTheDataAreReadErrors) {
  // Negative, larger than what remains, and absurdly large lengths never allocate.
  for (int32_t length : {-1, 5, INT32_MAX, INT32_MIN}) {
    TGXMemoryStream s;
    WriteInteger(s, length);
    s.WriteBuffer("abcd", 4);
    s.SetPosition(0);
    EXPECT_THROW(ReadAnsiString(s), EGXStreamReadError) << length;
    s.SetPosition(0);
    EXPECT_THROW(ReadWideString(s), EGXStreamReadError) << length;
  }
  // An odd wide length: the stray byte is skipped and the next value is read in step.
  TGXMemoryStream odd(Bytes({3, 0, 0, 0, 'a', 0, 'x', 9, 0, 0, 0}));
  EXPECT_EQ(ReadWideString(odd), "a");
  EXPECT_EQ(ReadInteger(odd), 9);

  TGXMemoryStream list(Bytes({3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_THROW(ReadCount(list, 4), EGXStreamReadError);  // 3 elements of 4 bytes need 12
  list.SetPosition(0);
  EXPECT_EQ(ReadCount(list, 2), 3);
  try {
    CheckCount(list, 1000, 16);
    FAIL();
  } catch (const EGXStreamReadError& e) {
    EXPECT_EQ(std::string(e.what()), "Stream-Lesefehler: Anzahl 1000 an Position 4, 8 Bytes übrig");
  }
}

TEST(GXSerialization, LocalizedStringBytesAndLanguageFallback) {
  TGXLocalizedString t;
  t.SetText(GX_LANG_GERMAN, "Weiche");
  t.SetText(GX_LANG_ENGLISH, "xx");
  t.SetText(GX_LANG_ENGLISH, "Switch");  // replaces, keeps the order
  TGXMemoryStream s;
  t.WriteLocalized(s);
  std::vector<uint8_t> expected = Bytes({2, 0, 0, 0, 0x07, 0x04, 12, 0, 0, 0});
  for (char c : std::string("Weiche")) expected.push_back(c), expected.push_back(0);
  for (int b : {0x09, 0x04, 12, 0, 0, 0}) expected.push_back(static_cast<uint8_t>(b));
  for (char c : std::string("Switch")) expected.push_back(c), expected.push_back(0);
  EXPECT_EQ(s.Data(), expected);

  EXPECT_EQ(t.GetText(GX_LANG_ENGLISH, GX_LANG_GERMAN), "Switch");
  EXPECT_EQ(t.GetText(GX_LANG_FRENCH, GX_LANG_GERMAN), "Weiche");
  EXPECT_EQ(t.GetText(GX_LANG_FRENCH, GX_LANG_FRENCH), "Weiche");  // first item
  TGXLocalizedString englishFirst;
  englishFirst.SetText(GX_LANG_ENGLISH, "Switch");
  englishFirst.SetText(GX_LANG_GERMAN, "Weiche");
  EXPECT_EQ(englishFirst.GetText(GX_LANG_FRENCH, 0x0410), "Switch");
  EXPECT_EQ(TGXLocalizedString().GetText(GX_LANG_GERMAN, GX_LANG_GERMAN), "");

  // Reading replaces the items; a repeated language keeps the last text.
  TGXMemoryStream dup;
  WriteInteger(dup, 2);
  WriteWord(dup, GX_LANG_GERMAN), WriteWideString(dup, "alt");
  WriteWord(dup, GX_LANG_GERMAN), WriteWideString(dup, "neu");
  dup.SetPosition(0);
  t.ReadLocalized(dup);
  ASSERT_EQ(t.Count(), 1);
  EXPECT_EQ(t.Items()[0].Text, "neu");

  // A count the data cannot hold fails before anything is allocated; the old items stay.
  TGXMemoryStream forged(Bytes({0xFF, 0xFF, 0xFF, 0x7F, 0x07, 0x04, 0, 0, 0, 0}));
  EXPECT_THROW(t.ReadLocalized(forged), EGXStreamReadError);
  EXPECT_EQ(t.Items()[0].Text, "neu");
}

TEST(GXSerialization, LanguagesFromPosixLocales) {
  EXPECT_EQ(GXLanguageFromLocale("de_DE.UTF-8"), 0x0407);
  EXPECT_EQ(GXLanguageFromLocale("de_AT.UTF-8@euro"), 0x0C07);
  EXPECT_EQ(GXLanguageFromLocale("en_US"), 0x0409);
  EXPECT_EQ(GXLanguageFromLocale("en_GB.UTF-8"), 0x0809);
  EXPECT_EQ(GXLanguageFromLocale("fr"), 0x040C);
  EXPECT_EQ(GXLanguageFromLocale("C.UTF-8"), 0);
  EXPECT_EQ(GXLanguageFromLocale("POSIX"), 0);
  EXPECT_EQ(GXLanguageFromLocale(""), 0);

  GXSetDefaultLanguages(GX_LANG_FRENCH, GX_LANG_GERMAN);
  TGXLocalizedString t;
  t.SetText(GX_LANG_ENGLISH, "Switch");
  t.SetUserText("Aiguillage");
  ASSERT_EQ(t.Count(), 1);
  EXPECT_EQ(t.Items()[0].Language, GX_LANG_FRENCH);
  EXPECT_EQ(t.GetText(), "Aiguillage");
  GXSetDefaultLanguages(0, 0);
}

TEST(GXSerialization, HashStringChecksumAndSplit) {
  EXPECT_EQ(GXChecksum("abc", 3), 0xCA6598D0u);
  EXPECT_EQ(TGXHashString("abc").Hash(), 0xCA6598D0u);
  EXPECT_EQ(TGXHashString("").Hash(), 0u);
  // The checksum is of the Windows-1252 bytes the name has in files.
  EXPECT_EQ(TGXHashString("Grün").Hash(), GXChecksum("Gr\xFCn", 4));
  TGXHashString h;
  h.Assign("abc");
  EXPECT_EQ(h, TGXHashString("abc"));
  EXPECT_FALSE(h == TGXHashString("abd"));

  EXPECT_EQ(SplitString("a;b;", ";"), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(SplitString("abc", ";"), (std::vector<std::string>{"abc"}));
  EXPECT_EQ(SplitString("", ";"), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitString(";;x", ";"), (std::vector<std::string>{"", "", "x"}));
  EXPECT_EQ(SplitString("a::b", "::"), (std::vector<std::string>{"a", "b"}));
}

TEST(GXSerialization, FileHeaderBytesAndItsThreeFailures) {
  TMeshSerializer mesh;
  TGXMemoryStream s;
  mesh.WriteFileHeader(s);
  std::vector<uint8_t> expected = Bytes({0x05, 0x23});
  auto g = kMeshGuid.ToBytes();
  expected.insert(expected.end(), g.begin(), g.end());
  for (int b : {3, 0, 0, 0}) expected.push_back(static_cast<uint8_t>(b));
  EXPECT_EQ(s.Data(), expected);
  s.SetPosition(0);
  mesh.ReadFileHeader(s);
  EXPECT_EQ(mesh.FileVersion(), 3);

  auto message = [&](std::vector<uint8_t> bytes, bool any) {
    TGXMemoryStream in(std::move(bytes));
    try {
      mesh.ReadFileHeader(in, any);
    } catch (const EGXException& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  auto wrongId = expected;
  wrongId[0] = 0x06;
  EXPECT_EQ(message(wrongId, false),
            "Exception EGXException raised with args: TGXMeshSerializer, ReadFileHeader, Wrong header id");
  auto wrongGuid = expected;
  wrongGuid[5] ^= 1;
  EXPECT_EQ(message(wrongGuid, true),
            "Exception EGXException raised with args: TGXMeshSerializer, ReadFileHeader, Wrong guid");
  EXPECT_EQ(mesh.FileVersion(), 0);
  auto version2 = expected;
  version2[18] = 2;
  EXPECT_EQ(message(version2, false),
            "Exception EGXException raised with args: TGXMeshSerializer, ReadFileHeader, Wrong version");
  EXPECT_EQ(message(version2, true), "");
  EXPECT_EQ(mesh.FileVersion(), 2);

  TGXMemoryStream shortHeader(Bytes({0x05, 0x23, 1, 2}));
  EXPECT_THROW(mesh.ReadFileHeader(shortHeader), EGXStreamReadError);
}

TEST(GXStream, AdapterClampsReadsAndSeeks) {
  uint8_t block[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  TGXMemoryStreamAdapter a(block, 10);
  EXPECT_EQ(a.Seek(8, TGXSeekOrigin::Begin), 8);
  uint8_t buf[5] = {};
  EXPECT_EQ(a.Read(buf, 5), 2);
  EXPECT_EQ(buf[1], 9);
  EXPECT_EQ(a.Seek(-20, TGXSeekOrigin::Current), 0);
  EXPECT_EQ(a.Seek(5, TGXSeekOrigin::End), 10);
  EXPECT_EQ(a.Write(buf, 3), 0);  // never grows
  EXPECT_THROW(a.SetSize(4), EGXStreamWriteError);
}

// Exact reads from a fixed block are copied inline; the end of the block, a short read, reads
// after seeks and writes, and an empty adapter must behave as the general path does.
TEST(GXStream, AdapterExactReadsAtTheEndAndAcrossShortReads) {
  uint8_t block[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  TGXMemoryStreamAdapter a(block, 10);
  uint8_t buf[8] = {};
  a.ReadBuffer(buf, 4);
  EXPECT_EQ(buf[3], 3);
  EXPECT_EQ(a.Position(), 4);
  EXPECT_EQ(a.Remaining(), 6);
  a.ReadBuffer(buf, 6);  // exactly up to the end
  EXPECT_EQ(buf[5], 9);
  EXPECT_EQ(a.Position(), 10);
  EXPECT_EQ(a.Remaining(), 0);
  EXPECT_THROW(a.ReadBuffer(buf, 1), EGXStreamReadError);
  a.ReadBuffer(buf, 0);  // nothing to move is no error
  a.ReadBuffer(buf, -3);

  // A short read copies what is left, stops at the end and fails.
  a.SetPosition(7);
  buf[2] = 0xEE;
  EXPECT_THROW(a.ReadBuffer(buf, 4), EGXStreamReadError);
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(buf[2], 9);
  EXPECT_EQ(a.Position(), 10);

  // Seeks and writes move the position the inline read starts from.
  a.Seek(-8, TGXSeekOrigin::End);
  EXPECT_EQ(a.Remaining(), 8);
  uint8_t patch[2] = {42, 43};
  EXPECT_EQ(a.Write(patch, 2), 2);
  EXPECT_EQ(ReadByte(a), 4);
  a.SetPosition(2);
  EXPECT_EQ(ReadWord(a), 42 | 43 << 8);
  a.SetPosition(-5);  // clamped to the start
  EXPECT_EQ(ReadByte(a), 0);

  // Values across the end: a 4-byte Integer with 3 bytes left.
  a.SetPosition(7);
  EXPECT_THROW(ReadInteger(a), EGXStreamReadError);
  EXPECT_EQ(a.Remaining(), 0);

  // An adapter over nothing (or a negative size) holds no bytes.
  TGXMemoryStreamAdapter none(nullptr, 5), negative(block, -1);
  EXPECT_EQ(none.Size(), 0);
  EXPECT_EQ(negative.Size(), 0);
  EXPECT_THROW(none.ReadBuffer(buf, 1), EGXStreamReadError);
  EXPECT_THROW(ReadByte(negative), EGXStreamReadError);
  EXPECT_EQ(none.Remaining(), 0);
  EXPECT_EQ(none.Read(buf, 1), 0);
}

// Streams without a fixed block keep the general path: a growing memory stream read to its end.
TEST(GXStream, MemoryStreamExactReadsAfterGrowing) {
  TGXMemoryStream m;
  WriteInteger(m, 0x01020304);
  m.SetPosition(0);
  EXPECT_EQ(ReadInteger(m), 0x01020304);
  WriteInteger(m, 7);  // grows the block the stream reads from
  m.SetPosition(4);
  EXPECT_EQ(ReadInteger(m), 7);
  EXPECT_EQ(m.Remaining(), 0);
  EXPECT_THROW(ReadByte(m), EGXStreamReadError);
}
