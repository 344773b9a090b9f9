#pragma once
// The plants of the base catalogue, modelled in code at H0 size (one unit = 1 cm, y up, standing
// on y = 0 round the vertical through the origin): a deciduous tree, a fir, two bushes and a
// straight piece of hedge along x.
//
// Foliage is made of cards: flat quads showing a cut-out leaf picture (SceneryTextures.h),
// crossed and turned every way so the plant looks full from the side and from above. The files
// are 3D Studio files, whose materials the program draws two-sided, so each card is one quad.
// A plant stays within a few hundred triangles: a layout shows thousands of them.

#include <vector>

#include "tools/assetgen/SceneryItem.h"

namespace assetgen {

inline constexpr const char* PlantFolder = "Landschaft\\Pflanzen";
// The hedge piece's length along x (from -HedgeLength/2).
inline constexpr float HedgeLength = 10.0f;

// Tree, fir, bush, flowering bush, hedge.
std::vector<TSceneryItem> PlantModels();

}  // namespace assetgen
