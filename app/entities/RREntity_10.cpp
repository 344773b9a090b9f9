#include "app/entities/RREntity_10.h"

#include <cstring>
#include <unordered_map>

#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntityRegistry.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

struct TOldClass {
  const char* Name;
  const char* ReportedName;
  const char* DescriptionClass;  // empty: not readable
};

// The 24 node classes of the old format and the description class each is read into.
const TOldClass kOldClasses[] = {
    {"TRRLight", "TRRLight", "TRRLightDesc"},
    {"TRRCamera", "TRRCamera", "TRRCameraDesc"},
    {"TRRCameraTarget", "TRRCameraTarget", ""},
    {"TRREntityGroup", "TRREntityGroup", "TRREntityGroupDesc"},
    {"TRRStaticGroup", "TRREntityGroup", "TRREntityGroupDesc"},
    {"TRRSelectionGroup", "TRRSelectionGroup", "TRREntityGroupDesc"},
    {"TRRPanel", "TRRPanel", "TRRPanelDesc"},
    {"TRRModel", "TRRModel", "TRRModelDesc"},
    {"TRRTrackVehicle", "TRRTrackVehicle", "TRRTrackVehicleDesc"},
    {"TRRVegetation", "TRRVegetation", "TRRVegetationDesc"},
    {"TRRCatenary", "TRRCatenary", "TRRCatenaryDesc"},
    {"TRRBarrier", "TRRBarrier", "TRRBarrierDesc"},
    {"TRRVehicleBuilding", "TRRVehicleBuilding", "TRRVehicleBuildingDesc"},
    {"TRRLinearTrack", "TRRLinearTrack", "TRRTrackDesc"},
    {"TRRCurveTrack", "TRRCurveTrack", "TRRTrackDesc"},
    {"TRRFlexibleTrack", "TRRFlexibleTrack", "TRRTrackDesc"},
    {"TRRSwitchTrack", "TRRSwitchTrack", "TRRTrackDesc"},
    {"TRRThreeWaySwitchTrack", "TRRThreeWaySwitchTrack", "TRRTrackDesc"},
    {"TRRCrossTrack", "TRRCrossTrack", "TRRTrackDesc"},
    {"TRRCrossSwitchTrack", "TRRCrossSwitchTrack", "TRRTrackDesc"},
    {"TRRStopTrack", "TRRStopTrack", "TRRTrackDesc"},
    {"TRRTurntableTrack", "TRRTurntableTrack", "TRRTrackDesc"},
    {"TRRSignal", "TRRSignal", "TRRSignalDesc"},
    {"TRRPrimitive", "TRRPrimitive", "TRRPrimitiveDesc"},
};

const char* const kPropertyTypeNames[] = {
    "TRREntityBooleanProperty", "TRREntityIntegerProperty",    "TRREntitySingleProperty",
    "TRREntityStringProperty",  "TRREntityFilenameProperty",   "TRREntityVector2Property",
    "TRREntityVector3Property", "TRREntityQuaternionProperty", "TRREntityIDProperty",
    "TRREntityIDRefProperty",   "TRREntityMemoryProperty",
};

// The two hash tables, built once.
struct TTables {
  std::unordered_map<uint32_t, const TOldClass*> Classes;
  std::unordered_map<uint32_t, TRREntityPropertyType_10> Types;

  TTables() {
    for (const auto& c : kOldClasses) Classes.emplace(gx::GXTextChecksum(c.Name), &c);
    for (size_t i = 0; i < std::size(kPropertyTypeNames); ++i)
      Types.emplace(gx::GXTextChecksum(kPropertyTypeNames[i]), static_cast<TRREntityPropertyType_10>(i));
  }
  static const TTables& Get() {
    static const TTables tables;
    return tables;
  }
};

// Smallest encodings, for checking counts against the remaining bytes.
constexpr int64_t kMinNodeSize = 12;      // class hash, property count, child count
constexpr int64_t kMinPropertySize = 12;  // type hash, empty name, size

