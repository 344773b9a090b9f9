#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/core/GXStrings.h"

using namespace gx;

TEST(GXStrings, Windows1252RoundTripsEveryByteAndReplacesWhatItCannotHold) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);

  EXPECT_EQ(AnsiToUtf8("Gr\xFC\xDF"
                       "e \x80\x8A"),
            "Grüße €Š");
  EXPECT_EQ(Utf8ToAnsi("Grüße €Š"),
            "Gr\xFC\xDF"
            "e \x80\x8A");
  // Greek, CJK, an emoji and a broken sequence cannot be written in the code page.
  EXPECT_EQ(Utf8ToAnsi("a\xCE\xA9"
                       "b\xE6\x97\xA5\xF0\x9F\x98\x80"
                       "c\xC3"),
            "a?b??c?");
}

TEST(GXStrings, Utf16ConversionHandlesSurrogatesAndBrokenInput) {
  EXPECT_EQ(Utf8ToUtf16("aä€😀"), (std::u16string{u'a', 0x00E4, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0x00E4, 0x20AC, 0xD83D, 0xDE00}), "aä€😀");
  EXPECT_EQ(Utf16Length("aä€😀"), 5u);
  // A lone surrogate (either half) becomes the replacement character.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D, u'x', 0xDE00}), "\xEF\xBF\xBDx\xEF\xBF\xBD");
  // Overlong forms and encoded surrogates are not UTF-8.
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF\xED\xA0\x80"), std::u16string(5, 0xFFFD));
}

TEST(GXStrings, CaseFoldingCoversAsciiAndLatinLetters) {
  EXPECT_EQ(LowerCaseText("ÄÖÜ ÀÉÎ ŠŒŽŸ ß × ABC"), "äöü àéî šœžÿ ß × abc");
  EXPECT_EQ(UpperCaseText("äöü àéî šœžÿ ß ÷ abc"), "ÄÖÜ ÀÉÎ ŠŒŽŸ ß ÷ ABC");
  EXPECT_FALSE(SameText("Grüße", "GRÜSSE"));  // ß has no single upper-case letter
  EXPECT_TRUE(SameText("Grüße\\Straße.TXT", "GRÜßE\\straße.txt"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  // Bytes that are not UTF-8 are kept by the case mapping and still compare equal to themselves.
  EXPECT_EQ(LowerCaseText("A\xFF"
                          "B"),
            "a\xFF"
            "b");
  EXPECT_TRUE(SameText("A\xFF", "a\xFF"));
  EXPECT_FALSE(SameText("a\xFE", "a\xFF"));
}

TEST(GXStrings, CompareTextOrdersByFoldedCodePoints) {
  // Folding to lower case puts '_' and '\' before letters, as directory listings expect.
  std::vector<std::string> names = {"b.dds", "A.txt", "a_b", "a\\b", "Ab", "ä", "Z"};
  std::sort(names.begin(), names.end(), [](auto& a, auto& b) { return CompareText(a, b) < 0; });
  EXPECT_EQ(names, (std::vector<std::string>{"A.txt", "a\\b", "a_b", "Ab", "b.dds", "Z", "ä"}));
  EXPECT_LT(CompareText("a", "AB"), 0);
  EXPECT_GT(CompareText("ab", "A"), 0);
  EXPECT_EQ(CompareText("Ä", "ä"), 0);
}

TEST(GXStrings, TrimRemovesBlanksAndControlCharacters) {
  EXPECT_EQ(TrimText(" \t a b \r\n"), "a b");
  EXPECT_EQ(TrimText("   "), "");
  EXPECT_EQ(TrimText(""), "");
}
