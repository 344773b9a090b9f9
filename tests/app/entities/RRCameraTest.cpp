// Camera entities: the description stream of both versions and the old property bag, roll-free
// reading, target renumbering, deletion rules, the controllers of the free and top-down cameras,
// following a target, framing, the rotation pivot and the cockpit.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/RREntityIDProcessor.h"
#include "app/RREntityManager.h"
#include "app/RRInput.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRCameraModifiers.h"
#include "app/entities/RREntity_10.h"
#include "engine/render/GXCamera.h"
#include "tests/app/ManagerTestSupport.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using rrtest::TBytes;

namespace {

constexpr float kEps = 1e-3f;

gx::TGXQuaternion AxisAngle(gx::TGXVector3 axis, float angle) {
  return gx::GXQuaternionRotationAxis(axis, angle);
}

gx::TGXVector3 Row(const gx::TGXQuaternion& q, int r) {
  gx::TGXMatrix m = gx::GXMatrixRotationQuaternion(q);
  return {m.m[r][0], m.m[r][1], m.m[r][2]};
}

void ExpectNear(const gx::TGXVector3& a, const gx::TGXVector3& b, float eps = kEps) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

// A version-1 record body after the model payload, spelled out by hand.
std::vector<uint8_t> Payload(const TRRCameraDesc& d, const std::vector<uint8_t>& own) {
  gx::TGXMemoryStream s;
  d.TRRModelDesc::SaveToStream(s);
  std::vector<uint8_t> bytes = s.Data();
  bytes.insert(bytes.end(), own.begin(), own.end());
  return bytes;
}

std::unique_ptr<TRRCameraDesc> ReadPayload(const std::vector<uint8_t>& bytes) {
  auto d = std::make_unique<TRRCameraDesc>();
  gx::TGXMemoryStream s(bytes);
  d->LoadFromStream(s);
  return d;
}

// A project with mouse capture and ruler counts.
struct TCamProject : mgrtest::TTestProject {
  int Captured = 0;
  int Rulers = 0;
  int Destroyed = 0;
  void CaptureMouse() override { ++Captured; }
  void ReleaseMouse() override { --Captured; }
  void RulersChanged() override { ++Rulers; }
  void ActiveCameraDestroyed(TRREntity*) override { ++Destroyed; }

  TRRCamera* Camera(uint8_t type, gx::TGXVector3 position, gx::TGXQuaternion rotation = {0, 0, 0, 1}) {
    TRRCameraDesc d;
    d.SetType(type);
    d.SetID(M().NextID());
    d.SetPosition(position);
    d.SetRotation(rotation);
    M().ReserveIDs(1);
    auto* c = static_cast<TRRCamera*>(M().CreateEntity(nullptr, d));
    Scene.Root()->Update(false);
    return c;
  }
  TRRInputRecord Mouse(uint32_t message, int x = 0, int y = 0, int wheel = 0) {
    TRRInputRecord r;
    r.Message = message;
    r.X = x, r.Y = y, r.WheelDelta = wheel;
    return r;
  }
  bool Send(TRRCamera* c, uint32_t message, int x = 0, int y = 0, int wheel = 0) {
    TRRInputRecord r = Mouse(message, x, y, wheel);
    return c->Modifier()->MouseEvent(View.Get(), message, 0, r, 0);
  }
  bool Press(TRRCamera* c, int32_t key) {
    TRRInputRecord r;
    r.Message = RRMsgKeyDown;
    r.Key = key;
    return c->Modifier()->KeyEvent(View.Get(), RRMsgKeyDown, r, key);
  }
};

}  // namespace

// ---- records ----

