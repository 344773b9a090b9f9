#pragma once
// The sample layout's baseboard: a rectangle under the oval with room around it, flat under the
// tracks with a gravel band along them, a snowy rock hill and a hollow with water beside the
// oval, meadow everywhere else and a patch of flowers inside the oval. Every value follows from
// the track boxes, so the layout is the same on every run.

#include <vector>

namespace rr {
class TRREntityManager;
class TRRTrack;
}  // namespace rr

namespace assetgen {

// The gravel band's texture, one of the base package's extra ground textures (not a built-in).
inline constexpr const char* SampleGravelTexture =
    "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Bodentexturen\\Schotter.dds";

// Adds the baseboard as a new entity (the scene must be up to date).
void AddSampleBaseboard(rr::TRREntityManager& manager, const std::vector<rr::TRRTrack*>& laid);

}  // namespace assetgen
