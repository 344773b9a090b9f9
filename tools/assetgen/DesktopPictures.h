#pragma once
// The desktop program's own pictures, painted in code from fixed numbers: the start picture
// "Background.jpg", shown while no layout is open (a landscape with a curving track, a small
// station, trees and rolling hills under a cloudy sky), and the program icon "velmora-<n>.png"
// in the sizes the desktop looks for. The same bytes come out on every run.
//
// The start picture is drawn by casting one ray per sample into a small scene (ground, hills as
// upright layers, trees as upright cut-outs, the station's walls and roof as flat faces), with
// 4 x 4 samples wherever a pixel touches an edge or fine detail. Every border fades into one calm
// sky colour, the picture's top-left pixel: the window fills the room beside the picture with that
// colour, so the picture sits in it without a seam whatever the window's shape.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace assetgen {

constexpr uint32_t kBackgroundWidth = 1600, kBackgroundHeight = 1000;
inline constexpr uint32_t kIconSizes[] = {16, 32, 48, 64, 128, 256};

// The colour every border of the start picture fades into, 0xFFRRGGBB.
uint32_t DesktopBackgroundEdgeColour();
// The start picture, width x height pixels 0xFFRRGGBB, rows top-down. The scene scales with the
// height and stays centred, so any size shows the same landscape. std::invalid_argument for a
// side of 0 or above 8192.
std::vector<uint32_t> PaintDesktopBackground(uint32_t width, uint32_t height);
// The program icon, size x size pixels 0xAARRGGBB (straight alpha), transparent around its
// rounded square; small sizes leave out what would only blur. std::invalid_argument for a size
// below 8 or above 1024.
std::vector<uint32_t> PaintProgramIcon(uint32_t size);

// Writes "Background.jpg" and "velmora-<n>.png" for every icon size into folder (made when
// missing) and returns the names written, in that order.
std::vector<std::string> WriteDesktopFiles(const std::filesystem::path& folder);

}  // namespace assetgen
