#pragma once
// The property bag of the old file format (read only). A node has a class name, an ordered list
// of properties and child nodes; a property has a type, a name and a block of data. Classes and
// property types are stored as checksums of their names (GXTextChecksum: CRC-32 with start value
// 0 and no final inversion), so the reader maps them back through two tables built once from the
// known names.
//
// Node:     class hash (Integer), property count, properties, child count, child nodes.
// Property: type hash (Integer), name (8-bit string), size (Integer), size bytes of data.
//
// Data by type: boolean 1 byte (nonzero = true); integer, ID and ID reference an Integer; single
// 4 bytes; string and file name the 8-bit characters and a zero byte; vector2 2 singles, vector3
// 3 singles, quaternion 4 singles; memory raw bytes. The typed getters take a property only when
// it exists with exactly that type and enough data; otherwise they leave the value alone, which is
// what LoadFromPropertyBag of every description kind relies on for defaults.
//
// Reading refuses unknown class and property hashes (EGXException, context "CreateFromStream"),
// checks every count and size against the remaining bytes and limits nesting to
// RRMaxDescriptionDepth; a node that fails is freed with everything it had read.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/core/GXStream.h"

namespace rr {

struct TRRDescriptionClass;

enum class TRREntityPropertyType_10 {
  Boolean,     // TRREntityBooleanProperty
  Integer,     // TRREntityIntegerProperty
  Single,      // TRREntitySingleProperty
  String,      // TRREntityStringProperty
  Filename,    // TRREntityFilenameProperty
  Vector2,     // TRREntityVector2Property
  Vector3,     // TRREntityVector3Property
  Quaternion,  // TRREntityQuaternionProperty
  ID,          // TRREntityIDProperty: the node's own entity ID
  IDRef,       // TRREntityIDRefProperty: an entity ID referred to
  Memory,      // TRREntityMemoryProperty
};

// The stored class name of a property type ("TRREntityBooleanProperty", ...).
const char* RRPropertyTypeName_10(TRREntityPropertyType_10 type);

struct TRREntityProperty_10 {
  TRREntityPropertyType_10 Type = TRREntityPropertyType_10::Memory;
  std::string Name;
  std::vector<uint8_t> Data;

  // The value when the data is long enough, else false and value unchanged.
  bool GetBoolean(bool& value) const;
  bool GetInteger(int32_t& value) const;
  bool GetSingle(float& value) const;
  bool GetVector2(gx::TGXVector2& value) const;
  bool GetVector3(gx::TGXVector3& value) const;
  bool GetQuaternion(gx::TGXQuaternion& value) const;
  // The characters up to the first zero byte (or the end), Windows-1252 to UTF-8.
  std::string Text() const;
  // Stores text (UTF-8) in the string form (Windows-1252 and a zero byte); the old-format reader
  // rewrites file names this way.
  void SetText(std::string_view text);
};

class TRREntityDescription_10 {
 public:
  // Reads one node with its subtree (the old format's CreateFromStream).
  static std::unique_ptr<TRREntityDescription_10> ReadFromStream(gx::TGXStream& s);

  // The known class name the hash stood for; "TRRStaticGroup" is reported as "TRREntityGroup".
  const std::string& ClassName() const { return FClassName; }
  // The name of the description class the node is read into ("TRRLightDesc", "TRRTrackDesc",
  // "TRREntityGroupDesc", ...), empty for a class that has none ("TRRCameraTarget").
  const std::string& DescriptionClassName() const { return FDescriptionClassName; }
  // That description class when its kind is registered, else null (the node cannot be read).
  const TRRDescriptionClass* DescriptionClass() const;

  std::vector<TRREntityProperty_10>& Properties() { return FProperties; }
  const std::vector<TRREntityProperty_10>& Properties() const { return FProperties; }
  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  TRREntityDescription_10* Child(int index) const { return FChildren.at(static_cast<size_t>(index)).get(); }

  // The first property with that name (exact) / of that type, or null.
  const TRREntityProperty_10* FindProperty(std::string_view name) const;
  const TRREntityProperty_10* FindPropertyOfType(TRREntityPropertyType_10 type) const;

  // Typed access by name: true and the value when the first property of that name has the type
  // (and enough data); otherwise false and the value unchanged.
  bool GetBoolean(std::string_view name, bool& value) const;
  bool GetInteger(std::string_view name, int32_t& value) const;
  bool GetSingle(std::string_view name, float& value) const;
  bool GetString(std::string_view name, std::string& value) const;
  bool GetFilename(std::string_view name, std::string& value) const;
  bool GetVector2(std::string_view name, gx::TGXVector2& value) const;
  bool GetVector3(std::string_view name, gx::TGXVector3& value) const;
  bool GetQuaternion(std::string_view name, gx::TGXQuaternion& value) const;
  bool GetIDRef(std::string_view name, int32_t& value) const;
  bool GetMemory(std::string_view name, std::vector<uint8_t>& value) const;

  // For building nodes in code (tests, converters).
  TRREntityDescription_10(std::string className, std::string descriptionClassName)
      : FClassName(std::move(className)), FDescriptionClassName(std::move(descriptionClassName)) {}
  TRREntityProperty_10& AddProperty(TRREntityPropertyType_10 type, std::string name, std::vector<uint8_t> data);
  TRREntityDescription_10* AddChild(std::unique_ptr<TRREntityDescription_10> child);

 private:
  const TRREntityProperty_10* Typed(std::string_view name, TRREntityPropertyType_10 type) const;

  std::string FClassName;
  std::string FDescriptionClassName;
  std::vector<TRREntityProperty_10> FProperties;
  std::vector<std::unique_ptr<TRREntityDescription_10>> FChildren;
};

}  // namespace rr
