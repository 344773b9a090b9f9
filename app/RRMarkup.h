#pragma once
// Text put into HTML or XML: the characters with a meaning there written as entities. Shared by
// the parts list's web page, the package server's listing and the automation interface's
// description.

#include <string>
#include <string_view>

namespace rr {

// &, <, > and " as &amp; &lt; &gt; &quot; (and ' as &apos; for XML attributes when asked).
inline std::string RREscapeMarkup(std::string_view text, bool apostrophe = false) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        if (apostrophe) {
          out += "&apos;";
          break;
        }
        [[fallthrough]];
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace rr
