#pragma once
// What the model materials need from the shared base package: the model effect
// "Shader\Model.fx" (copied from data/shaders), the placeholder model "Dummy.x" shown for a model
// file that cannot be loaded (an orange crate with a question mark on every side), the light-cone
// texture "Lichtkegel.png" and the placeholder texture "Textures\Dummy.png" (a checker board).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/RRDatabase.h"
#include "engine/render/GXModelData.h"

namespace assetgen {

// The placeholder crate: 10 units across standing on y = 0, colour materials only (it is shown
// without companion files), the question marks as a second sub-mesh.
gx::TGXModelData DummyModel();
// 64 x 64 RGBA: warm white whose alpha falls off softly from the top centre.
std::vector<uint8_t> LightConeTexture();
// 64 x 64 RGB: magenta and dark grey squares of 8 pixels.
std::vector<uint8_t> DummyTexture();

// Writes the four files into workFolder and lists them as additional files of the shared
// package; the returned handle removes them again. dataFolder holds "shaders/Model.fx".
std::shared_ptr<void> AddMaterialFiles(rr::TRRAsset& shared, const std::filesystem::path& workFolder,
                                       const std::filesystem::path& dataFolder);

}  // namespace assetgen
