#include "app/entities/scenery/RRVehicleBuilding.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/scenery/RRBarrier.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXAnimation.h"

namespace rr {

using gx::TGXBoundingBox;
using gx::TGXQuaternion;
using gx::TGXVector3;

namespace {

constexpr uint32_t kDoorFrames = 20;
constexpr float kDoorSecondsPerFrame = 0.025f;

int32_t UsableBayCount(int32_t count) { return std::clamp(count, 1, RRMaxBayCount); }
float UsableAngle(float angle) { return std::isfinite(angle) ? angle : RRDefaultBendAngle; }

bool IsDoorName(const std::string& name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper.find("ANIM") != std::string::npos;
}

TGXQuaternion TurnAboutVertical(float angle) { return gx::GXQuaternionRotationAxis({0, 1, 0}, angle); }

// A point of a child node's space in the parent's space (scale, then rotation, then position).
TGXVector3 InParent(const gx::TGXNode& node, const TGXVector3& p) {
  const TGXVector3 s = node.Scale();
  return node.Position() + gx::RotateVector({p.x * s.x, p.y * s.y, p.z * s.z}, node.Rotation());
}

}  // namespace

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRVehicleBuildingDesc, TRREntityDescription)

void TRRVehicleBuildingDesc::LoadFromStream(gx::TGXStream& s) {
  TRREntityDescription::LoadFromStream(s);
  if (gx::ReadInteger(s) != RRVehicleBuildingDescVersion) throw EUnknownEntityDescription();
  TRRModelFileName bay, connector;
  bay.ReadFromStream(s);
  connector.ReadFromStream(s);
  const int32_t count = gx::ReadInteger(s);
  const float angle = gx::ReadSingle(s);
  BayModel = std::move(bay);
  ConnectorModel = std::move(connector);
  BayCount = UsableBayCount(count);
  BendAngle = UsableAngle(angle);
}

void TRRVehicleBuildingDesc::SaveToStream(gx::TGXStream& s) const {
  TRREntityDescription::SaveToStream(s);
  gx::WriteInteger(s, RRVehicleBuildingDescVersion);
  BayModel.WriteToStream(s);
  ConnectorModel.WriteToStream(s);
  gx::WriteInteger(s, BayCount);
  gx::WriteSingle(s, BendAngle);
}

void TRRVehicleBuildingDesc::GetPropertyAccess(TRRPropertyAccessList& list) {
  TRREntityDescription::GetPropertyAccess(list);
  list.Add<TRRModelFileNameAccess>(BayModel);
  list.Add<TRRModelFileNameAccess>(ConnectorModel);
}

void TRRVehicleBuildingDesc::AssignFrom(const TRREntityDescription& other) {
  TRREntityDescription::AssignFrom(other);
  const auto* o = dynamic_cast<const TRRVehicleBuildingDesc*>(&other);
  if (!o || o == this) return;
  // The models come from the catalogue; the bay count and the angle are the placed shed's own
  // (a catalogue refresh on load must not turn a two-bay shed into the catalogue's three).
  BayModel = o->BayModel;
  ConnectorModel = o->ConnectorModel;
}

void TRRVehicleBuildingDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRREntityDescription::LoadFromPropertyBag(bag, modelFileName);
  int32_t count = 1;
  if (bag.GetInteger("SubBuildingCount", count)) BayCount = UsableBayCount(count);
  float angle = RRDefaultBendAngle;
  if (bag.GetSingle("BendAngle", angle)) BendAngle = UsableAngle(angle);
  std::string file;
  if (bag.GetFilename("ModelName", file) || bag.GetString("ModelName", file)) {
    BayModel = TRRModelFileName{TRRAssetFileName(file), {}};
    const size_t p = file.find_last_of("\\/");
    modelFileName = p == std::string::npos ? file : file.substr(p + 1);
  }
}

// ---- bay ----

TRRVehicleSubBuilding::TRRVehicleSubBuilding(gx::TGXNode* parent, const TRRModelFileName& file)
    : TRRModelEntity(parent, static_cast<TRRMaterialDesc*>(nullptr), file) {
  std::vector<gx::TGXNode*> stack{this};
  while (!stack.empty()) {
    gx::TGXNode* n = stack.back();
    stack.pop_back();
    if (n != this && IsDoorName(n->Name())) FDoorNodes.push_back(n);
    for (int i = n->ChildCount() - 1; i >= 0; --i) stack.push_back(n->Child(i));
  }
  if (const gx::IGXAnimation& animation = Animation()) {
    FDoors = std::make_unique<gx::TGXAnimationController>();
    FDoors->Bind(animation, this);
    FDoors->SetSecondsPerFrame(kDoorSecondsPerFrame);
    FDoors->SetEndFrame(kDoorFrames);
    FDoors->SetLoop(false);
    FDoors->SetTime(0);
  }
}

TRRVehicleSubBuilding::~TRRVehicleSubBuilding() {
  // The controller listens to nodes below this one, which the node tree frees after us.
  FDoors.reset();
}