TEST(RRCameraDesc, BothVersionsReadAndTheCurrentOneRoundTrips) {
  TRRCameraDesc d;
  d.SetType(RRCameraPlaced);
  d.SetLookAtTarget(9);
  d.SetActive(true);
  d.SetCameraVisible(false);
  std::unique_ptr<TRREntityDescription> copy = d.Clone();
  auto* c = dynamic_cast<TRRCameraDesc*>(copy.get());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->LookAtTarget(), 9);
  EXPECT_TRUE(c->Active());
  EXPECT_FALSE(c->CameraVisible());
  EXPECT_EQ(c->CADType(), RRCameraCadType);
  EXPECT_FALSE(c->LinkPending());

  // Version 1: the link ID goes into the link field and links at the first frame.
  auto v1 = ReadPayload(Payload(d, TBytes().I32(1).U8(RRCameraPlaced).I32(17).U8(1).U8(0).Data));
  EXPECT_EQ(v1->LinkTarget(), 17);
  EXPECT_TRUE(v1->LinkPending());
  EXPECT_EQ(v1->LookAtTarget(), 0);
  EXPECT_TRUE(v1->Active());
  EXPECT_FALSE(v1->CameraVisible());

  // A type this program does not know reads as a placed camera.
  EXPECT_EQ(ReadPayload(Payload(d, TBytes().I32(2).U8(200).I32(0).U8(0).U8(1).Data))->Type(), RRCameraPlaced);

  // A cockpit stays a cockpit of type 2; its cab comes from the vehicle each time it is built,
  // so nothing of it is stored.
  TRRCockpitDesc k;
  k.CockpitModel().Model = TRRAssetFileName("Führerstand.x");
  std::unique_ptr<TRREntityDescription> kc = k.Clone();
  auto* cab = dynamic_cast<TRRCockpitDesc*>(kc.get());
  ASSERT_NE(cab, nullptr);
  EXPECT_EQ(cab->Type(), RRCameraCockpit);
  EXPECT_TRUE(cab->CockpitModel().Model.IsEmpty());
}

TEST(RRCameraDesc, DamagedRecordsAreRefusedWithoutCrashing) {
  TRRCameraDesc d;
  for (int32_t version : {0, 3, -1, 0x7FFFFFFF}) {
    SCOPED_TRACE(version);
    EXPECT_THROW(ReadPayload(Payload(d, TBytes().I32(version).U8(1).I32(0).U8(0).U8(1).Data)),
                 EUnknownEntityDescription);
  }
  // Every truncation of a complete record raises (and leaves nothing half-read behind).
  const std::vector<uint8_t> full = Payload(d, TBytes().I32(2).U8(3).I32(4).U8(1).U8(1).Data);
  const size_t modelSize = full.size() - 11;
  for (size_t n = modelSize; n < full.size(); ++n) {
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
    EXPECT_ANY_THROW(ReadPayload(cut)) << n;
  }
  EXPECT_NO_THROW(ReadPayload(full));
}

TEST(RRCameraDesc, PredefinedTypesReadRollFree) {
  // A free camera looking down 30 degrees and rolled by 20 degrees about its view axis.
  const gx::TGXQuaternion pitched = AxisAngle({1, 0, 0}, 0.5236f);
  const gx::TGXQuaternion rolled = gx::GXQuaternionMultiply(AxisAngle({0, 0, 1}, 0.349f), pitched);
  struct TCase {
    const char* Name;
    uint8_t Type;
    gx::TGXQuaternion Rotation;
    bool KeepsRoll;
  } cases[] = {
      {"placed keeps its roll", RRCameraPlaced, rolled, true},
      {"free loses its roll", RRCameraFree, rolled, false},
      {"upside down stays upside down", RRCameraFree,
       gx::GXQuaternionMultiply(AxisAngle({0, 0, 1}, 3.0f), pitched), false},
      {"straight down keeps its heading", RRCameraTopDown,
       gx::GXQuaternionMultiply(AxisAngle({1, 0, 0}, 1.5707964f), AxisAngle({0, 1, 0}, 0.3f)), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRRCameraDesc d;
    d.SetRotation(c.Rotation);
    const std::vector<uint8_t> own = TBytes().I32(2).U8(c.Type).I32(0).U8(0).U8(1).Data;
    auto r = ReadPayload(Payload(d, own));
    const gx::TGXQuaternion q = r->Rotation();
    // The view direction never changes.
    ExpectNear(Row(q, 2), Row(c.Rotation, 2));
    if (c.KeepsRoll) {
      ExpectNear(Row(q, 0), Row(c.Rotation, 0));
      continue;
    }
    // Roll-free: the right axis is horizontal, with the sign of the stored one.
    EXPECT_NEAR(Row(q, 0).y, 0, kEps);
    EXPECT_GT(gx::GXVec3Dot(Row(q, 0), Row(c.Rotation, 0)), 0);
    // An orthonormal frame (no skew).
    EXPECT_NEAR(gx::GXVec3Dot(Row(q, 0), Row(q, 1)), 0, kEps);
    EXPECT_NEAR(gx::GXVec3Length(Row(q, 1)), 1, kEps);
  }
  // Degenerate stored rotations stay as they are.
  gx::TGXQuaternion zero{0, 0, 0, 0};
  EXPECT_EQ(RRMakeRollFree(zero), zero);
}

TEST(RRCameraDesc, ARecordReadAndWrittenAgainKeepsItsBytes) {
  // A rolled free camera is levelled on the first read only; later rounds change nothing.
  for (float roll : {0.35f, 3.0f, -1.2f}) {
    TRRCameraDesc d;
    d.SetType(RRCameraFree);
    d.SetRotation(gx::GXQuaternionMultiply(AxisAngle({0, 0, 1}, roll), AxisAngle({1, 1, 0}, 0.7f)));
    gx::TGXMemoryStream first;
    TRREntityDescription::WriteRecord(*d.Clone(), first);
    first.SetPosition(0);
    auto again = TRREntityDescription::ReadRecord(first);
    gx::TGXMemoryStream second;
    TRREntityDescription::WriteRecord(*again, second);
    EXPECT_EQ(second.Data(), first.Data()) << roll;
  }
}

TEST(RRCameraDesc, OldPropertyBagsMapTheCameraTypes) {
  using P = TRREntityPropertyType_10;
  auto i32 = [](int32_t v) {
    return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  };
  struct TCase {
    int32_t Stored;
    uint8_t Want;
  } cases[] = {{0, RRCameraPlaced},
               {1, RRCameraFree},
               {2, RRCameraTopDown},
               {3, RRCameraTechnical},
               {7, RRCameraPlaced}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Stored);
    TRREntityDescription_10 bag("TRRCamera", "TRRCameraDesc");
    bag.AddProperty(P::Integer, "CameraType", i32(c.Stored));
    bag.AddProperty(P::IDRef, "LinkID", i32(17));
    bag.AddProperty(P::Boolean, "ActiveCamera", {1});
    TRRCameraDesc d;
    std::string name;
    d.LoadFromPropertyBag(bag, name);
    EXPECT_EQ(d.Type(), c.Want);
    EXPECT_EQ(d.LinkTarget(), 17);
    EXPECT_TRUE(d.LinkPending());
    EXPECT_TRUE(d.Active());
    EXPECT_EQ(d.CADType(), RRCameraCadType);
  }
}

