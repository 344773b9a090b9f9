#include "app/entities/track/RRCatenary.h"

#include <cmath>
#include <utility>
#include <vector>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRInput.h"
#include "app/RRProjectHost.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"

namespace rr {

using gx::TGXQuaternion;
using gx::TGXVector3;

namespace {

// Shorter rest lengths cannot be stretched sensibly (the scale would run away).
constexpr float kMinRestLength = 1e-6f;
constexpr float kPi = 3.14159265358979f;

TRRCatenarySnapshot SnapshotOf(const TRREntity& mast) {
  return {mast.WorldPosition(), mast.WorldRotation(), mast.WorldScale()};
}

bool Near(const TGXVector3& a, const TGXVector3& b, float tolerance) {
  // Written so that a NaN counts as a difference.
  return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
         std::fabs(a.z - b.z) <= tolerance;
}

// The rotation that turns +y onto the unit vector u.
TGXQuaternion TurnUpTo(const TGXVector3& u) {
  const TGXVector3 rest{0, 1, 0};
  const float c = gx::GXVec3Dot(u, rest);
  if (c >= 1) return {0, 0, 0, 1};
  const TGXVector3 axis = gx::GXVec3Cross(rest, u);
  // Opposite (or so close that the axis is lost): half a turn about x keeps the wire in the
  // plane it hangs in and points it down.
  if (c <= -1 || gx::GXVec3Length(axis) < 1e-7f) {
    if (c > 0) return {0, 0, 0, 1};
    return gx::GXQuaternionRotationAxis({1, 0, 0}, kPi);
  }
  return gx::GXQuaternionRotationAxis(gx::GXVec3Normalize(axis), std::acos(c));
}

TRREntityManager* ManagerOf(const TRREntity& e) { return dynamic_cast<TRREntityManager*>(e.Manager()); }

TRRHistory* HistoryOf(const TRREntity& e) {
  TRREntityManager* manager = ManagerOf(e);
  return manager ? manager->Project().History() : nullptr;
}

}  // namespace

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRCatenaryDesc, TRRModelDesc)

TRRCatenaryDesc::TRRCatenaryDesc() { SetCADType(RRCatenaryCadType); }

void TRRCatenaryDesc::LoadFromStream(gx::TGXStream& s) {
  TRRModelDesc::LoadFromStream(s);
  if (gx::ReadInteger(s) != RRCatenaryDescVersion) throw EUnknownEntityDescription();
  ConnectionID = gx::ReadInteger(s);
}

void TRRCatenaryDesc::SaveToStream(gx::TGXStream& s) const {
  TRRModelDesc::SaveToStream(s);
  gx::WriteInteger(s, RRCatenaryDescVersion);
  gx::WriteInteger(s, ConnectionID);
}

void TRRCatenaryDesc::GetPropertyAccess(TRRPropertyAccessList& list) {
  TRRModelDesc::GetPropertyAccess(list);
  list.Add<TRREntityIDRefAccess>(ConnectionID);
}

void TRRCatenaryDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRRModelDesc::LoadFromPropertyBag(bag, modelFileName);
  int32_t id = 0;
  if (bag.GetIDRef("ConnectionID", id)) ConnectionID = id;
}

// ---- mast ----

RR_DEFINE_ENTITY_CLASS(TRRCatenary, TRRModel)

void TRRCatenary::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindCatenary), StaticClass(), TRRCatenaryDesc::StaticClass());
}

TRRCatenary::TRRCatenary(gx::TGXNode* parent, IRREntityManager* manager,
                         const TRREntityDescription& description)
    : TRRModel(parent, manager, description) {
  if (const auto* d = dynamic_cast<const TRRCatenaryDesc*>(&description))
    FConnectionID = d->ConnectionID > 0 && d->ConnectionID != description.ID() ? d->ConnectionID : 0;
  TRRModelEntity* model = ModelEntity();
  // Nothing to stretch without the model's own nodes: a command that does not draw, or the
  // placeholder of a missing file (the layout still loads).
  if (!model || !model->HasModel() || model->IsDummy()) return;
  auto* mast = dynamic_cast<gx::TGXSceneNode*>(model->FindChild(RRCatenaryMastNode));
  auto* wire = dynamic_cast<gx::TGXSceneNode*>(model->FindChild(RRCatenaryWireNode));
  if (!mast || !wire)
    throw gx::EGXException({gx::TGXExceptionArg::Object("TRRCatenary"), "Create", RRTextInvalidModel});
  // The wire's box in its own space; the parent was invalidated by adding this mast, so the next
  // update pass still walks the whole subtree.
  Update(true);
  const gx::TGXBoundingBox& box = wire->LocalBounds();
  const float rest = box.Empty ? 0.0f : box.Max().y - box.Min().y;
  if (!std::isfinite(rest) || rest < kMinRestLength)
    throw gx::EGXException({gx::TGXExceptionArg::Object("TRRCatenary"), "Create", RRTextInvalidModel});
  FMast = mast;
  FWire = wire;
  FRestLength = rest;
  // Shown by the first lay, so a wire never stands upright for a frame.
  FWire->SetVisible(false);
}

