#pragma once
// The textures of the streets and plants, painted in code like the buildings' (Textures.h):
// asphalt, the marked carriageway, and the cut-out leaf pictures of trees, bushes and the hedge
// (alpha 0 between the leaves; the materials alpha-test pictures from the SDK's model folder).
//
// "Fahrbahn.png" is laid with u across the whole road (edge line, lane, dashed centre line, lane,
// edge line) and v along it, one repeat every RoadMarkingRepeat units; it and "Asphalt.png"
// repeat seamlessly. The leaf pictures are fitted to their cards.

#include <string>
#include <vector>

#include "tools/assetgen/Textures.h"

namespace assetgen {

// The road's width (edge to edge of the asphalt) and the length of one repeat of its markings.
inline constexpr float RoadWidth = 6.6f;
inline constexpr float RoadMarkingRepeat = 10.0f;

// The scenery textures by their file names.
const std::vector<TTextureInfo>& SceneryTextures();
// Paints a scenery texture, or a building texture (PaintTexture) of that name; raises
// std::invalid_argument for unknown names.
TImage PaintSceneryTexture(const std::string& fileName);

}  // namespace assetgen