TEST(RRCameraDesc, LookAtTargetFollowsRenumbering) {
  mgrtest::RegisterKinds();
  TRREntityDescriptionList list(true);
  auto model = std::make_unique<mgrtest::TModelDesc>();
  model->SetID(5);
  auto camera = std::make_unique<TRRCameraDesc>();
  camera->SetID(6);
  camera->SetLookAtTarget(5);
  auto* cam = camera.get();
  list.Add(std::move(model));
  list.Add(std::move(camera));
  TRREntityIDProcessor::RenumberList(list, 40, nullptr);
  EXPECT_EQ(list.Item(0)->ID(), 40);
  EXPECT_EQ(cam->ID(), 41);
  EXPECT_EQ(cam->LookAtTarget(), 40);
}

// ---- entities ----

TEST(RRCamera, TypesDecideProjectionDeletionAndModel) {
  TCamProject p;
  struct TCase {
    uint8_t Type;
    bool Perspective;
    bool Deletable;
    bool Visible;
    bool HasController;
  } cases[] = {{RRCameraPlaced, true, true, true, false},
               {RRCameraFree, true, false, false, true},
               {RRCameraTopDown, false, false, false, true},
               {RRCameraTechnical, false, false, false, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(int(c.Type));
    TRRCamera* cam = p.Camera(c.Type, {0, 250, 0});
    EXPECT_EQ(cam->EngineCamera()->Perspective(), c.Perspective);
    if (!c.Perspective) {
      EXPECT_FLOAT_EQ(cam->EngineCamera()->OrthoHeight(), 250);
    }
    std::string reason;
    EXPECT_EQ(cam->CanDelete(reason), c.Deletable);
    EXPECT_EQ(reason, c.Deletable ? "" : RRTextPredefinedCamera);
    EXPECT_EQ(cam->IsFixed(), !c.Deletable);
    EXPECT_EQ(cam->Visible(), c.Visible);
    cam->SetActive(true);
    EXPECT_EQ(cam->Modifier() != nullptr, c.HasController);
    cam->SetActive(false);
    EXPECT_EQ(cam->Modifier(), nullptr);
  }
}

TEST(RRCamera, OldLinkIsMadeAtTheFirstFrameAndTargetsAreFollowed) {
  TCamProject p;
  TRREntity* target = p.Model("Ziel", {0, 0, 100});
  TRRCameraDesc d;
  d.SetID(p.M().NextID());
  d.SetPosition({0, 50, 0});
  d.SetLinkTarget(target->ID());
  d.SetLinkPending(true);
  p.M().ReserveIDs(1);
  auto* cam = static_cast<TRRCamera*>(p.M().CreateEntity(nullptr, d));
  p.Scene.Root()->Update(false);
  cam->Animate(true, 0.04f);
  EXPECT_FALSE(cam->LinkPending());
  // Linked from where it stood: moving the target carries the camera along.
  ExpectNear(cam->LinkOffset(), {0, 50, -100});
  target->SetPosition({30, 0, 100});
  p.Scene.Root()->Update(false);
  cam->Animate(true, 0.04f);
  ExpectNear(cam->WorldPosition(), {30, 50, 0});

  // Looking at a target: forward points at it, right stays horizontal.
  cam->SetLinkTarget(nullptr);
  cam->SetLookAtTarget(target);
  cam->Animate(true, 0.04f);
  ExpectNear(cam->ForwardAxis(), gx::GXVec3Normalize(gx::TGXVector3{0, -50, 100}));
  EXPECT_NEAR(cam->RightAxis().y, 0, kEps);
  // A target straight below, and a deleted target, keep the orientation.
  const gx::TGXQuaternion before = cam->WorldRotation();
  target->SetPosition({30, -100, 0});
  p.Scene.Root()->Update(false);
  cam->Animate(true, 0.04f);
  EXPECT_EQ(cam->WorldRotation(), before);
  delete target;
  cam->Animate(true, 0.04f);
  EXPECT_EQ(cam->WorldRotation(), before);
  // The description keeps type, target and the node's visibility; active only while active.
  auto desc = cam->CreateDescription();
  auto* cd = dynamic_cast<TRRCameraDesc*>(desc.get());
  ASSERT_NE(cd, nullptr);
  EXPECT_FALSE(cd->Active());
  EXPECT_NE(cd->LookAtTarget(), 0);
  cam->SetActive(true);
  EXPECT_TRUE(dynamic_cast<TRRCameraDesc*>(cam->CreateDescription().get())->Active());
}

TEST(RRCamera, FramingKeepsTheOrientationAndAMinimumDistance) {
  TCamProject p;
  // Unit boxes at the origin and at (10, 0, 0): diagonal about 11.09.
  TRREntity* a = p.Model("A", {0, 0, 0});
  TRREntity* b = p.Model("B", {10, 0, 0});
  TRRCamera* cam = p.Camera(RRCameraPlaced, {0, 0, -500}, AxisAngle({1, 0, 0}, 0.5f));
  const gx::TGXQuaternion q = cam->WorldRotation();
  ASSERT_TRUE(cam->FrameEntities({a, b, cam}));
  const gx::TGXBoundingBox box = a->WorldBounds();
  gx::TGXVector3 lo = gx::GXVec3Minimize(box.Min(), b->WorldBounds().Min());
  gx::TGXVector3 hi = gx::GXVec3Maximize(box.Max(), b->WorldBounds().Max());
  const gx::TGXVector3 centre = (lo + hi) * 0.5f;
  ExpectNear(cam->WorldPosition(), centre - cam->ForwardAxis() * (2 * gx::GXVec3Length(hi - lo)));
  EXPECT_EQ(cam->WorldRotation(), q);
  // One tiny thing is framed from at least 10 cm; a top-down camera stays at least 10 cm high.
  TRREntity* small = p.Model("Klein", {0, -100, 0});
  small->SetScale({0.01f, 0.01f, 0.01f});
  p.Scene.Root()->Update(false);
  ASSERT_TRUE(cam->FrameEntities({small}));
  EXPECT_NEAR(gx::GXVec3Length(cam->WorldPosition() - small->WorldBounds().Center), RRFrameMinDistance,
              0.01f);
  TRRCamera* top = p.Camera(RRCameraTopDown, {0, 300, 0}, RRTopDownRotation());
  ASSERT_TRUE(top->FrameEntities({small}));
  EXPECT_GE(top->WorldPosition().y, RRTopDownMinHeight);
  // Nothing to frame: no move.
  EXPECT_FALSE(cam->FrameEntities({cam}));
  EXPECT_FALSE(cam->FrameEntities({}));
}

TEST(RRCamera, FarPlaneCoversTheLayout) {
  TCamProject p;
  TRRCamera* cam = p.Camera(RRCameraFree, {0, 100, 0});
  cam->CoverBox(gx::BoxFromMinMax({-9000, 0, -9000}, {9000, 10, 9000}));
  EXPECT_GT(cam->EngineCamera()->FarPlane(), 12700.0f);
  cam->CoverBox(gx::BoxFromMinMax({-10, 0, -10}, {10, 10, 10}));
  EXPECT_FLOAT_EQ(cam->EngineCamera()->FarPlane(), RRCameraFarPlane);
  cam->CoverBox(gx::TGXBoundingBox{});
  EXPECT_FLOAT_EQ(cam->EngineCamera()->FarPlane(), RRCameraFarPlane);
}

TEST(RRCameraPlacement, TopDownCamerasStandOverTheBoxAtAShowingHeight) {
  struct TCase {
    gx::TGXVector3 Min, Max;
    gx::TGXVector3 Want;
  } cases[] = {
      {{-100, 0, -50}, {100, 2, 50}, {0, 300, 0}},       // small: the default height
      {{0, 0, 0}, {800, 2, 300}, {400, 600, 150}},       // wide: 800 x 3/4
      {{0, 0, 0}, {300, 2, 700}, {150, 700, 350}},       // deep: 700
      {{0, 0, 0}, {5000, 2, 5000}, {2500, 1000, 2500}},  // at most 1000
  };
  for (const TCase& c : cases) ExpectNear(RRTopDownPlaceOver(gx::BoxFromMinMax(c.Min, c.Max)), c.Want);
  ExpectNear(RRTopDownPlaceOver(gx::TGXBoundingBox{}), {0, 300, 0});
}

// ---- free camera ----

TEST(RRFreeCamera, StepsFollowTheHeightWithinTheirClamps) {
  struct TCase {
    float Height;
    float Forward;  // numeric-pad plus
    float Pan;      // arrow key
  } cases[] = {{100, 7, 1.5f}, {1000, 50, 10}, {1, 0.1f, 0.02f}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Height);
    TCamProject p;
    TRRCamera* cam = p.Camera(RRCameraFree, {0, c.Height, 0});
    cam->SetActive(true);
    ASSERT_TRUE(p.Press(cam, RRVKAdd));
    ExpectNear(cam->WorldPosition(), {0, c.Height, c.Forward});
    ASSERT_TRUE(p.Press(cam, RRVKSubtract));
    ASSERT_TRUE(p.Press(cam, RRVKRight));
    ExpectNear(cam->WorldPosition(), {c.Pan, c.Height, 0});
    ASSERT_TRUE(p.Press(cam, RRVKUp));
    ExpectNear(cam->WorldPosition(), {c.Pan, c.Height, c.Pan});
    EXPECT_FALSE(p.Press(cam, 'X'));
  }
}

