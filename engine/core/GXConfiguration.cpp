#include "engine/core/GXConfiguration.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/core/GXException.h"

namespace gx {

namespace {

std::string_view TrimAscii(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

pugi::xml_node FindChild(pugi::xml_node parent, std::string_view name) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && name == child.name()) return child;
  return {};
}

bool IsText(pugi::xml_node node) { return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata; }

// Turns the parser's LF line ends into CR LF. A CR inside a value is written as a character
// reference: written raw it would come back as a line break of its own.
class TCrLfWriter : public pugi::xml_writer {
 public:
  explicit TCrLfWriter(TGXStream& stream) : FStream(stream) {}
  void write(const void* data, size_t size) override {
    const char* p = static_cast<const char*>(data);
    std::string out;
    out.reserve(size + size / 16);
    for (size_t i = 0; i < size; ++i) {
      if (p[i] == '\n') out += "\r\n";
      else if (p[i] == '\r') out += "&#13;";
      else out += p[i];
    }
    FStream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
  }

 private:
  TGXStream& FStream;
};

// The code units of a document as the parser will see them: one byte (UTF-8), two or four
// bytes in either order. Markup is ASCII in every one of these, so the depth scan below only
// looks at unit values.
struct TCodeUnits {
  const uint8_t* Data = nullptr;
  size_t Count = 0;
  int Width = 1;
  bool BigEndian = false;
  pugi::xml_encoding Encoding = pugi::encoding_utf8;

  uint32_t operator[](size_t i) const {
    const uint8_t* p = Data + i * static_cast<size_t>(Width);
    switch (Width) {
      case 2:
        return BigEndian ? (uint32_t(p[0]) << 8 | p[1]) : (uint32_t(p[1]) << 8 | p[0]);
      case 4:
        return BigEndian ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
                         : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
      default:
        return p[0];
    }
  }
};

// Byte-order marks first, then the first "<" in each form; everything else is UTF-8. The parser
// is then told this encoding, so the scan and the parser read the same characters.
TCodeUnits DetectUnits(const std::vector<char>& bytes) {
  TCodeUnits u;
  u.Data = reinterpret_cast<const uint8_t*>(bytes.data());
  auto b = [&](size_t i) { return i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : 0xFFu; };
  auto set = [&](int width, bool big, pugi::xml_encoding encoding) {
    u.Width = width;
    u.BigEndian = big;
    u.Encoding = encoding;
  };
  if (b(0) == 0 && b(1) == 0 && b(2) == 0xFE && b(3) == 0xFF)
    set(4, true, pugi::encoding_utf32_be);
  else if (b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0)
    set(4, false, pugi::encoding_utf32_le);
  else if (b(0) == 0xFE && b(1) == 0xFF)
    set(2, true, pugi::encoding_utf16_be);
  else if (b(0) == 0xFF && b(1) == 0xFE)
    set(2, false, pugi::encoding_utf16_le);
  else if (b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF)
    set(1, false, pugi::encoding_utf8);
  else if (b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) == '<')
    set(4, true, pugi::encoding_utf32_be);
  else if (b(0) == '<' && b(1) == 0 && b(2) == 0 && b(3) == 0)
    set(4, false, pugi::encoding_utf32_le);
  else if (b(0) == 0 && b(1) == '<')
    set(2, true, pugi::encoding_utf16_be);
  else if (b(0) == '<' && b(1) == 0)
    set(2, false, pugi::encoding_utf16_le);
  u.Count = bytes.size() / static_cast<size_t>(u.Width);
  return u;
}

bool At(const TCodeUnits& u, size_t i, std::string_view text) {
  if (i + text.size() > u.Count) return false;
  for (size_t k = 0; k < text.size(); ++k)
    if (u[i + k] != static_cast<unsigned char>(text[k])) return false;
  return true;
}

// Index just behind the next `end` at or after i, or Count when the document ends first.
size_t Behind(const TCodeUnits& u, size_t i, std::string_view end) {
  for (; i < u.Count; ++i)
    if (At(u, i, end)) return i + end.size();
  return u.Count;
}

// Index behind the '>' that closes a tag or declaration starting at i, skipping quoted values
// (and, in a document type declaration, its bracketed subset with comments and instructions).
size_t BehindTag(const TCodeUnits& u, size_t i, bool declaration) {
  int brackets = 0;
  while (i < u.Count) {
    uint32_t c = u[i];
    if (c == '"' || c == '\'') {
      for (++i; i < u.Count && u[i] != c; ++i) {
      }
      ++i;
    } else if (declaration && At(u, i, "<!--")) {
      i = Behind(u, i + 4, "-->");
    } else if (declaration && At(u, i, "<?")) {
      i = Behind(u, i + 2, "?>");
    } else if (declaration && c == '[') {
      ++brackets;
      ++i;
    } else if (declaration && c == ']') {
      if (brackets > 0) --brackets;
      ++i;
    } else if (c == '>' && brackets == 0) {
      return i + 1;
    } else {
      ++i;
    }
  }
  return u.Count;
}

