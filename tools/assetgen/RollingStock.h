#pragma once
// The rolling stock of the base catalogue, modelled in code at H0 size (one unit is a centimetre,
// track gauge 1.65): three locomotives (steam with its tender, diesel, electric with pantographs)
// and four carriages (a coach, a covered, an open and a tank wagon) of the fictional Kastelwald
// Railway, plus the electric locomotive's cab.
//
// What the vehicle code relies on, for every model:
// - It runs along +z (forward, catalogue axis index 1), width along x, up +y; the rail top is at
//   y = 0 and the wheels stand on it, nothing reaches below.
// - "Rad0" (front, towards +z) and "Rad1" (rear) are the bogies, or the axles of a two-axle
//   wagon: unrotated nodes at rail-top height under the bogie's centre.
// - Every wheelset is a node "radanim<n>", unrotated, its origin on the axle, which is its x axis;
//   a wheelset under a bogie is that bogie's child. The steam engine's coupled wheels and its
//   tender's front bogie ride on the body.
// - Locomotives carry headlight cones "lk<n>" pointing forward from the front lamps.
// - The buffer heads are the model's ends along z: nothing else reaches past them.
//
// The cab ("EllokFuehrerstand.x") is the electric locomotive's front cab seen from inside: desk,
// instrument panel, window frames and the controller "Fahrschalter". It is modelled around the
// driver's eye at the origin, looking along +z (the cab camera's view; the vehicle places and
// scales the cab round its camera). The cab's control animation (100 frames of 0.04 s) swings
// the controller from fully back (frame 0, full speed reverse) through upright (frame 50, stop)
// to fully forward (frame 100).

#include <string>
#include <vector>

#include "engine/render/GXModelData.h"

namespace assetgen {

enum class TVehicleKind : uint8_t { Steam, Diesel, Electric, Coach, CoveredWagon, OpenWagon, TankWagon };

struct TVehicleModel {
  std::string Name;      // the catalogue name, "Elektrolok Sperber"
  std::string Folder;    // below "Rollmaterial": "Lokomotiven" or "Wagen"
  std::string FileName;  // "Ellok.x"
  TVehicleKind Kind = TVehicleKind::Coach;
  bool Locomotive = false;
  std::string SoundFile;  // the running sound (locomotives), a name of RunningSounds.h
  bool Cab = false;       // carries the cab model
  gx::TGXModelData Model;
};

inline constexpr const char* CabModelFile = "EllokFuehrerstand.x";
inline constexpr const char* CabControlNode = "Fahrschalter";
// Where the driver's eye is in the electric locomotive's frame.
inline constexpr float CabEyeHeight = 3.45f;
inline constexpr float CabEyeZ = 7.0f;
// The controller's swing either way from upright at full speed (radians).
inline constexpr float CabControlSwing = 0.7f;

// Where a vehicle's couplers lie along z from its pivot (the middle between "Rad0" and "Rad1",
// or the middle of its box without them), as the vehicle code finds them: from the model's box
// in the rest pose, the light cones left out.
struct TVehicleSpan {
  float Pivot = 0;       // z of the pivot
  float Front = 0;       // from the pivot forward to the front buffers
  float Rear = 0;        // from the pivot back to the rear buffers
  float MinY = 0, MaxY = 0;
  float Width = 0;       // along x
};
TVehicleSpan VehicleSpan(const gx::TGXModelData& model);

// The seven vehicles: locomotives first, then the carriages.
std::vector<TVehicleModel> VehicleModels();
// The electric locomotive's cab with its control animation.
gx::TGXModelData CabModel();

}  // namespace assetgen
