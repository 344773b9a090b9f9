#pragma once
// The textures of the catalogue's buildings, painted in code: plaster, brick, roof tiles, slate,
// timber boarding, half-timbering, stone, paving, tar paper, windows, doors, gates and the
// windmill's sail lattice. Every texture is made from fixed numbers and its own seeded noise, so
// the same bytes come out on every run.
//
// The images are 0xAARRGGBB pixels, row 0 at the top. Tiled textures repeat seamlessly; the
// world size one repeat is meant to cover is given with each (TTextureInfo::Tile), so models
// and textures agree on the scale (H0: bricks, tiles and boards of the right size).

#include <cstdint>
#include <string>
#include <vector>

#include "tools/assetgen/ModelKit.h"

namespace assetgen {

struct TImage {
  uint32_t Width = 0, Height = 0;
  bool Alpha = false;  // written with an alpha channel
  std::vector<uint32_t> Pixels;
  TImage() = default;
  TImage(uint32_t w, uint32_t h, uint32_t fill = 0xFF000000u)
      : Width(w), Height(h), Pixels(size_t(w) * h, fill) {}
  uint32_t& At(uint32_t x, uint32_t y) { return Pixels[size_t(y % Height) * Width + (x % Width)]; }
  uint32_t At(uint32_t x, uint32_t y) const { return Pixels[size_t(y % Height) * Width + (x % Width)]; }
};

// An uncompressed true-colour TGA (type 2), 24 bits or with alpha 32 bits, rows from the top.
std::vector<uint8_t> EncodeTga(const TImage& image);

// Noise for painted textures, the same on every machine: a hash of integer coordinates, its value
// in 0..1, and smooth value noise in 0..1 with cells of the given size that repeats every period
// cells (a texture of period x cell pixels tiles without a seam).
uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed);
float Random(uint32_t x, uint32_t y, uint32_t seed);
float Smooth(float x, float y, uint32_t cell, uint32_t period, uint32_t seed);

struct TTextureInfo {
  std::string FileName;  // "Klinker.tga": the name models use and the file written
  TTile Tile;            // world size of one repeat (fitted textures: kFit)
};

// The building textures by their file names (see Textures.cpp for the list).
const std::vector<TTextureInfo>& BuildingTextures();
// The tile of a texture by file name (kFit for unknown names).
TTile TileOf(const std::string& fileName);
// Paints the texture of that file name; std::invalid_argument for unknown names.
TImage PaintTexture(const std::string& fileName);
// The file's bytes in the format its extension names (.tga or .png).
std::vector<uint8_t> EncodeTexture(const std::string& fileName, const TImage& image);

}  // namespace assetgen