// Refuses what the settings can never hold before the parser builds anything: NUL characters
// (the parser would end the text there) and elements nested deeper than MaxDepth. A malformed
// document may be misjudged here; the parser refuses it then, and the depth of an accepted tree
// is checked again.
void ScanDocument(const TCodeUnits& u) {
  for (size_t i = 0; i < u.Count; ++i)
    if (u[i] == 0)
      throw EGXConfigurationError("NUL-Zeichen im Text (Position " + std::to_string(i * size_t(u.Width)) +
                                  ")");
  int depth = 0;
  for (size_t i = 0; i < u.Count;) {
    if (u[i] != '<') {
      ++i;
    } else if (At(u, i, "<!--")) {
      i = Behind(u, i + 4, "-->");
    } else if (At(u, i, "<![CDATA[")) {
      i = Behind(u, i + 9, "]]>");
    } else if (At(u, i, "<?")) {
      i = Behind(u, i + 2, "?>");
    } else if (At(u, i, "<!")) {
      i = BehindTag(u, i + 2, true);
    } else if (At(u, i, "</")) {
      if (depth > 0) --depth;
      i = BehindTag(u, i + 2, false);
    } else {
      size_t end = BehindTag(u, i + 1, false);
      bool empty = end >= 2 && end <= u.Count && u[end - 1] == '>' && u[end - 2] == '/';
      if (!empty && ++depth > TGXConfiguration::MaxDepth)
        throw EGXConfigurationError("Elemente tiefer als " + std::to_string(TGXConfiguration::MaxDepth) +
                                    " Ebenen verschachtelt (Position " + std::to_string(i * size_t(u.Width)) +
                                    ")");
      i = end;
    }
  }
}

int TreeDepth(const pugi::xml_node& root) {
  int depth = 0, deepest = 0;
  pugi::xml_node n = root.first_child();
  while (n) {
    if (n.type() == pugi::node_element) deepest = std::max(deepest, depth + 1);
    if (n.first_child()) {
      n = n.first_child();
      ++depth;
      continue;
    }
    while (n && !n.next_sibling() && n != root) {
      n = n.parent();
      --depth;
    }
    if (!n || n == root) break;
    n = n.next_sibling();
  }
  return deepest;
}

const char* ParseReason(pugi::xml_parse_status status) {
  switch (status) {
    case pugi::status_out_of_memory:
      return "zu wenig Speicher";
    case pugi::status_unrecognized_tag:
      return "unbekanntes Markup";
    case pugi::status_bad_pi:
      return "fehlerhafte Verarbeitungsanweisung";
    case pugi::status_bad_comment:
      return "fehlerhafter Kommentar";
    case pugi::status_bad_cdata:
      return "fehlerhafter CDATA-Abschnitt";
    case pugi::status_bad_doctype:
      return "fehlerhafte Dokumenttyp-Deklaration";
    case pugi::status_bad_pcdata:
      return "fehlerhafter Text";
    case pugi::status_bad_start_element:
      return "fehlerhaftes Start-Tag";
    case pugi::status_bad_attribute:
      return "fehlerhaftes Attribut";
    case pugi::status_bad_end_element:
      return "fehlerhaftes End-Tag";
    case pugi::status_end_element_mismatch:
      return "End-Tag fehlt oder passt nicht zum Start-Tag";
    case pugi::status_no_document_element:
      return "kein Wurzelelement";
    default:
      return "nicht lesbar";
  }
}

}  // namespace

// ---- number texts --------------------------------------------------------------------------

std::string TGXConfiguration::FormatFloat(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  std::string s(buf, r.ptr);
  // The general form of printf ("1e+20", "1.5e-05") becomes the stored form ("1E20", "1.5E-5").
  size_t e = s.find('e');
  if (e == std::string::npos) return s;
  std::string mantissa = s.substr(0, e);
  std::string_view exponent(s.c_str() + e + 1);
  bool negative = !exponent.empty() && exponent.front() == '-';
  if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+')) exponent.remove_prefix(1);
  while (exponent.size() > 1 && exponent.front() == '0') exponent.remove_prefix(1);
  return mantissa + "E" + (negative ? "-" : "") + std::string(exponent);
}

bool TGXConfiguration::ParseFloat(std::string_view text, double& value) {
  text = TrimAscii(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return false;
  }
  double v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool TGXConfiguration::ParseInteger(std::string_view text, int32_t& value) {
  text = TrimAscii(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return false;
  }
  int32_t v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v, 10);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
  value = v;
  return true;
}

// ---- TGXConfigNode ---------------------------------------------------------------------------

TGXConfigNode::TGXConfigNode(pugi::xml_node element, std::weak_ptr<const int> document)
    : FElement(element), FDocument(std::move(document)) {
  GX_ASSERT(FElement);
}

pugi::xml_node TGXConfigNode::GetXMLNode() const { return Alive() ? FElement : pugi::xml_node(); }

pugi::xml_node TGXConfigNode::Value(std::string_view key) const {
  if (!Alive()) return {};
  pugi::xml_node keyElement = FindChild(FElement, key);
  return keyElement ? keyElement.first_child() : pugi::xml_node();
}

