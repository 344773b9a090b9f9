#pragma once
// Helpers shared by the entity tests: a byte builder that spells out records independently of
// the serialization code, a manager with a plain ID table, and small description and entity
// classes registered under test kinds.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntityRegistry.h"
#include "engine/core/GXGuid.h"
#include "engine/core/GXSceneNode.h"

namespace rrtest {

// A property value of an old-format node as raw bytes, and a text as the node stores it (NUL
// ended).
inline std::vector<uint8_t> BagBytes(const void* data, size_t size) {
  const auto* b = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(b, b + size);
}
inline std::vector<uint8_t> BagText(const std::string& s) {
  std::vector<uint8_t> v(s.begin(), s.end());
  v.push_back(0);
  return v;
}

// Little-endian bytes written by hand.
class TBytes {
 public:
  TBytes& U8(uint8_t b) {
    Data.push_back(b);
    return *this;
  }
  TBytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  TBytes& I32(int64_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(u >> (8 * i)));
    return *this;
  }
  TBytes& F32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return I32(u);
  }
  TBytes& Vec(float x, float y, float z) { return F32(x).F32(y).F32(z); }
  TBytes& Quat(float x, float y, float z, float w) { return F32(x).F32(y).F32(z).F32(w); }
  TBytes& Guid(const char* text) {
    auto b = gx::TGXGuid::Parse(text).ToBytes();
    Data.insert(Data.end(), b.begin(), b.end());
    return *this;
  }
  // 8-bit string of ASCII text.
  TBytes& Str(const std::string& s) {
    I32(static_cast<int64_t>(s.size()));
    Data.insert(Data.end(), s.begin(), s.end());
    return *this;
  }
  // One-item localized string of ASCII text, or none for an empty one.
  TBytes& Text(uint16_t language, const std::string& s) {
    if (s.empty()) return I32(0);
    I32(1).U16(language).I32(static_cast<int64_t>(s.size() * 2));
    for (char c : s) U8(static_cast<uint8_t>(c)).U8(0);
    return *this;
  }
  TBytes& Raw(const std::vector<uint8_t>& bytes) {
    Data.insert(Data.end(), bytes.begin(), bytes.end());
    return *this;
  }

  std::vector<uint8_t> Data;
};

inline constexpr const char* kGroupKind = "{280464B0-A843-4A29-A93E-4065F9C4EBC5}";

// A manager with an ID table that records what entities report to it.
class TTestManager : public rr::IRREntityManager {
 public:
  void RegisterEntity(rr::TRREntity* e) override {
    Entities[e->ID()] = e;
    Log.push_back(std::string("register ") + e->GetClass().Name);
  }
  void UnregisterEntity(rr::TRREntity* e) override {
    if (auto it = Entities.find(e->ID()); it != Entities.end() && it->second == e) Entities.erase(it);
    Log.push_back("unregister " + std::to_string(e->ID()));
  }
  rr::TRREntity* FindByID(int32_t id) const override {
    auto it = Entities.find(id);
    return it == Entities.end() ? nullptr : it->second;
  }
  void EntityCreated(rr::TRREntity* e) override { Log.push_back(std::string("created ") + e->GetClass().Name); }
  bool ShowSelectionBorders() const override { return ShowBorders; }
  gx::TGXRef<gx::TGXSceneObject> CreateSelectionBox(rr::TRREntity* e) override;
  void RemoveModifier(rr::TRREntityModifier*) override { ++RemovedModifiers; }

  std::map<int32_t, rr::TRREntity*> Entities;
  std::vector<std::string> Log;
  bool ShowBorders = false;
  int RemovedModifiers = 0;
};

// A drawable stand-in with a fixed box.
class TBoxObject : public gx::TGXSceneObject {
 public:
  TBoxObject(const gx::TGXVector3& min, const gx::TGXVector3& max) { SetLocalBounds(gx::BoxFromMinMax(min, max)); }
};

inline gx::TGXRef<gx::TGXSceneObject> TTestManager::CreateSelectionBox(rr::TRREntity* e) {
  auto box = gx::MakeRef<TBoxObject>(gx::TGXVector3{0, 0, 0}, gx::TGXVector3{1, 1, 1});
  e->AttachObject(box.Get());
  return box;
}

// Test kinds: a model-like description with a subclass, and a fixed one.
class TModelTestDesc : public rr::TRREntityDescription {
  RR_DESCRIPTION_CLASS()
};
class TLightTestDesc : public TModelTestDesc {
  RR_DESCRIPTION_CLASS()
 public:
  bool IsFixed() const override { return true; }
};
class TUnregisteredDesc : public rr::TRREntityDescription {
  RR_DESCRIPTION_CLASS()
};

class TModelTestEntity : public rr::TRREntity {
  RR_ENTITY_CLASS()
 public:
  using TRREntity::TRREntity;
};
class TUnregisteredEntity : public rr::TRREntity {
  RR_ENTITY_CLASS()
 public:
  using TRREntity::TRREntity;
};

inline constexpr const char* kModelTestKind = "{6A1C0F52-0C5B-4E57-9B2E-1D0B8E7A0001}";
inline constexpr const char* kLightTestKind = "{6A1C0F52-0C5B-4E57-9B2E-1D0B8E7A0002}";

// Registers the test kinds in the program's registry once.
void RegisterTestKinds();

}  // namespace rrtest