[[noreturn]] void Fail(const std::string& reason, int64_t detail) {
  throw gx::EGXException({gx::TGXExceptionArg::Object("TRREntityDescription_10"), "CreateFromStream", reason,
                          static_cast<long long>(detail)});
}

// count little-endian 32-bit words from the start of data; false when it is too short.
bool ReadWords(const std::vector<uint8_t>& data, uint32_t* words, size_t count) {
  if (data.size() < 4 * count) return false;
  for (size_t i = 0; i < count; ++i)
    words[i] = uint32_t(data[4 * i]) | uint32_t(data[4 * i + 1]) << 8 | uint32_t(data[4 * i + 2]) << 16 |
               uint32_t(data[4 * i + 3]) << 24;
  return true;
}

// count singles from the start of data.
bool ReadSingles(const std::vector<uint8_t>& data, float* values, size_t count) {
  uint32_t words[4];
  if (count > 4 || !ReadWords(data, words, count)) return false;
  std::memcpy(values, words, 4 * count);
  return true;
}

std::unique_ptr<TRREntityDescription_10> ReadNode(gx::TGXStream& s, int depth) {
  if (depth > RRMaxDescriptionDepth) Fail("Nesting too deep", depth);
  const TTables& tables = TTables::Get();
  uint32_t classHash = gx::ReadCardinal(s);
  auto cls = tables.Classes.find(classHash);
  if (cls == tables.Classes.end()) Fail("Unknown class hash", classHash);
  auto node = std::make_unique<TRREntityDescription_10>(cls->second->ReportedName, cls->second->DescriptionClass);

  int32_t propertyCount = gx::ReadCount(s, kMinPropertySize);
  node->Properties().reserve(static_cast<size_t>(propertyCount));
  for (int32_t i = 0; i < propertyCount; ++i) {
    uint32_t typeHash = gx::ReadCardinal(s);
    auto type = tables.Types.find(typeHash);
    if (type == tables.Types.end()) Fail("Unknown property type hash", typeHash);
    std::string name = gx::ReadAnsiString(s);
    int32_t size = gx::ReadCount(s, 1);
    std::vector<uint8_t> data(static_cast<size_t>(size));
    s.ReadBuffer(data.data(), size);
    node->AddProperty(type->second, std::move(name), std::move(data));
  }

  int32_t childCount = gx::ReadCount(s, kMinNodeSize);
  for (int32_t i = 0; i < childCount; ++i) node->AddChild(ReadNode(s, depth + 1));
  return node;
}

}  // namespace

const char* RRPropertyTypeName_10(TRREntityPropertyType_10 type) {
  return kPropertyTypeNames[static_cast<size_t>(type)];
}

// ---- property ----

bool TRREntityProperty_10::GetBoolean(bool& value) const {
  if (Data.empty()) return false;
  value = Data[0] != 0;
  return true;
}

bool TRREntityProperty_10::GetInteger(int32_t& value) const {
  uint32_t raw;
  if (!ReadWords(Data, &raw, 1)) return false;
  value = static_cast<int32_t>(raw);
  return true;
}

bool TRREntityProperty_10::GetSingle(float& value) const { return ReadSingles(Data, &value, 1); }

bool TRREntityProperty_10::GetVector2(gx::TGXVector2& value) const {
  float v[2];
  if (!ReadSingles(Data, v, std::size(v))) return false;
  value = {v[0], v[1]};
  return true;
}

bool TRREntityProperty_10::GetVector3(gx::TGXVector3& value) const {
  float v[3];
  if (!ReadSingles(Data, v, std::size(v))) return false;
  value = {v[0], v[1], v[2]};
  return true;
}

bool TRREntityProperty_10::GetQuaternion(gx::TGXQuaternion& value) const {
  float v[4];
  if (!ReadSingles(Data, v, std::size(v))) return false;
  value = {v[0], v[1], v[2], v[3]};
  return true;
}

std::string TRREntityProperty_10::Text() const {
  const char* p = reinterpret_cast<const char*>(Data.data());
  size_t length = 0;
  while (length < Data.size() && p[length] != 0) ++length;
  return gx::AnsiToUtf8(std::string_view(p, length));
}

