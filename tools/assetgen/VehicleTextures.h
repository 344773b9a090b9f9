#pragma once
// The textures of the rolling stock, painted in code: the liveries of the Kastelwald Railway
// ("Kastelwalder Eisenbahn", lettered "KWE", its sign a fir tree in a ring) on coach, wagon and
// locomotive sides, windows and fronts, wheel faces, the coal load and the cab's instrument panel.
//
// Lettering is drawn as block letters from a 5 x 7 grid font (BlockGlyph), so every letter is
// sharp at the textures' small sizes. Every texture is made from fixed numbers and its own seeded
// noise: the same bytes on every run. Images are 0xAARRGGBB, row 0 at the top; most are fitted
// to one face (its left edge at u = 0, its top at v = 0).

#include <string>
#include <vector>

#include "tools/assetgen/Textures.h"

namespace assetgen {

// The railway's name and its lettering.
inline constexpr const char* RailwayName = "Kastelwalder Eisenbahn";
inline constexpr const char* RailwayLetters = "KWE";

// The rows of a character in the 5 x 7 block font, top row first, '#' set ('\0'-free, seven
// strings of five); null for a character the font does not have.
const char* const* BlockGlyph(char c);

// Draws text in block letters with its top-left corner at (x, y), each font cell scale pixels
// square and one empty column between letters. Returns the width drawn.
int DrawBlockText(TImage& image, int x, int y, const std::string& text, int scale, uint32_t colour);
// The width DrawBlockText would take.
int BlockTextWidth(const std::string& text, int scale);

// The vehicle textures by file name, all distinct from the buildings' names.
const std::vector<TTextureInfo>& VehicleTextures();
// Paints one of them; std::invalid_argument for other names.
TImage PaintVehicleTexture(const std::string& fileName);

}  // namespace assetgen
