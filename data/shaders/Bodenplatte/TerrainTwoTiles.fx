// Two ground textures per pass (TileMap0, TileMap1). TerrainCommon.fxh tells how packs draw.
#define HAS_TILE1
#include "TerrainCommon.fxh"
