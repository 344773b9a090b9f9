#pragma once
// Videos: a resource kind registered beside sound so that names of this kind resolve; a video
// loads nothing and offers only the operations of every resource.

#include <string>

#include "engine/core/GXResourceManager.h"

namespace gx {

// {8FBE1ED3-9D97-4CF8-ABB1-75ABE401F3BF}
inline constexpr TGXGuid IID_IGXVideo{
    0x8FBE1ED3, 0x9D97, 0x4CF8, {0xAB, 0xB1, 0x75, 0xAB, 0xE4, 0x01, 0xF3, 0xBF}};

class TGXVideo : public TGXResource {
 public:
  static constexpr TGXGuid IID = IID_IGXVideo;
  using TGXResource::TGXResource;
  std::string ClassName() const override { return "TGXVideo"; }
};
using IGXVideo = TGXRef<TGXVideo>;

class TGXVideoFactory : public TGXResourceFactory {
 public:
  using TGXResourceFactory::TGXResourceFactory;
  TGXGuid GetResourceKind() const override { return IID_IGXVideo; }
  IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override;
};

}  // namespace gx
