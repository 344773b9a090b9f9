#include "app/entities/RRAssetFileName.h"

#include "engine/core/GXSerialization.h"
#include "engine/core/GXStrings.h"

namespace rr {

std::string TRRAssetFileName::EffectiveFileName() const {
  return RelativeName.empty() ? FileName : RRGameRoot + RelativeName;
}

void TRRAssetFileName::WriteToStream(gx::TGXStream& s) const {
  gx::WriteAnsiString(s, FileName);
  gx::WriteAnsiString(s, RelativeName);
}

void TRRAssetFileName::ReadFromStream(gx::TGXStream& s) {
  std::string fileName = gx::ReadAnsiString(s);
  RelativeName = gx::ReadAnsiString(s);
  FileName = std::move(fileName);
}

bool TRRAssetFileName::SameFile(const TRRAssetFileName& other) const {
  if (!RelativeName.empty() && !other.RelativeName.empty() && gx::SameText(RelativeName, other.RelativeName))
    return true;
  return gx::SameText(FileName, other.FileName);
}

bool TRRModelFileName::SameFile(const TRRModelFileName& other) const {
  if (!Model.SameFile(other.Model) || Companions.size() != other.Companions.size()) return false;
  for (size_t i = 0; i < Companions.size(); ++i)
    if (!Companions[i].SameFile(other.Companions[i])) return false;
  return true;
}

void TRRModelFileName::WriteToStream(gx::TGXStream& s) const {
  Model.WriteToStream(s);
  gx::WriteInteger(s, static_cast<int32_t>(Companions.size()));
  for (const auto& c : Companions) c.WriteToStream(s);
}

void TRRModelFileName::ReadFromStream(gx::TGXStream& s) {
  TRRAssetFileName model;
  model.ReadFromStream(s);
  int32_t count = gx::ReadCount(s, 8);
  std::vector<TRRAssetFileName> companions(static_cast<size_t>(count));
  for (auto& c : companions) c.ReadFromStream(s);
  Model = std::move(model);
  Companions = std::move(companions);
}

}  // namespace rr