std::unique_ptr<TRREntityDescription> TRRCatenary::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRRModel::CreateDescription();
  if (auto* d = dynamic_cast<TRRCatenaryDesc*>(base.get()))
    d->ConnectionID = !Manager() || GetLinkedMast() ? FConnectionID : 0;
  return base;
}

TRRCatenary* TRRCatenary::GetLinkedMast() const {
  if (FConnectionID <= 0 || !Manager()) return nullptr;
  TRREntity* e = Manager()->FindByID(FConnectionID);
  return e && e != this && e->Is<TRRCatenary>() && !e->EntityDestroying() ? static_cast<TRRCatenary*>(e)
                                                                          : nullptr;
}

void TRRCatenary::Link(TRRCatenary& other) {
  if (&other == this) return;
  Unlink();
  FConnectionID = other.ID();
  ShowWire(true);
  FDirty = true;
  LayWire();
}

void TRRCatenary::Unlink() {
  FConnectionID = 0;
  FLaidTo = 0;
  FWireLength = 0;
  FDirty = true;
  ShowWire(false);
}

void TRRCatenary::ShowWire(bool visible) {
  if (FWire && FWire->Visible() != visible) FWire->SetVisible(visible);
}

void TRRCatenary::LayWire() {
  TRRCatenary* other = GetLinkedMast();
  if (!other || !FWire || !other->FWire) return;
  ++FLayCount;
  FDirty = false;
  FLaidTo = other->ID();
  FOwnSnapshot = SnapshotOf(*this);
  FLinkedSnapshot = SnapshotOf(*other);
  // In the space the wire node is placed in: its parent's (the model's for a top-level "Kabel").
  const TGXVector3 anchor = other->FWire->WorldPosition();
  const gx::TGXNode* parent = FWire->Parent();
  const TGXVector3 target = parent ? gx::GXVec3TransformCoord(anchor, parent->InverseWorldMatrix()) : anchor;
  const TGXVector3 d = target - FWire->Position();
  const float length = gx::GXVec3Length(d);
  if (!std::isfinite(length) || length < kMinRestLength) {
    // Anchors on top of each other: no wire to show, and no direction to turn it to.
    FWireLength = 0;
    ShowWire(false);
    return;
  }
  FWire->SetScale({RRCatenaryWireWidth, length / FRestLength, RRCatenaryWireWidth});
  FWire->SetRotation(TurnUpTo(d * (1.0f / length)));
  FWireLength = gx::GXVec3Length(anchor - FWire->WorldPosition());
  ShowWire(true);
}

bool TRRCatenary::WireShown() const {
  const TRRCatenary* other = GetLinkedMast();
  if (!other) return false;
  return !FWire || !other->FWire || SpanLength() >= kMinRestLength;
}

float TRRCatenary::SpanLength() const {
  const TRRCatenary* other = GetLinkedMast();
  if (!other) return 0;
  if (FWire && other->FWire) return gx::GXVec3Length(other->FWire->WorldPosition() - FWire->WorldPosition());
  return gx::GXVec3Length(other->WorldPosition() - WorldPosition());
}

bool TRRCatenary::Moved(const TRRCatenarySnapshot& s, const TRREntity& mast) const {
  const TGXQuaternion& q = mast.WorldRotation();
  const bool turned = !(std::fabs(q.x - s.Rotation.x) <= RRCatenaryTurnTolerance &&
                        std::fabs(q.y - s.Rotation.y) <= RRCatenaryTurnTolerance &&
                        std::fabs(q.z - s.Rotation.z) <= RRCatenaryTurnTolerance &&
                        std::fabs(q.w - s.Rotation.w) <= RRCatenaryTurnTolerance);
  return turned || !Near(mast.WorldPosition(), s.Position, RRCatenaryMoveTolerance) ||
         !Near(mast.WorldScale(), s.Scale, RRCatenaryMoveTolerance);
}

void TRRCatenary::Animate(bool animationsOn, float deltaTime) {
  TRRModel::Animate(animationsOn, deltaTime);
  if (!FWire) return;
  TRRCatenary* other = GetLinkedMast();
  if (!other || !other->FWire) {
    ShowWire(false);
    // Should the mast come back (an undone delete), its wire is laid again.
    FDirty = true;
    return;
  }
  if (FDirty || FLaidTo != other->ID() || Moved(FOwnSnapshot, *this) || Moved(FLinkedSnapshot, *other))
    LayWire();
}

