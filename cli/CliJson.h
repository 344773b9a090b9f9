#pragma once
// The JSON pieces every command's --json output is made of.

#include <string>
#include <string_view>

namespace cli {

// A JSON string literal of UTF-8 text: quotes, backslashes and control characters escaped.
std::string JsonString(std::string_view text);
// The shortest text that reads back as the same single, independent of the locale; null for
// NaN and infinities.
std::string JsonNumber(float value);

}  // namespace cli
