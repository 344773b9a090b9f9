#pragma once
// The rolling-stock editor without its window: the forward axis a new model starts with, what
// an edited vehicle keeps, and the little scene its preview shows (the vehicle on a straight H0
// track of 100 turned a quarter round, in the middle of it).

#include <memory>
#include <vector>

#include "app/entities/RRTrackVehicle.h"
#include "engine/core/GXGeometry.h"

namespace rr {

inline constexpr const char* RRTextVehicleEditorCaption = "Rollmaterial-Editor";
inline constexpr const char* RRTextInvalidModel =
    "Das angegebene 3D-Modell konnte nicht geladen werden. Stellen Sie sicher, dass es sich um ein gültiges "
    "3D-Modell handelt.";
inline constexpr const char* RRTextInvalidModelCaption = "Ungültiges Modell";
inline constexpr float RRVehiclePreviewTrackLength = 100;

// "+ X" (0) when the model's box is at least as long along X as along Z, else "+ Y" (1, which
// points along the model's Z); an empty box gives "+ X".
int RRDefaultForwardAxis(const gx::TGXBoundingBox& modelBox);

// What OK makes of the edited description: a wagon has no speeds and no sound; no vehicle built
// by the user has a cab.
void RRFinishEditedVehicle(TRRTrackVehicleDesc& vehicle);

// The preview scene: a straight H0 track (ID 1) and a copy of the vehicle (ID 2) standing in
// the middle of it.
std::vector<std::unique_ptr<TRREntityDescription>> RRVehiclePreviewScene(const TRRTrackVehicleDesc& vehicle);

}  // namespace rr
