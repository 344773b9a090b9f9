#pragma once
// The layout's surroundings in the shared base package: the floor and sky effects
// ("Shader\Floor.fx", "Shader\Skybox.fx", copied from data/shaders), the floor's ground texture
// "Textures\Floor.dds" (a seamless meadow), its light map "Textures\FloorLightmap.dds" (soft
// patches, lighter in the middle) and the five sky pictures "Skybox\1.png" … "5.png" (four sides
// and the top). The sky is painted per texel from the direction the texel is seen in from the
// box's centre - a blue that deepens towards the zenith over a light horizon, with soft clouds
// on a plane high above - so the pictures meet at every edge. All of it comes from fixed seeds.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/RRDatabase.h"

namespace assetgen {

// RGB pixels 0xFFRRGGBB, rows top-down.
std::vector<uint32_t> SkyFacePixels(int face, uint32_t width, uint32_t height);
std::vector<uint32_t> FloorPixels(uint32_t size);
std::vector<uint32_t> FloorLightMapPixels(uint32_t size);

// Writes the files into workFolder and lists them as additional files of the shared package;
// the returned handle removes them again. dataFolder holds "shaders/Floor.fx" and
// "shaders/Skybox.fx".
std::shared_ptr<void> AddSurroundingsFiles(rr::TRRAsset& shared, const std::filesystem::path& workFolder,
                                           const std::filesystem::path& dataFolder);

}  // namespace assetgen