TEST(RRFreeCamera, LaterPressedButtonDecidesBetweenPanAndOrbit) {
  TCamProject p;
  TRRCamera* cam = p.Camera(RRCameraFree, {0, 100, -100}, AxisAngle({1, 0, 0}, 0.7853982f));
  cam->SetActive(true);
  // Right, then middle: the middle button orbits (the rotation changes).
  const gx::TGXQuaternion q0 = cam->WorldRotation();
  p.Send(cam, RRMsgRButtonDown, 0, 0);
  p.Send(cam, RRMsgMButtonDown, 0, 0);
  EXPECT_EQ(p.Captured, 1);
  auto* free = static_cast<TRRFreeCameraModifier*>(cam->Modifier());
  EXPECT_GT(free->MiddleStamp(), free->RightStamp());
  EXPECT_TRUE(p.Send(cam, RRMsgMouseMove, 50, 0));
  EXPECT_FALSE(cam->WorldRotation() == q0);
  // The pivot (the ground in front) keeps its distance while orbiting.
  const gx::TGXVector3 pivot = free->Pivot();
  ExpectNear(pivot, {0, 0, 0}, 0.05f);
  EXPECT_NEAR(gx::GXVec3Length(cam->WorldPosition() - pivot), std::sqrt(20000.0f), 0.05f);
  p.Send(cam, RRMsgMButtonUp, 50, 0);
  p.Send(cam, RRMsgRButtonUp, 50, 0);
  EXPECT_EQ(p.Captured, 0);

  // Middle, then right: the right button pans (the rotation stays).
  p.Send(cam, RRMsgMButtonDown, 0, 0);
  p.Send(cam, RRMsgRButtonDown, 0, 0);
  const gx::TGXQuaternion q1 = cam->WorldRotation();
  const gx::TGXVector3 at = cam->WorldPosition();
  p.Send(cam, RRMsgMouseMove, 10, 0);
  EXPECT_EQ(cam->WorldRotation(), q1);
  EXPECT_NEAR(gx::GXVec3Length(cam->WorldPosition() - at), 10 * std::clamp(at.y * 0.0015f, 0.002f, 1.0f),
              kEps);
  EXPECT_NEAR(cam->WorldPosition().y, at.y, kEps);
  // The wheel is ignored while the middle button is down.
  EXPECT_FALSE(p.Send(cam, RRMsgMouseWheel, 10, 0, 120));
  p.Send(cam, RRMsgMButtonUp);
  p.Send(cam, RRMsgRButtonUp);
  const gx::TGXVector3 before = cam->WorldPosition();
  EXPECT_TRUE(p.Send(cam, RRMsgMouseWheel, 0, 0, 120));
  EXPECT_NEAR(gx::GXVec3Length(cam->WorldPosition() - before),
              120 * std::clamp(before.y * 0.0007f, 0.001f, 0.5f), kEps);
  // Deactivating while dragging gives the mouse back.
  p.Send(cam, RRMsgRButtonDown);
  cam->SetActive(false);
  EXPECT_EQ(p.Captured, 0);
}

