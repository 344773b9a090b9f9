#include "engine/render/GXVertexLayout.h"

#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"

namespace gx {

namespace {

// The rank of each usage (by its stored number) in the canonical element order.
int UsageRank(uint8_t usage) {
  static const uint8_t order[] = {GXUsagePosition,  GXUsageBlendIndices, GXUsageNormal,     GXUsagePSize,
                                  GXUsageTexCoord,  GXUsageBinormal,     GXUsageTessFactor, GXUsagePositionT,
                                  GXUsageColor,     GXUsageBlendWeight,  GXUsageTangent,    GXUsageFog,
                                  GXUsageDepth,     GXUsageSample};
  for (int i = 0; i < int(sizeof order); ++i)
    if (order[i] == usage) return i;
  return -1;
}

}  // namespace

void TGXVertexLayoutDecl::AddElement(uint16_t stream, uint8_t type, uint8_t usage, uint8_t usageIndex) {
  if (stream == 0xFF)
    throw EInvalidParameter({TGXExceptionArg::Object("TGXVertexLayoutDecl"), "AddElement", "D3DDECL_END not allowed"});
  if (GXDeclTypeSize(type) == 0 || UsageRank(usage) < 0)
    throw EInvalidParameter({TGXExceptionArg::Object("TGXVertexLayoutDecl"), "AddElement", "Unknown type or usage"});
  auto before = [&](const TGXVertexElement& e) {
    if (stream != e.Stream) return stream < e.Stream;
    if (usage != e.Usage) return UsageRank(usage) < UsageRank(e.Usage);
    return usageIndex <= e.UsageIndex;
  };
  size_t at = 0;
  while (at < FElements.size() && !before(FElements[at])) ++at;
  FElements.insert(FElements.begin() + ptrdiff_t(at), TGXVertexElement{stream, 0, type, 0, usage, usageIndex});
  uint32_t offset = 0;
  for (size_t i = 0; i < FElements.size(); ++i) {
    if (i == 0 || FElements[i].Stream != FElements[i - 1].Stream) offset = 0;
    FElements[i].Offset = static_cast<uint16_t>(offset);
    offset += GXDeclTypeSize(FElements[i].Type);
  }
  FDirty = true;
}

void TGXVertexLayoutDecl::SetStreamFrequency(uint16_t stream, uint32_t frequency) {
  if (stream >= GXMaxVertexStreams)
    throw EInvalidParameter({TGXExceptionArg::Object("TGXVertexLayoutDecl"), "SetStreamFrequency", stream});
  if (stream >= FFrequencies.size()) {
    if (frequency == 0) return;
    FFrequencies.resize(size_t(stream) + 1, 0);
  }
  FFrequencies[stream] = frequency;
  while (!FFrequencies.empty() && FFrequencies.back() == 0) FFrequencies.pop_back();
  FDirty = true;
}

uint32_t TGXVertexLayoutDecl::StreamFrequency(uint16_t stream) const {
  return stream < FFrequencies.size() ? FFrequencies[stream] : 0;
}

uint32_t TGXVertexLayoutDecl::Checksum() const {
  if (!FDirty) return FChecksum;
  std::vector<uint8_t> records;
  for (const TGXVertexElement& e : FElements) {
    const uint8_t r[8] = {uint8_t(e.Stream), uint8_t(e.Stream >> 8), uint8_t(e.Offset), uint8_t(e.Offset >> 8),
                          e.Type,           e.Method,              e.Usage,           e.UsageIndex};
    records.insert(records.end(), r, r + 8);
  }
  // After the end marker's stream number, so no element list can give the same bytes.
  for (size_t s = 0; s < FFrequencies.size(); ++s) {
    const uint32_t f = FFrequencies[s];
    const uint8_t r[8] = {0xFF, 0x00, uint8_t(s), 0, uint8_t(f), uint8_t(f >> 8), uint8_t(f >> 16), uint8_t(f >> 24)};
    records.insert(records.end(), r, r + 8);
  }
  FChecksum = GXChecksum(records.data(), records.size());
  FDirty = false;
  return FChecksum;
}

TGXVertexLayoutFactory::TGXVertexLayoutFactory(TCreate create)
    : FCreate([create = std::move(create)](std::span<const TGXVertexElement> elements,
                                           std::span<const uint32_t> frequencies) {
        if (!frequencies.empty())
          throw EInvalidParameter(
              {TGXExceptionArg::Object("TGXVertexLayoutFactory"), "GetLayout", "Instanced streams not supported"});
        return create(elements);
      }) {}

TGXRef<TGXDeviceVertexDeclaration> TGXVertexLayoutFactory::GetLayout(const TGXVertexLayoutDecl& decl) {
  const uint32_t checksum = decl.Checksum();
  for (const TEntry& e : FLayouts)
    if (e.Checksum == checksum) return e.Declaration;
  TGXRef<TGXDeviceVertexDeclaration> declaration = FCreate(decl.Elements(), decl.Frequencies());
  if (!declaration)
    throw EDirect3D({TGXExceptionArg::Object("TGXVertexLayoutFactory"), "GetLayout", "CreateVertexDeclaration failed"});
  FLayouts.push_back({checksum, declaration});
  return declaration;
}

}  // namespace gx
