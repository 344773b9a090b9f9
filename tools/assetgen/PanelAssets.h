#pragma once
// What the baseboard panels need from the shared base package: the seven effects of
// data/shaders/Bodenplatte ("Shader\Bodenplatte\..."), the twelve built-in ground textures
// ("PanelTextures\Holz.dds" ...), the raster of the technical view ("Textures\Bodenraster.png")
// and further ground textures for the user ("Bodentexturen\Schotter.dds" ...).
//
// The ground textures are painted from seeded periodic noise, so every texture repeats without a
// seam and the same bytes come out on every run; they are stored as DXT1 with their mip chains.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/RRDatabase.h"

namespace assetgen {

// Edge length of the ground textures in pixels.
inline constexpr uint32_t GroundTextureSize = 256;

// The built-in names in list order, then the extra textures of "Bodentexturen\".
const std::vector<std::string>& GroundTextureNames();
const std::vector<std::string>& ExtraGroundTextureNames();
// 0xAARRGGBB pixels, rows from the top; std::invalid_argument for an unknown name.
std::vector<uint32_t> PaintGroundTexture(const std::string& name);
// The raster of the technical view: 256 x 256, light lines every 10 cm of its 1 m repeat.
std::vector<uint32_t> PaintGroundRaster();

// Writes the files into workFolder and lists them as additional files of the shared package;
// the handle removes them again. shaderFolder holds the panel effects.
std::shared_ptr<void> AddPanelAssets(rr::TRRAsset& shared, const std::filesystem::path& workFolder,
                                     const std::filesystem::path& shaderFolder);

}  // namespace assetgen
