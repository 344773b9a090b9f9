#pragma once
// The models tracks show, written into the shared base package under "Modelle\":
//
// - "Prellbock.x" and "PrellbockOhneBettung.x": a buffer stop at H0 size (the track scales it
//   by its track system's scale) at the start of its route, which runs along +z from z = 0; its
//   buffer beam faces +z, where trains come from, and rests on the rails (rail height 0.62). The
//   bedded one also closes the ballast bed's end.
// - "Drehscheibe.x": a turntable 26 units across, centred on the origin, its routes across the
//   pit (radius 10) and their stubs on the deck ring (radius 10 to 13). The node "Rad" is the
//   bridge with the operator's hut "Haus" on it; the track stretches the model to its diameter
//   and turns the bridge, while the hut keeps its proportions.
//
// All three are painted in colours only (no companion files) and written as DirectX text files.

#include <filesystem>
#include <memory>

#include "engine/render/GXModelData.h"

namespace rr {
class TRRAsset;
}

namespace assetgen {

inline constexpr const char* BufferStopModelFile = "Modelle\\Prellbock.x";
inline constexpr const char* BufferStopNoBedModelFile = "Modelle\\PrellbockOhneBettung.x";
inline constexpr const char* TurntableModelFile = "Modelle\\Drehscheibe.x";
// The diameter the track's scale factor assumes for the turntable model.
inline constexpr float TurntableModelDiameter = 26.0f;

gx::TGXModelData BufferStopModel(bool bed);
gx::TGXModelData TurntableModel();

// Writes the three files into workFolder and lists them as additional files of the shared
// package; the returned handle removes them again.
std::shared_ptr<void> AddTrackModels(rr::TRRAsset& shared, const std::filesystem::path& workFolder);

}  // namespace assetgen