std::vector<TGXBoundingBox> TRRVehicleSubBuilding::WorldDoorBoxes() const {
  std::vector<TGXBoundingBox> boxes;
  boxes.reserve(FDoorNodes.size());
  for (gx::TGXNode* n : FDoorNodes) boxes.push_back(gx::TransformBox(DoorBox(), n->WorldMatrix()));
  return boxes;
}

void TRRVehicleSubBuilding::CheckVehicles(const TRRVehicleBoxes& vehicles) {
  bool inside = false;
  for (gx::TGXNode* n : FDoorNodes)
    inside = inside || vehicles.AnyMeets(DoorBox(), n->WorldMatrix(), n->InverseWorldMatrix());
  FDoorsClosed = !inside;
}

void TRRVehicleSubBuilding::AnimateDoors(float deltaTime) {
  if (!FDoors || !std::isfinite(deltaTime) || deltaTime <= 0) return;
  const float t = FDoors->Time(), duration = FDoors->Duration();
  if (!FDoorsClosed && t < duration)
    FDoors->SetTime(std::min(duration, t + deltaTime));
  else if (FDoorsClosed && t > 0)
    FDoors->SetTime(std::max(0.0f, t - deltaTime));
}

float TRRVehicleSubBuilding::DoorTime() const { return FDoors ? FDoors->Time() : 0.0f; }

// ---- building ----

RR_DEFINE_ENTITY_CLASS(TRRVehicleBuilding, TRREntity)

void TRRVehicleBuilding::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindVehicleBuilding), StaticClass(), TRRVehicleBuildingDesc::StaticClass());
}

TRRVehicleBuilding::TRRVehicleBuilding(gx::TGXNode* parent, IRREntityManager* manager,
                                       const TRREntityDescription& description)
    : TRREntity(parent, manager, description) {
  const auto* d = dynamic_cast<const TRRVehicleBuildingDesc*>(&description);
  const TRRVehicleBuildingDesc defaults;
  if (!d) d = &defaults;
  FBayModel = d->BayModel;
  FConnectorModel = d->ConnectorModel;
  FBendAngle = UsableAngle(d->BendAngle);
  const int count = UsableBayCount(d->BayCount);
  for (int i = 0; i < count; ++i) FBays.push_back(new TRRVehicleSubBuilding(this, FBayModel));
  for (int i = 0; i + 1 < count; ++i)
    FConnectors.push_back(new TRRModelEntity(this, static_cast<TRRMaterialDesc*>(nullptr), FConnectorModel));
  LayOut();
}

TRRVehicleBuilding::~TRRVehicleBuilding() { BeginDestruction(); }

void TRRVehicleBuilding::SetBendAngle(float angle) {
  if (!std::isfinite(angle) || angle == FBendAngle) return;
  FBendAngle = angle;
  LayOut();
}

void TRRVehicleBuilding::LayOut() {
  const float a = FBendAngle;
  for (size_t i = 0; i < FBays.size(); ++i) {
    TRRVehicleSubBuilding* bay = FBays[i];
    bay->SetScale({1, 1, 1});
    bay->SetRotation(TurnAboutVertical(-float(i) * a));
    bay->SetPosition({0, 0, 0});
    if (i == 0) continue;
    // The back corner onto the previous bay's front corner.
    const TGXVector3 target = InParent(*FBays[i - 1], kFrontCorner);
    bay->SetPosition(target - InParent(*bay, kBackCorner));
  }
  for (size_t i = 0; i < FConnectors.size(); ++i) {
    TRRModelEntity* c = FConnectors[i];
    c->SetScale({1, 1, 2 * a});
    c->SetRotation(TurnAboutVertical(-float(i) * a - a / 2));
    c->SetPosition(InParent(*FBays[i], kFrontCorner));
  }
  Update(false);
}

bool TRRVehicleBuilding::AnyDoorsOpen() const {
  return std::any_of(FBays.begin(), FBays.end(), [](const TRRVehicleSubBuilding* b) { return !b->DoorsClosed(); });
}

void TRRVehicleBuilding::Animate(bool animationsOn, float deltaTime) {
  TRREntity::Animate(animationsOn, deltaTime);
  if (!animationsOn) return;
  if (const TRRVehicleBoxes* vehicles = TRRVehicleBoxes::Due(Manager(), FNextCheck))
    for (TRRVehicleSubBuilding* bay : FBays) bay->CheckVehicles(*vehicles);
  for (TRRVehicleSubBuilding* bay : FBays) bay->AnimateDoors(deltaTime);
}

std::unique_ptr<TRREntityDescription> TRRVehicleBuilding::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRREntity::CreateDescription();
  if (auto* d = dynamic_cast<TRRVehicleBuildingDesc*>(base.get())) {
    d->BayModel = FBayModel;
    d->ConnectorModel = FConnectorModel;
    d->BayCount = BayCount();
    d->BendAngle = FBendAngle;
  }
  return base;
}

}  // namespace rr