bool TGXConfigNode::ValueExists(std::string_view key) const { return static_cast<bool>(Value(key)); }

bool TGXConfigNode::IsInteger(std::string_view key) const {
  int32_t v;
  pugi::xml_node value = Value(key);
  return value && IsText(value) && TGXConfiguration::ParseInteger(value.value(), v);
}

bool TGXConfigNode::IsFloat(std::string_view key) const {
  double v;
  pugi::xml_node value = Value(key);
  return value && IsText(value) && TGXConfiguration::ParseFloat(value.value(), v);
}

int32_t TGXConfigNode::ReadInteger(std::string_view key, int32_t defaultValue) const {
  pugi::xml_node value = Value(key);
  int32_t v = defaultValue;
  if (value && IsText(value) && TGXConfiguration::ParseInteger(value.value(), v)) return v;
  return defaultValue;
}

bool TGXConfigNode::ReadBoolean(std::string_view key, bool defaultValue) const {
  return ReadInteger(key, defaultValue ? 1 : 0) != 0;
}

double TGXConfigNode::ReadFloat(std::string_view key, double defaultValue) const {
  pugi::xml_node value = Value(key);
  double v = defaultValue;
  if (value && IsText(value) && TGXConfiguration::ParseFloat(value.value(), v)) return v;
  return defaultValue;
}

std::string TGXConfigNode::ReadString(std::string_view key, const std::string& defaultValue) const {
  pugi::xml_node value = Value(key);
  if (!value || !IsText(value) || !*value.value()) return defaultValue;
  return value.value();
}

void TGXConfigNode::WriteInteger(std::string_view key, int32_t value) { Write(key, std::to_string(value)); }

void TGXConfigNode::WriteFloat(std::string_view key, double value) {
  Write(key, TGXConfiguration::FormatFloat(value));
}

void TGXConfigNode::WriteString(std::string_view key, std::string_view value) { Write(key, value); }

void TGXConfigNode::Write(std::string_view key, std::string_view text) {
  if (!Alive())
    throw EInvalidCall({TGXExceptionArg::Object("TGXConfigNode"), "Write", "Das Dokument des Knotens existiert nicht mehr"});
  pugi::xml_node keyElement = FindChild(FElement, key);
  if (!keyElement) keyElement = FElement.append_child(std::string(key).c_str());
  pugi::xml_node value = keyElement.first_child();
  // A key element that holds elements first (a node used as a key) gets its text in front of
  // them, so the write is neither lost nor destroys the sub-nodes.
  if (!value) value = keyElement.append_child(pugi::node_pcdata);
  else if (!IsText(value)) value = keyElement.prepend_child(pugi::node_pcdata);
  value.set_value(std::string(text).c_str());
}

// ---- TGXConfiguration ------------------------------------------------------------------------

TGXConfiguration::TGXConfiguration() { NewDocumentToken(); }

void TGXConfiguration::NewDocumentToken() { FToken = std::make_shared<const int>(0); }

void TGXConfiguration::Clear() {
  NewDocumentToken();
  FDocument.reset();
}

void TGXConfiguration::LoadFromStream(TGXStream& stream) {
  int64_t remaining = stream.Remaining();
  std::vector<char> data(static_cast<size_t>(remaining > 0 ? remaining : 0));
  if (!data.empty()) stream.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
  Clear();
  TCodeUnits units = DetectUnits(data);
  ScanDocument(units);
  // The default parse drops whitespace-only text between elements, so indentation never turns
  // into values.
  pugi::xml_parse_result result =
      FDocument.load_buffer(data.data(), data.size(), pugi::parse_default, units.Encoding);
  if (!result) {
    Clear();
    throw EGXConfigurationError(std::string("XML-Fehler: ") + ParseReason(result.status) + " (Position " +
                                std::to_string(result.offset) + ")");
  }
  if (TreeDepth(FDocument) > MaxDepth) {
    Clear();
    throw EGXConfigurationError("Elemente tiefer als " + std::to_string(MaxDepth) + " Ebenen verschachtelt");
  }
}

void TGXConfiguration::SaveToStream(TGXStream& stream) const {
  TCrLfWriter writer(stream);
  FDocument.save(writer, "  ", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
}

std::string TGXConfiguration::SaveToString() const {
  TGXMemoryStream stream;
  SaveToStream(stream);
  return std::string(stream.Data().begin(), stream.Data().end());
}

IGXConfigNode TGXConfiguration::GetNode(const IGXConfigNode& parent, std::string_view name) {
  pugi::xml_node owner = FDocument;
  if (parent) {
    // A parent from another document or from a replaced one is a caller's error.
    GX_ASSERT(!parent->FDocument.owner_before(FToken) && !FToken.owner_before(parent->FDocument));
    owner = parent->FElement;
  }
  pugi::xml_node element = FindChild(owner, name);
  if (!element) element = owner.append_child(std::string(name).c_str());
  return IGXConfigNode(new TGXConfigNode(element, FToken));
}

}  // namespace gx
