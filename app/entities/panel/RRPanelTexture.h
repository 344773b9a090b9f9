#pragma once
// The ground textures of a baseboard panel.
//
// TRRPanelTexture is one entry of a panel's texture list: the texture resource (empty until the
// entry is first validated; it stays empty when the file cannot be loaded), the file the entry
// names and its scale (texture repeats per centimetre). An entry's position in the list is its
// identity in the grid data: an entry whose file cannot be loaded keeps its index, name, scale
// and weights and is written back unchanged; it is only drawn with the default texture.
//
// TRRPanelTextureDesc is one texture of a panel description: the file and the scale.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/entities/RRAssetFileName.h"
#include "engine/render/GXTexture.h"

namespace rr {

// Folder of the built-in ground textures below "Game:\".
inline constexpr const char* RRPanelTextureFolder = "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\PanelTextures\\";
// The base package's folder; relative names beginning with it are built-in content.
inline constexpr const char* RRPanelBasePackagePrefix = "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}";
inline constexpr float RRPanelDefaultTextureScale = 0.015f;
// Texture lists longer than this are refused by the readers.
inline constexpr int RRPanelMaxTextures = 65536;

inline constexpr int RRPanelBuiltInTextureCount = 12;
// The twelve built-in ground textures in list order; number 0 is the default texture (wood): the
// fallback for indices outside the list, the receiver of removed textures' weights and the
// texture of the side walls and the underside.
inline constexpr std::array<const char*, RRPanelBuiltInTextureCount> RRPanelBuiltInTextureNames = {
    "Holz.dds",    "Blumenwiese.dds", "Eis.dds",   "Fels mit Moos.dds", "Granit.dds", "Helle Wiese.dds",
    "Schlamm.dds", "Schnee.dds",      "Stein.dds", "Wiese.dds",         "Wüste.dds",  "Gras.dds"};
inline constexpr int RRPanelDefaultTextureIndex = 0;

// The asset file name of built-in texture number index (0..11): the file name and the relative
// path RRPanelTextureFolder + file name.
inline TRRAssetFileName RRPanelBuiltInTexture(int index) {
  const std::string name = RRPanelBuiltInTextureNames.at(static_cast<size_t>(index));
  return TRRAssetFileName(name, std::string(RRPanelTextureFolder) + name);
}
// "Holz.dds" as an asset file name.
inline TRRAssetFileName RRPanelDefaultTexture() { return RRPanelBuiltInTexture(RRPanelDefaultTextureIndex); }

struct TRRPanelTexture {
  gx::IGXTexture Texture;  // empty until validated, and when the file cannot be loaded
  TRRAssetFileName FileName;
  float Scale = RRPanelDefaultTextureScale;
  // Set once a load of the file was tried (and reported when it failed): a failed entry is tried
  // and reported once per panel load, not on every weight call.
  bool LoadTried = false;

  bool Loaded() const { return Texture && Texture->IsLoaded(); }
};

struct TRRPanelTextureDesc {
  TRRAssetFileName FileName;
  float Scale = RRPanelDefaultTextureScale;
};
using TRRPanelTextureDescArray = std::vector<TRRPanelTextureDesc>;

}  // namespace rr
