#pragma once
// An engine shed: a fan of identical bays joined by connector pieces. Bay 0 stands at the
// building's origin; every further bay is turned by the bend angle against the one before about
// the vertical axis, its back corner (-12.49, 0, -4.62) on the previous bay's corner
// (-12.49, 0, 4.62). The connector between bays i and i + 1 is a wedge stretched by twice the
// angle across and turned half-way between them.
//
// Each bay opens its doors for vehicles: every node of the bay model whose upper-cased name
// contains "ANIM" has a door box (-8, -3.5, -1.5)..(8, 3.5, 1.5) in its own space. With
// animations on, every 0.1 s of the frame timer the bays test their door boxes against the track
// vehicles' world boxes; a bay with a vehicle inside runs its door animation (20 frames of
// 0.025 s) open, one without runs it closed.
//
// Description payload (after the base payload): Integer version (1), bay model and connector
// model (model file names), bay count (Integer), bend angle (Single, radians). A bay count below
// 1 reads as 1 and above 64 as 64; a non-finite angle reads as the default.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "app/entities/RRModel.h"
#include "engine/core/GXGeometry.h"

namespace rr {

class TRRRegisteredEntityList;
class TRRVehicleBoxes;

inline constexpr const char* RRKindVehicleBuilding = "{66CC115A-5702-468D-8DF1-A38F2DDCDD7C}";
inline constexpr int32_t RRVehicleBuildingDescVersion = 1;
inline constexpr float RRDefaultBendAngle = 0.43633232f;  // 25 degrees
inline constexpr int32_t RRMaxBayCount = 64;

class TRRVehicleBuildingDesc : public TRREntityDescription {
  RR_DESCRIPTION_CLASS()

 public:
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  void GetPropertyAccess(TRRPropertyAccessList& list) override;
  // Base data and, from another building description, both models; the bay count and the angle
  // stay (a catalogue refresh keeps the placed shed's layout).
  void AssignFrom(const TRREntityDescription& other) override;
  // Base keys, "SubBuildingCount" (below 1 becomes 1), "BendAngle" and "ModelName" (the bay
  // model; its name without folder is handed back).
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;

  TRRModelFileName BayModel;
  TRRModelFileName ConnectorModel;
  int32_t BayCount = 1;
  float BendAngle = RRDefaultBendAngle;
};

// One bay: the bay model with its doors.
class TRRVehicleSubBuilding : public TRRModelEntity {
 public:
  TRRVehicleSubBuilding(gx::TGXNode* parent, const TRRModelFileName& file);
  ~TRRVehicleSubBuilding() override;

  bool DoorsClosed() const { return FDoorsClosed; }
  int DoorCount() const { return static_cast<int>(FDoorNodes.size()); }
  // The door boxes carried into world space by their nodes' world matrices.
  std::vector<gx::TGXBoundingBox> WorldDoorBoxes() const;
  // doors closed := no door box (turned with its node) meets a vehicle box.
  void CheckVehicles(const TRRVehicleBoxes& vehicles);
  // The door animation by dt towards open (a vehicle inside) or closed.
  void AnimateDoors(float deltaTime);
  // Seconds into the door animation (0 closed); 0 without an animation.
  float DoorTime() const;

  static gx::TGXBoundingBox DoorBox() { return gx::BoxFromMinMax({-8, -3.5f, -1.5f}, {8, 3.5f, 1.5f}); }

 private:
  std::vector<gx::TGXNode*> FDoorNodes;  // nodes of the model instance: the node tree owns them
  std::unique_ptr<gx::TGXAnimationController> FDoors;
  bool FDoorsClosed = true;
};

class TRRVehicleBuilding : public TRREntity {
  RR_ENTITY_CLASS()

 public:
  TRRVehicleBuilding(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRRVehicleBuilding() override;
  static void RegisterKinds(TRRRegisteredEntityList& list);

  void Animate(bool animationsOn, float deltaTime) override;
  std::unique_ptr<TRREntityDescription> CreateDescription() const override;

  int BayCount() const { return static_cast<int>(FBays.size()); }
  TRRVehicleSubBuilding* Bay(int index) const { return FBays.at(static_cast<size_t>(index)); }
  int ConnectorCount() const { return static_cast<int>(FConnectors.size()); }
  TRRModelEntity* Connector(int index) const { return FConnectors.at(static_cast<size_t>(index)); }
  float BendAngle() const { return FBendAngle; }
  // Lays the bays and connectors anew; the same angle (or a non-finite one) changes nothing.
  void SetBendAngle(float angle);
  // Whether any bay has its doors open for a vehicle.
  bool AnyDoorsOpen() const;

  // The bay corners the fan joins, in bay space.
  static constexpr gx::TGXVector3 kBackCorner{-12.49f, 0, -4.62f};
  static constexpr gx::TGXVector3 kFrontCorner{-12.49f, 0, 4.62f};

 private:
  void LayOut();

  std::vector<TRRVehicleSubBuilding*> FBays;  // child nodes: the node tree owns them
  std::vector<TRRModelEntity*> FConnectors;
  TRRModelFileName FBayModel;
  TRRModelFileName FConnectorModel;
  float FBendAngle = RRDefaultBendAngle;
  int64_t FNextCheck = -1;
};

}  // namespace rr
