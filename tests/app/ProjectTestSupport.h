#pragma once
// Helpers of the project and project-file tests: a description kind that carries asset and
// model file names and a second entity reference, and an event section that records what it
// was given.

#include <cstdint>
#include <vector>

#include "app/RRProjectSerializer.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"

namespace prjtest {

class TFileDesc : public rr::TRREntityDescription {
  RR_DESCRIPTION_CLASS()
 public:
  rr::TRRAssetFileName Texture;
  rr::TRRAssetFileName Other;
  rr::TRRModelFileName Model;
  int32_t Ref = 0;

  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  void GetPropertyAccess(rr::TRRPropertyAccessList& list) override;
};

class TFileEntity : public rr::TRREntity {
  RR_ENTITY_CLASS()
 public:
  TFileEntity(gx::TGXNode* parent, rr::IRREntityManager* manager, const rr::TRREntityDescription& d);
  std::unique_ptr<rr::TRREntityDescription> CreateDescription() const override;
  rr::TRRAssetFileName Texture, Other;
  rr::TRRModelFileName Model;
  int32_t Ref = 0;
};

inline constexpr const char* kFileKind = "{3F1E5A70-2B4C-4D8E-9F01-23456789AB01}";
void RegisterKinds();

// Writes a small section of its own and records what it read.
class TEventStub : public rr::IRRProjectEventSection {
 public:
  std::vector<uint8_t> Saved{0x45, 0x56, 0x01, 0x02};
  std::vector<uint8_t> Loaded;
  int32_t LoadedVersion = 0;
  std::vector<std::pair<int32_t, int32_t>> Pairs;

  void SaveToStream(gx::TGXStream& s) override { s.WriteBuffer(Saved.data(), static_cast<int64_t>(Saved.size())); }
  void LoadFromStream(gx::TGXStream& s, int32_t version, bool) override {
    LoadedVersion = version;
    Loaded.resize(static_cast<size_t>(s.Remaining()));
    if (!Loaded.empty()) s.ReadBuffer(Loaded.data(), static_cast<int64_t>(Loaded.size()));
  }
  void BeginRemap() override {}
  void Remap(int32_t o, int32_t n) override { Pairs.emplace_back(o, n); }
  void EndRemap() override {}
};

}  // namespace prjtest
