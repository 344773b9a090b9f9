#pragma once
// The configuration store: the application's persistent settings as a tree of named nodes in one
// XML document. The store never touches files itself; its owner hands it streams.
//
// Form of the text: a node is an element named after the node, a value is a child element named
// after the key whose first child is a text node. Names compare exactly; of several children with
// the same name the first counts. Numbers are written and read independently of the process
// locale (decimal point "."), so a file moves between machines with different number formats.
// Saved documents are UTF-8 without declaration, indented by two spaces, with CR LF line ends.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "engine/core/GXRefCounted.h"
#include "engine/core/GXStream.h"

namespace gx {

// A document that does not parse. The message is the parser's reason (with the byte offset).
class EGXConfigurationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A handle on one element of the tree. Handles are cheap and not cached: two handles on the same
// element see the same data. A handle that outlives its document (the store was reloaded, cleared
// or destroyed) reads every key as absent and raises EInvalidCall on writes instead of touching
// freed memory.
class TGXConfigNode : public TGXRefCounted {
 public:
  // The element itself, for callers that work on it directly (lists of like children,
  // attributes). Empty for a handle that outlived its document.
  pugi::xml_node GetXMLNode() const;

  // The key has a value whose text is a 32-bit decimal integer.
  bool IsInteger(std::string_view key) const;
  bool IsBoolean(std::string_view key) const { return IsInteger(key); }
  // The key has a value whose text is a finite number with "." as decimal separator.
  bool IsFloat(std::string_view key) const;
  // A key element exists and has a first child.
  bool ValueExists(std::string_view key) const;

  int32_t ReadInteger(std::string_view key, int32_t defaultValue) const;
  // Any non-zero integer is true; text that is no integer (such as "true") gives the default.
  bool ReadBoolean(std::string_view key, bool defaultValue) const;
  double ReadFloat(std::string_view key, double defaultValue) const;
  // The text, or the default when the key element is missing or its text is empty.
  std::string ReadString(std::string_view key, const std::string& defaultValue) const;

  void WriteInteger(std::string_view key, int32_t value);
  void WriteBoolean(std::string_view key, bool value) { WriteInteger(key, value ? 1 : 0); }
  // General format, 15 significant digits, "." ("0.5", "1E20", "1.5E-5").
  void WriteFloat(std::string_view key, double value);
  void WriteString(std::string_view key, std::string_view value);

 private:
  friend class TGXConfiguration;
  TGXConfigNode(pugi::xml_node element, std::weak_ptr<const int> document);

  bool Alive() const { return !FDocument.expired(); }
  pugi::xml_node Value(std::string_view key) const;  // first child of the key element, or none
  void Write(std::string_view key, std::string_view text);

  pugi::xml_node FElement;
  // Expires when the document the element belongs to is replaced or destroyed.
  std::weak_ptr<const int> FDocument;
};

using IGXConfigNode = TGXRef<TGXConfigNode>;

class TGXConfiguration {
 public:
  TGXConfiguration();
  TGXConfiguration(const TGXConfiguration&) = delete;
  TGXConfiguration& operator=(const TGXConfiguration&) = delete;

  // Elements nested deeper than this make a document unreadable. The depth is checked before the
  // tree is built: deep trees cost memory out of all proportion to the text, and saving one
  // indents every line by its depth.
  static constexpr int MaxDepth = 256;

  // Parses the rest of the stream into the document, replacing what was there. On a parse error
  // the document is empty afterwards and EGXConfigurationError carries the reason in German with
  // the position. A NUL character or nesting deeper than MaxDepth is such an error. Accepts
  // UTF-8 with or without byte-order mark, and UTF-16 or UTF-32 (with byte-order mark, or
  // recognised by the first "<").
  void LoadFromStream(TGXStream& stream);
  // Writes the whole document (an empty document writes nothing).
  void SaveToStream(TGXStream& stream) const;
  // The document as it would be saved.
  std::string SaveToString() const;
  // Back to an empty document; handles on the old one go stale.
  void Clear();

  // The first child element `name` of the parent's element (without parent: of the document),
  // appended when there is none. Always succeeds; the node stays in the document.
  IGXConfigNode GetNode(const IGXConfigNode& parent, std::string_view name);

  // The disk path the document came from and goes to; the store only keeps it.
  const std::string& FileName() const { return FFileName; }
  void SetFileName(std::string fileName) { FFileName = std::move(fileName); }

  // Locale-independent number texts of the store, shared with code that writes the same form.
  static std::string FormatFloat(double value);
  static bool ParseFloat(std::string_view text, double& value);
  static bool ParseInteger(std::string_view text, int32_t& value);

 private:
  void NewDocumentToken();

  pugi::xml_document FDocument;
  std::shared_ptr<const int> FToken;
  std::string FFileName;
};

}  // namespace gx
