#pragma once
// The fan-shaped engine shed of the base catalogue in two models, at H0 size (one unit = 1 cm, y
// up): a bay and the connector that fills the wedge between two neighbouring bays. An old brick
// shed with a flat tar-paper roof, a glazed roof lantern and a smoke vent.
//
// The bay: its track runs along x at z = 0 on the ground, the doorway at x = ShedDoorX (the fan's
// narrow end), the floor from there to ShedBackX, the walls' outer faces at z = ±ShedWallZ
// exactly (the program joins the bays at their doorway corners). The node ShedDoorNode stands in
// the doorway's middle at rail height + 3.5, unturned and not animated itself: the program takes
// the box (-8, -3.5, -1.5)..(8, 3.5, 1.5) round it as the door's detection box. Its two children
// are the door leaves, which swing outwards in a 20-frame animation (frame 0 closed, 20 open).
//
// The connector: a wedge from its apex at the origin along +x over the bay's length, half as wide
// at distance x as x / 4, with the roof at the bays' height and a back wall. The program stretches
// it across by twice the bend angle and turns it between two bays with its apex on their common
// doorway corner.

#include "tools/assetgen/SceneryItem.h"

namespace assetgen {

inline constexpr float ShedDoorX = -12.49f;
inline constexpr float ShedBackX = 24.0f;
inline constexpr float ShedWallZ = 4.62f;
inline constexpr const char* ShedDoorNode = "TorANIM";
inline constexpr const char* ShedDoorLeaves[2] = {"TorLinks", "TorRechts"};
inline constexpr const char* ShedFolder = "Gebäude";
inline constexpr const char* ShedName = "Lokschuppen";

TSceneryItem ShedBayModel();
TSceneryItem ShedConnectorModel();

}  // namespace assetgen