gx::TGXBoundingBox TRRCatenary::MastBounds() const {
  if (!FMast) return gx::TGXBoundingBox();
  return gx::TransformBox(FMast->LocalBounds(), FMast->WorldMatrix() * InverseWorldMatrix());
}

void TRRCatenary::CreateSelectionBorder() {
  const size_t before = SelectionBorders().size();
  TRRModel::CreateSelectionBorder();
  if (FMast && SelectionBorders().size() > before) SelectionBorders().back()->SetLocalBounds(MastBounds());
}

bool TRRCatenary::HitTest(const gx::TGXFrustum& volume) {
  if (!FMast) return TRRModel::HitTest(volume);
  if (!Visible()) return false;
  return gx::FrustumIntersectsOrientedBox(
      volume, gx::TransformOrientedBox(FMast->LocalBounds(), FMast->WorldMatrix()));
}

// ---- commands ----

void RRLinkMast(TRRCatenary& from, TRRCatenary& to) {
  if (&from == &to) return;
  TRRHistory* history = HistoryOf(from);
  std::unique_ptr<TRRCommand> command = history ? history->OpenCommand(&from) : nullptr;
  from.Link(to);
  if (TRREntityManager* manager = ManagerOf(from)) manager->Project().SetModified();
  if (!command) return;
  command->SetAfter(&from);
  history->Push(std::move(command));
}

int RRUnlinkMast(TRRCatenary& mast) {
  std::vector<TRRCatenary*> masts;
  if (mast.ConnectionID()) masts.push_back(&mast);
  if (TRREntityManager* manager = ManagerOf(mast))
    for (int i = 0; i < manager->EntitySlotCount(); ++i)
      if (auto* other = dynamic_cast<TRRCatenary*>(manager->EntitySlot(i));
          other && other != &mast && other->ConnectionID() == mast.ID())
        masts.push_back(other);
  if (masts.empty()) return 0;
  TRRHistory* history = HistoryOf(mast);
  std::unique_ptr<TRRCommand> command = history ? history->OpenCommand(nullptr) : nullptr;
  for (TRRCatenary* m : masts) {
    auto step = command ? std::make_unique<TRRCommand>(m) : nullptr;
    m->Unlink();
    if (!step) continue;
    step->SetAfter(m);
    command->AddChild(std::move(step));
  }
  if (TRREntityManager* manager = ManagerOf(mast)) manager->Project().SetModified();
  if (command) history->Push(std::move(command));
  return static_cast<int>(masts.size());
}

// ---- picking tool ----

TRRCatenaryModifier::TRRCatenaryModifier(TRRCatenary& mast, bool chainMode)
    : FMastID(mast.ID()), FChainMode(chainMode) {}

TRRCatenary* TRRCatenaryModifier::Mast(int32_t id) const {
  if (!Manager() || id <= 0) return nullptr;
  return dynamic_cast<TRRCatenary*>(Manager()->FindByID(id));
}

bool TRRCatenaryModifier::MouseEvent(gx::TGXRenderTarget*, uint32_t message, int32_t, const TRRInputRecord&,
                                     uint32_t) {
  if (message != RRMsgLButtonDown && message != RRMsgLButtonDblClk) return false;
  TRRCatenary* self = Mast(FMastID);
  TRRCatenary* other = nullptr;
  auto* manager = dynamic_cast<TRREntityManager*>(Manager());
  if (manager && manager->HitObject())
    for (gx::TGXNode* n = manager->HitObject()->Node(); n && !other; n = n->Parent())
      other = dynamic_cast<TRRCatenary*>(n);
  FNextID = 0;
  if (self && other && other != self && self->ConnectionID() != other->ID() &&
      other->ConnectionID() != self->ID()) {
    if (!self->GetLinkedMast() || other->GetLinkedMast())
      RRLinkMast(*self, *other);
    else
      RRLinkMast(*other, *self);
    if (FChainMode) FNextID = other->ID();
  }
  // Selecting the other mast here would free the page's modifier inside its own handler.
  FPending = true;
  return true;
}

void TRRCatenaryModifier::Tick() {
  if (!FPending) return;
  FPending = false;
  TRRCatenary* next = FChainMode ? Mast(FNextID) : nullptr;
  // In chain mode the tool goes on picking for the next mast.
  if (next) FMastID = next->ID();
  // Copies: the selection change or the handler may free this modifier.
  const std::function<void(TRRCatenary*)> finished = Finished;
  if (auto* manager = dynamic_cast<TRREntityManager*>(Manager()); manager && next) {
    TRREntitySelection& selection = manager->Selection();
    selection.BeginUpdate();
    selection.Clear();
    selection.Add(next);
    selection.EndUpdate();
  }
  if (finished) finished(next);
}

}  // namespace rr
