#pragma once
// The drawing assets of the track: the two segment meshes, the seven textures of the
// track-texture list and the seven track effects, written into the shared base package.
//
// Segment meshes (H0 scale, one unit long along +Z from Z = 0, 32-byte vertices: position,
// normal, texture coordinate):
// - Tracks\TrackBed.gxmesh: a ballast bed from Y = 0 (5 units wide) up to its top at 0.40
//   (3.5 units wide) and two rails up to the rail height 0.62, rail heads 1.65 apart. Its box is
//   exactly the built-in segment shape. Uniform along Z: sleepers and ballast are texture, so one
//   segment can be stretched over a whole straight.
// - Tracks\Track.gxmesh: without bed: a narrow ballast strip down to Y = 0, two modelled
//   sleepers and the same rails at the same height.
// Texture coordinates: u across in the atlas regions (see TrackTexture), v = Z, one repeat per
// segment; two sleepers per segment keep the pattern seamless across copies.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/RRDatabase.h"
#include "engine/render/GXMeshData.h"

namespace assetgen {

gx::TGXMeshData TrackSegmentMesh(bool bed);
// The mesh file (.gxmesh) of TrackSegmentMesh.
std::vector<uint8_t> TrackSegmentMeshFile(bool bed);

// The texture styles, in the order of the track-texture list: 0 "Holz und Schotter (Standard)",
// 1 "Beton und Schotter (Grau)", 2 "Holz und Schotter (Beige)", 3 "Holz und Schotter
// (Dunkelbraun)", 4 "Holz und Schotter (Grau)", 5 "Stahl und Schotter (Grau)", 6 "Stahl und
// Schotter (Mittelbraun)".
inline constexpr int TrackTextureCount = 7;
// A 128 x 128 atlas, 0xAARRGGBB from the top row: u 0-0.5 the bed top with two sleepers per
// repeat of v, 0.5-0.75 ballast, 0.75-0.875 rail side, 0.875-1 rail head. Seeded noise per style.
std::vector<uint32_t> TrackTexture(int style);
// The same as an uncompressed A8R8G8B8 DDS file with its full mip chain.
std::vector<uint8_t> TrackTextureDds(int style);

// Writes the meshes, the textures 1-6 (the default texture is the track catalogue's) and the
// effect files from shaderFolder (with the shared include in each effect folder) into
// workFolder and lists them as additional files of the shared package; the handle removes them.
std::shared_ptr<void> AddTrackDrawing(rr::TRRAsset& shared, const std::filesystem::path& workFolder,
                                      const std::filesystem::path& shaderFolder);

}  // namespace assetgen
