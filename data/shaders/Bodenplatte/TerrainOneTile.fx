// One ground texture per pass (TileMap0). TerrainCommon.fxh tells how packs draw.
#include "TerrainCommon.fxh"
