// Any input read as a material description either ends in the stream's read error or
// EUnknownEntityDescription, leaving an empty description, or gives one that writes a stream
// which reads back to the same description and writes the same bytes again. Keys stay unique
// ignoring case and sorted; every sub description has feature bits, an effect name and a
// material name.
#include <cstdint>
#include <cstdlib>

#include "app/RRMaterial.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXStrings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rr::TRRMaterialDesc desc;
  gx::TGXMemoryStream in(std::vector<uint8_t>(data, data + size));
  try {
    desc.LoadFromStream(in);
  } catch (const gx::EGXStreamReadError&) {
    if (!desc.Empty()) std::abort();
    return 0;
  } catch (const rr::EUnknownEntityDescription&) {
    if (!desc.Empty()) std::abort();
    return 0;
  }
  for (int i = 1; i < desc.Count(); ++i)
    if (gx::CompareText(desc.Key(i - 1), desc.Key(i)) >= 0) std::abort();
  for (int i = 0; i < desc.Count(); ++i) {
    const rr::TRRMaterialSubDesc& sub = desc.SubDesc(i);
    const uint16_t bits = rr::TRRMaterialGenerator::FeatureBits(sub, nullptr);
    if (rr::TRRMaterialGenerator::EffectName(bits).empty() ||
        rr::TRRMaterialGenerator::MaterialName(sub).empty())
      std::abort();
  }
  gx::TGXMemoryStream first;
  desc.SaveToStream(first);
  first.SetPosition(0);
  rr::TRRMaterialDesc again;
  again.LoadFromStream(first);
  gx::TGXMemoryStream second;
  again.SaveToStream(second);
  if (first.Data() != second.Data() || again.Count() != desc.Count()) std::abort();
  return 0;
}
