// Three ground textures per pass (TileMap0 .. TileMap2). TerrainCommon.fxh tells how packs draw.
#define HAS_TILE1
#define HAS_TILE2
#include "TerrainCommon.fxh"