TEST(RRCameraPivot, StepsInOrderAndOnlyInFront) {
  TCamProject p;
  const gx::TGXQuaternion down45 = AxisAngle({1, 0, 0}, 0.7853982f);
  const gx::TGXQuaternion up45 = AxisAngle({1, 0, 0}, -0.7853982f);
  // Ground in front.
  TRRCamera* cam = p.Camera(RRCameraFree, {0, 100, 0}, down45);
  ExpectNear(RRCameraRotationPivot(*cam, p.M(), false), {0, 0, 100}, 0.01f);
  // Looking up: the ground lies behind; 100 cm ahead.
  cam->SetRotation(up45);
  p.Scene.Root()->Update(false);
  ExpectNear(RRCameraRotationPivot(*cam, p.M(), false), {0, 100 + 70.710678f, 70.710678f}, 0.01f);
  // A panel plane in front wins over the ground; behind it does not count.
  TRREntity* panel = p.Make<mgrtest::TPanelDesc>("Platte", {0, -10, 5000});
  cam->SetRotation(down45);
  p.Scene.Root()->Update(false);
  ExpectNear(RRCameraRotationPivot(*cam, p.M(), false), {0, -10, 110}, 0.01f);
  panel->SetPosition({0, 200, 5000});
  p.Scene.Root()->Update(false);
  ExpectNear(RRCameraRotationPivot(*cam, p.M(), false), {0, 0, 100}, 0.01f);
  // An entity on the ray wins over planes.
  TRREntity* house = p.Model("Haus", {0, 50, 50});
  ExpectNear(RRCameraRotationPivot(*cam, p.M(), false), {0, 51, 49}, 0.01f);
  // The selection near the middle of the view wins, unless told to ignore it or it is a lone panel.
  TRREntity* near = p.Model("Nah", {5, 0, 120});
  p.M().Selection().Add(near);
  ExpectNear(RRCameraRotationPivot(*cam, p.M(), false), {5, 0, 120});
  ExpectNear(RRCameraRotationPivot(*cam, p.M(), true), {0, 51, 49}, 0.01f);
  p.M().Selection().Clear();
  p.M().Selection().Add(p.Model("Abseits", {400, 0, 100}));
  ExpectNear(RRCameraRotationPivot(*cam, p.M(), false), {0, 51, 49}, 0.01f);
  // A lone selected panel is not a pivot: its box on the ray is.
  p.M().Selection().Clear();
  delete house;
  panel->SetPosition({0, -10, 110});
  p.Scene.Root()->Update(false);
  p.M().Selection().Add(panel);
  ExpectNear(RRCameraRotationPivot(*cam, p.M(), false), {0, -9, 109}, 0.01f);
}