void TRREntityProperty_10::SetText(std::string_view text) {
  std::string ansi = gx::Utf8ToAnsi(text);
  Data.assign(ansi.begin(), ansi.end());
  Data.push_back(0);
}

// ---- node ----

std::unique_ptr<TRREntityDescription_10> TRREntityDescription_10::ReadFromStream(gx::TGXStream& s) {
  return ReadNode(s, 0);
}

const TRRDescriptionClass* TRREntityDescription_10::DescriptionClass() const {
  if (FDescriptionClassName.empty()) return nullptr;
  return RegisteredEntities().FindDescriptionClass(FDescriptionClassName);
}

TRREntityProperty_10& TRREntityDescription_10::AddProperty(TRREntityPropertyType_10 type, std::string name,
                                                           std::vector<uint8_t> data) {
  FProperties.push_back({type, std::move(name), std::move(data)});
  return FProperties.back();
}

TRREntityDescription_10* TRREntityDescription_10::AddChild(std::unique_ptr<TRREntityDescription_10> child) {
  FChildren.push_back(std::move(child));
  return FChildren.back().get();
}

const TRREntityProperty_10* TRREntityDescription_10::FindProperty(std::string_view name) const {
  for (const auto& p : FProperties)
    if (p.Name == name) return &p;
  return nullptr;
}

const TRREntityProperty_10* TRREntityDescription_10::FindPropertyOfType(TRREntityPropertyType_10 type) const {
  for (const auto& p : FProperties)
    if (p.Type == type) return &p;
  return nullptr;
}

const TRREntityProperty_10* TRREntityDescription_10::Typed(std::string_view name, TRREntityPropertyType_10 type) const {
  const TRREntityProperty_10* p = FindProperty(name);
  return p && p->Type == type ? p : nullptr;
}

bool TRREntityDescription_10::GetBoolean(std::string_view name, bool& value) const {
  auto* p = Typed(name, TRREntityPropertyType_10::Boolean);
  return p && p->GetBoolean(value);
}

bool TRREntityDescription_10::GetInteger(std::string_view name, int32_t& value) const {
  auto* p = Typed(name, TRREntityPropertyType_10::Integer);
  return p && p->GetInteger(value);
}

bool TRREntityDescription_10::GetSingle(std::string_view name, float& value) const {
  auto* p = Typed(name, TRREntityPropertyType_10::Single);
  return p && p->GetSingle(value);
}

bool TRREntityDescription_10::GetString(std::string_view name, std::string& value) const {
  auto* p = Typed(name, TRREntityPropertyType_10::String);
  if (!p) return false;
  value = p->Text();
  return true;
}

bool TRREntityDescription_10::GetFilename(std::string_view name, std::string& value) const {
  auto* p = Typed(name, TRREntityPropertyType_10::Filename);
  if (!p) return false;
  value = p->Text();
  return true;
}

bool TRREntityDescription_10::GetVector2(std::string_view name, gx::TGXVector2& value) const {
  auto* p = Typed(name, TRREntityPropertyType_10::Vector2);
  return p && p->GetVector2(value);
}

bool TRREntityDescription_10::GetVector3(std::string_view name, gx::TGXVector3& value) const {
  auto* p = Typed(name, TRREntityPropertyType_10::Vector3);
  return p && p->GetVector3(value);
}

bool TRREntityDescription_10::GetQuaternion(std::string_view name, gx::TGXQuaternion& value) const {
  auto* p = Typed(name, TRREntityPropertyType_10::Quaternion);
  return p && p->GetQuaternion(value);
}

bool TRREntityDescription_10::GetIDRef(std::string_view name, int32_t& value) const {
  auto* p = Typed(name, TRREntityPropertyType_10::IDRef);
  return p && p->GetInteger(value);
}

bool TRREntityDescription_10::GetMemory(std::string_view name, std::vector<uint8_t>& value) const {
  auto* p = Typed(name, TRREntityPropertyType_10::Memory);
  if (!p) return false;
  value = p->Data;
  return true;
}

}  // namespace rr
