#pragma once
// Text helpers shared by every unit. In memory all text is UTF-8; files hold 8-bit text in
// Windows-1252 and wide text in UTF-16LE, so the conversions live here. Case-insensitive
// comparisons fold ASCII and the Latin letters of Windows-1252 (ä/Ä, é/É, š/Š, œ/Œ, ÿ/Ÿ, ...);
// other scripts compare exactly. Invalid UTF-8 never throws: a bad byte stands for itself when
// comparing and becomes U+FFFD (or '?' in Windows-1252) when converted.

#include <cstddef>
#include <string>
#include <string_view>

namespace gx {

// Decodes the code point at pos and advances pos. A byte that does not start a valid, shortest
// sequence yields U+FFFD and advances by one. pos must be < s.size().
char32_t DecodeUtf8(std::string_view s, size_t& pos);
// Appends c as UTF-8; surrogates and values above U+10FFFF are written as U+FFFD.
void AppendUtf8(std::string& out, char32_t c);

// Windows-1252 bytes to UTF-8. The five bytes the code page leaves undefined map to the C1
// control characters of the same value, so every byte string survives a round trip.
std::string AnsiToUtf8(std::string_view ansi);
// UTF-8 to Windows-1252; characters the code page cannot hold become '?'.
std::string Utf8ToAnsi(std::string_view utf8);

// UTF-8 to UTF-16 code units (characters above U+FFFF become surrogate pairs).
std::u16string Utf8ToUtf16(std::string_view utf8);
// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// Number of UTF-16 code units the UTF-8 text needs (the length a wide string has in files).
size_t Utf16Length(std::string_view utf8);

char32_t LowerCaseChar(char32_t c);
char32_t UpperCaseChar(char32_t c);
// Case mapping of ASCII and the Windows-1252 letters; every other byte is kept as it is.
std::string LowerCaseText(std::string_view s);
std::string UpperCaseText(std::string_view s);

// Case-insensitive three-way comparison by folded (lower-case) code points: < 0, 0 or > 0.
// This is the order of package directories and of every sorted name list.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

// Removes leading and trailing blanks and control characters (everything up to U+0020).
std::string_view TrimText(std::string_view s);

// Splits a path at '\' and '/', drops empty and "." segments, removes each ".." with the segment
// before it (a ".." with nothing before it is dropped, so the result never climbs above the folder
// it is relative to) and joins the rest with separator. Shared by file-system and package names.
std::string FoldPathSegments(std::string_view text, char separator);

}  // namespace gx