// ---- top-down cameras ----

TEST(RR2DCamera, HeightStaysWithinItsLimitsAndTheViewSizeFollows) {
  struct TCase {
    float Height;
    int32_t Key;
    float Want;
  } cases[] = {
      {1000, RRVKSubtract, 1000},  // minus at the top stays there
      {10, RRVKAdd, 10},           // plus at the bottom stays there
      {100, RRVKAdd, 100 - 4.01f},
      {100, RRVKSubtract, 100 + 4.01f},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Height);
    TCamProject p;
    TRRCamera* cam = p.Camera(RRCameraTopDown, {0, c.Height, 0});
    cam->SetActive(true);
    ASSERT_TRUE(p.Press(cam, c.Key));
    EXPECT_NEAR(cam->WorldPosition().y, c.Want, kEps);
    EXPECT_NEAR(cam->EngineCamera()->OrthoHeight(), c.Want, kEps);
    EXPECT_EQ(p.Rulers, 1);
    ExpectNear(cam->ForwardAxis(), {0, -1, 0});
    ExpectNear(cam->UpAxis(), {0, 0, 1});
  }
  // The wheel clamps too; arrows pan in the ground plane.
  TCamProject p;
  TRRCamera* cam = p.Camera(RRCameraTechnical, {0, 995, 0});
  cam->SetActive(true);
  p.Send(cam, RRMsgMouseWheel, 0, 0, -1200);
  EXPECT_FLOAT_EQ(cam->WorldPosition().y, 1000);
  p.Press(cam, RRVKRight);
  p.Press(cam, RRVKUp);
  const float c = (1000 * 0.3f + 2) * 0.1f;
  ExpectNear(cam->WorldPosition(), {c, 1000, c});
  // Right-button drag: 10 pixels to the right.
  p.Send(cam, RRMsgRButtonDown, 0, 0);
  p.Send(cam, RRMsgMouseMove, 10, 0);
  p.Send(cam, RRMsgRButtonUp, 10, 0);
  EXPECT_NEAR(cam->WorldPosition().x, c + 10 * (1000 * 0.3f + 2) * 0.01f, kEps);
  EXPECT_EQ(p.Captured, 0);
}

