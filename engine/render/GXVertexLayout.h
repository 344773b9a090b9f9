#pragma once
// Vertex layouts: TGXVertexLayoutDecl collects the elements of a vertex format in a canonical
// order with computed offsets, so that two declarations of the same format compare equal by
// their checksum; TGXVertexLayoutFactory hands out one device declaration per distinct layout.
//
// A stream may advance per instance instead of per vertex (its frequency: every n-th instance
// takes the next element, 0 = per vertex), so an instanced draw reads per-instance values such as
// world matrices from a second buffer.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "engine/core/GXRefCounted.h"
#include "engine/render/GXGLRenderDevice.h"

namespace gx {

class TGXVertexLayoutDecl {
 public:
  // Inserts the element ordered by stream, then by usage (position, blend indices, normal, point
  // size, texture coordinate, binormal, tessellation factor, transformed position, colour, blend
  // weight, tangent, fog, depth, sample), then by usage index - a new element goes before an equal
  // one - and recomputes the offsets: each stream's elements follow each other from 0. Stream
  // 0xFF (the end marker) raises EInvalidParameter "D3DDECL_END not allowed"; an unknown type or
  // usage EInvalidParameter as well.
  void AddElement(uint16_t stream, uint8_t type, uint8_t usage, uint8_t usageIndex);
  const std::vector<TGXVertexElement>& Elements() const { return FElements; }
  // Stream frequency: 0 advances per vertex, n > 0 once every n instances. A stream beyond the
  // device's raises EInvalidParameter.
  void SetStreamFrequency(uint16_t stream, uint32_t frequency);
  uint32_t StreamFrequency(uint16_t stream) const;
  // Per stream from stream 0, up to the last stream that advances per instance (empty: none).
  const std::vector<uint32_t>& Frequencies() const { return FFrequencies; }
  // The engine checksum over the element records (8 bytes each) and, for an instanced layout, the
  // frequencies; computed when they changed. Layouts without instanced streams keep the checksum
  // of their elements alone.
  uint32_t Checksum() const;

 private:
  std::vector<TGXVertexElement> FElements;
  std::vector<uint32_t> FFrequencies;
  mutable uint32_t FChecksum = 0;
  mutable bool FDirty = true;
};

class TGXVertexLayoutFactory {
 public:
  using TCreate = std::function<TGXRef<TGXDeviceVertexDeclaration>(std::span<const TGXVertexElement>)>;
  using TCreateInstanced = std::function<TGXRef<TGXDeviceVertexDeclaration>(
      std::span<const TGXVertexElement>, std::span<const uint32_t> frequencies)>;
  // create makes the device declaration (the GL device's CreateVertexDeclaration). A factory made
  // from a creator without frequencies refuses instanced layouts (EInvalidParameter).
  explicit TGXVertexLayoutFactory(TCreate create);
  explicit TGXVertexLayoutFactory(TCreateInstanced create) : FCreate(std::move(create)) {}
  // The declaration made earlier for a layout with the same checksum, or a new one.
  TGXRef<TGXDeviceVertexDeclaration> GetLayout(const TGXVertexLayoutDecl& decl);
  int Count() const { return static_cast<int>(FLayouts.size()); }

 private:
  struct TEntry {
    uint32_t Checksum;
    TGXRef<TGXDeviceVertexDeclaration> Declaration;
  };
  TCreateInstanced FCreate;
  std::vector<TEntry> FLayouts;
};

}  // namespace gx
