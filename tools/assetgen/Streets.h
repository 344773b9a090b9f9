#pragma once
// The street pieces and the level-crossing barrier of the base catalogue, modelled in code at H0
// size (one unit = 1 cm, y up, standing on y = 0).
//
// Streets: a carriageway RoadWidth wide (SceneryTextures.h) whose asphalt top lies StreetTop
// above the ground; every road end lies on a piece's boundary, at the middle of the road, on the
// ground, its angle turning (1, 0, 0) out of the road. The pieces: a straight, a junction (T) and
// a crossing centred on the origin, a 45° curve from the origin along +x bending towards +z, and
// the level-crossing plate, whose
// origin lies on the centre of the track it covers (the track's base), the track along x and the
// road across it along z: its panels lie at rail-top height between and beside the rails, and
// ramps bring the road down to the street's height at both ends. Their files' names begin with
// "Straße", by which older layouts tell streets from other models.
//
// The barrier: a pair of half barriers, its origin on the track's centre on the ground, the track
// along x. The posts stand beside the track at z = ±BarrierPostZ on opposite ends of the road,
// each with its warning cross towards the road traffic it stops; their booms rise from the posts
// at rest (frame 0, open) and lie along x over the road's right half at frame 20 (closed).

#include <vector>

#include "tools/assetgen/SceneryItem.h"

namespace assetgen {

inline constexpr const char* StreetFolder = "Landschaft\\Straßen";
inline constexpr float StreetTop = 0.1f;
// The rail top of the base catalogue's track (TrackMeshes.h).
inline constexpr float RailTop = 0.62f;
inline constexpr float BarrierPostZ = 4.0f;
// The two booms, in the order of the animation's tracks.
inline constexpr const char* BarrierBooms[2] = {"SchlagbaumA", "SchlagbaumB"};
inline constexpr const char* BarrierName = "Schranke";
inline constexpr const char* LevelCrossingName = "Bahnübergang";

// The five street pieces in catalogue order: straight, curve, junction, crossing, level crossing.
std::vector<TSceneryItem> StreetModels();
// The barrier (DirectX text file with its animation).
TSceneryItem BarrierModel();

}  // namespace assetgen