TEST(RR2DCamera, SwitchingBetweenTheTwoTopDownViewsKeepsThePlace) {
  TCamProject p;
  TRRCamera* free = p.Camera(RRCameraFree, {0, 100, 0});
  TRRCamera* top = p.Camera(RRCameraTopDown, {0, 300, 0});
  TRRCamera* technical = p.Camera(RRCameraTechnical, {0, 300, 0});
  top->SetActive(true);
  p.Press(top, RRVKRight);
  const gx::TGXVector3 at = top->WorldPosition();
  top->SetActive(false);
  ExpectNear(technical->WorldPosition(), at);
  ExpectNear(free->WorldPosition(), {0, 100, 0});
  // Back again from the technical camera.
  technical->SetActive(true);
  p.Press(technical, RRVKUp);
  technical->SetActive(false);
  ExpectNear(top->WorldPosition(), technical->WorldPosition());
  // Destroying an active top-down camera moves nothing.
  technical->SetActive(true);
  p.Press(technical, RRVKUp);
  const gx::TGXVector3 kept = top->WorldPosition();
  delete technical;
  ExpectNear(top->WorldPosition(), kept);
}

// ---- following ----

TEST(RRCameraLink, ClickPicksTheTargetAndEscapeCancels) {
  TCamProject p;
  TRRCamera* cam = p.Camera(RRCameraPlaced, {0, 0, -100});
  TRREntity* house = p.Model("Haus", {0, 0, 20});
  std::vector<std::pair<TRREntity*, bool>> heard;
  TRRCameraLinkModifier link(*cam, [&](TRREntity* e, bool cancelled) { heard.push_back({e, cancelled}); });
  p.Click(RRMsgMouseMove);
  ASSERT_EQ(p.M().HoveredEntity(), house);
  TRRInputRecord r = p.Mouse(RRMsgLButtonDown, 320, 240);
  EXPECT_TRUE(link.MouseEvent(p.View.Get(), RRMsgLButtonDown, 0, r, 0));
  EXPECT_EQ(cam->LookAtTarget(), house->ID());
  // A click on nothing is consumed and reports nothing.
  delete house;
  p.Click(RRMsgMouseMove);
  EXPECT_TRUE(link.MouseEvent(p.View.Get(), RRMsgLButtonDblClk, 0, r, 0));
  TRRInputRecord esc;
  esc.Message = RRMsgKeyDown;
  esc.Key = RRVKEscape;
  EXPECT_TRUE(link.KeyEvent(p.View.Get(), RRMsgKeyDown, esc, RRVKEscape));
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_FALSE(heard[0].second);
  EXPECT_EQ(heard[1], std::make_pair(static_cast<TRREntity*>(nullptr), true));
}

