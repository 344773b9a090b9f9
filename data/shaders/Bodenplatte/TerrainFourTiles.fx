// Four ground textures per pass (TileMap0 .. TileMap3). TerrainCommon.fxh tells how packs draw.
#define HAS_TILE1
#define HAS_TILE2
#define HAS_TILE3
#include "TerrainCommon.fxh"