// ---- cockpit ----

namespace {

struct TVehicleDesc : mgrtest::TModelDesc {
  RR_DESCRIPTION_CLASS()
};
struct TVehicle : mgrtest::TModel, IRRCockpitOwner {
  RR_ENTITY_CLASS()
 public:
  TVehicle(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& d)
      : mgrtest::TModel(parent, manager, d) {
    Exterior = new gx::TGXSceneNode("Aussen", this);
    Interior = new gx::TGXSceneNode("Innen", this);
  }
  TRREntity* CockpitOwnerEntity() override { return this; }
  gx::TGXSceneNode* CockpitExteriorNode() override { return Exterior; }
  gx::TGXSceneNode* CockpitInteriorNode() override { return Interior; }
  gx::TGXSceneNode* Exterior;
  gx::TGXSceneNode* Interior;
};
RR_DEFINE_DESCRIPTION_CLASS(TVehicleDesc, mgrtest::TModelDesc)
RR_DEFINE_ENTITY_CLASS(TVehicle, mgrtest::TModel)

}  // namespace

TEST(RRCockpit, OffsetDivisorAndControlTimeAreSafe) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct TCase {
    gx::TGXBoundingBox Box;
    float Want;
  } cases[] = {{gx::BoxFromMinMax({0, 0, 0}, {1, 1, 20}), 20},
               {gx::BoxFromMinMax({0, 0, 0}, {1, 1, 0}), 1},
               {gx::BoxFromMinMax({0, 0, 0}, {1, 1, 1e-7f}), 1},
               {gx::BoxFromMinMax({0, 0, nan}, {1, 1, 3}), 1},
               {gx::TGXBoundingBox{}, 1}};
  for (const TCase& c : cases) EXPECT_FLOAT_EQ(RRCockpitOffsetDivisor(c.Box), c.Want);
}

TEST(RRCockpit, ActivationSelectsTheOwnerAndDestructionGivesTheOverlayBack) {
  static bool registered = [] {
    RegisteredEntities().Register(gx::TGXGuid::Parse("{7D3E0A11-5B2C-4F60-8C1A-2E4B6D8F00C1}"),
                                  TVehicle::StaticClass(), TVehicleDesc::StaticClass());
    return true;
  }();
  (void)registered;
  TCamProject p;
  auto* loco = static_cast<TVehicle*>(p.Make<TVehicleDesc>("Lok", {0, 0, 0}));
  TRRCockpitDesc d;
  d.SetID(p.M().NextID());
  d.SetCockpitOffset(std::numeric_limits<float>::infinity());
  p.M().ReserveIDs(1);
  auto* cockpit = static_cast<TRRCockpit*>(p.M().CreateEntity(loco, d));
  EXPECT_EQ(cockpit->Owner(), loco);
  EXPECT_TRUE(std::isfinite(cockpit->Position().z));
  EXPECT_FALSE(loco->Interior->Visible());
  EXPECT_FLOAT_EQ(cockpit->EngineCamera()->FieldOfView(), RRCockpitFieldOfView);
  EXPECT_FLOAT_EQ(cockpit->EngineCamera()->NearPlane(), RRCockpitNearPlane);
  // The cab never keeps its vehicle from being deleted.
  std::string reason;
  EXPECT_TRUE(cockpit->CanDelete(reason));

  cockpit->SetActive(true);
  EXPECT_FALSE(loco->Exterior->Visible());
  EXPECT_TRUE(loco->Interior->Visible());
  EXPECT_FALSE(p.M().ShowOverlay());
  ASSERT_EQ(p.M().Selection().Count(), 1);
  EXPECT_EQ(p.M().Selection().Item(0), loco);
  cockpit->SetActive(false);
  EXPECT_TRUE(loco->Exterior->Visible());
  EXPECT_TRUE(p.M().ShowOverlay());
  cockpit->SetActive(true);
  delete cockpit;
  EXPECT_TRUE(p.M().ShowOverlay());
  EXPECT_EQ(p.Destroyed, 1);
}
