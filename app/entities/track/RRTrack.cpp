#include "app/entities/track/RRTrack.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/track/RRContactLine.h"
#include "app/entities/track/RRTrackConnections.h"
#include "app/entities/track/RRTrackEvents.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSnap.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXException.h"
#include "engine/core/GXStrings.h"

namespace rr {

// ---- types ----

const char* const RRKindTrack[RRTrackTypeCount] = {
    "{509F7FD7-89C2-4C14-B126-869F2332D257}", "{45429F07-926D-4BAB-99FC-8DD1C2ED0F57}",
    "{BD372E90-3CAC-42AB-B228-8F4A3EA618F8}", "{545611C9-61E9-45B6-A18C-E8A933490CD0}",
    "{337FB58F-B146-4019-95B2-F779A2975925}", "{447B425C-E13A-42F4-9A36-31DE2413733F}",
    "{B2FFED8D-9637-4248-84B3-D560AF67D295}", "{8A62B600-3401-4935-8C9A-E587F667402B}",
    "{B1A42212-E31B-4BCB-9CDB-C4520735157F}",
};

const TRRTrackType RRTrackKindOrder[RRTrackTypeCount] = {
    TRRTrackType::Straight,       TRRTrackType::Curve,       TRRTrackType::Flexible,
    TRRTrackType::Crossing,       TRRTrackType::CrossSwitch, TRRTrackType::Switch,
    TRRTrackType::ThreeWaySwitch, TRRTrackType::BufferStop,  TRRTrackType::Turntable,
};

namespace {

struct TTypeInfo {
  const char* ClassName;
  const char* DisplayName;
  bool Switchable;
};

constexpr TTypeInfo kTypes[RRTrackTypeCount] = {
    {"TRRLinearTrack", "Gerades Gleis", false},   {"TRRCurveTrack", "Gebogenes Gleis", false},
    {"TRRFlexibleTrack", "Flexgleis", false},     {"TRRSwitchTrack", "Weiche", true},
    {"TRRCrossSwitchTrack", "Kreuzweiche", true}, {"TRRThreeWaySwitchTrack", "Dreiwegweiche", true},
    {"TRRCrossTrack", "Kreuzung", false},         {"TRRStopTrack", "Prellbock", false},
    {"TRRTurntableTrack", "Drehscheibe", true},
};

int TypeIndex(TRRTrackType type) { return static_cast<int>(type); }
bool ValidType(TRRTrackType type) { return TypeIndex(type) >= 0 && TypeIndex(type) < RRTrackTypeCount; }

}  // namespace

const char* RRTrackTypeDisplayName(TRRTrackType type) {
  return ValidType(type) ? kTypes[TypeIndex(type)].DisplayName : "";
}
const char* RRTrackTypeClassName(TRRTrackType type) {
  return ValidType(type) ? kTypes[TypeIndex(type)].ClassName : "";
}
bool RRTrackTypeIsSwitchable(TRRTrackType type) {
  return ValidType(type) && kTypes[TypeIndex(type)].Switchable;
}

TRRTrackType RRTrackTypeFromClassName(std::string_view className) {
  for (int i = 0; i < RRTrackTypeCount; ++i)
    if (gx::SameText(className, kTypes[i].ClassName)) return static_cast<TRRTrackType>(i);
  throw EUnknownTrackType();
}

TRRTrackType RRTrackTypeFromKind(const gx::TGXGuid& kind) {
  for (int i = 0; i < RRTrackTypeCount; ++i)
    if (gx::TGXGuid::Parse(RRKindTrack[i]) == kind) return static_cast<TRRTrackType>(i);
  throw EUnknownTrackType();
}

TRRTrackType RRTrackTypeFromByte(uint8_t value) {
  if (value >= RRTrackTypeCount) throw EUnknownTrackType();
  return static_cast<TRRTrackType>(value);
}

uint32_t RRTrackRouteChecksum(const std::vector<std::unique_ptr<TRRTrackRouteDesc>>& routes) {
  uint32_t crc = 0;
  for (const auto& r : routes) {
    const float values[4] = {r->L1, r->Angle, r->Radius, r->L2};
    uint8_t bytes[16];
    // Little-endian singles, as they are stored (the host is little-endian; memcpy keeps the
    // bit pattern, including a negative zero).
    std::memcpy(bytes, values, sizeof(bytes));
    crc = gx::GXChecksum(bytes, sizeof(bytes), crc);
  }
  return crc;
}

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRTrackDesc, TRREntityDescription)

namespace {

// One construction record per kind: each builds a TRRTrackDesc preset to its type (a version-1
// record carries the type only in its kind). The objects answer TRRTrackDesc::StaticClass, so
// writing uses the first kind and class tests work as for any description.
template <int Type>
std::unique_ptr<TRREntityDescription> ConstructTrackDesc() {
  return std::make_unique<TRRTrackDesc>(static_cast<TRRTrackType>(Type));
}

template <int Type>
const TRRDescriptionClass& KindRecord() {
  static const TRRDescriptionClass info{"TRRTrackDesc", &TRREntityDescription::StaticClass(),
                                        &ConstructTrackDesc<Type>};
  return info;
}

const TRRDescriptionClass& KindRecordOf(TRRTrackType type) {
  switch (type) {
    case TRRTrackType::Straight:
      return TRRTrackDesc::StaticClass();
    case TRRTrackType::Curve:
      return KindRecord<1>();
    case TRRTrackType::Flexible:
      return KindRecord<2>();
    case TRRTrackType::Switch:
      return KindRecord<3>();
    case TRRTrackType::CrossSwitch:
      return KindRecord<4>();
    case TRRTrackType::ThreeWaySwitch:
      return KindRecord<5>();
    case TRRTrackType::Crossing:
      return KindRecord<6>();
    case TRRTrackType::BufferStop:
      return KindRecord<7>();
    case TRRTrackType::Turntable:
      return KindRecord<8>();
  }
  throw EUnknownTrackType();
}

// Version, six singles, flex point count, FlexOffset and the two connections.
constexpr int64_t kMinRouteRecordSize = 4 + 6 * 4 + 4 + 4 + 8;

}  // namespace

TRRTrackDesc::TRRTrackDesc() = default;
TRRTrackDesc::TRRTrackDesc(TRRTrackType type) : FType(type) {}
TRRTrackDesc::~TRRTrackDesc() = default;

void TRRTrackDesc::RegisterKinds(TRRRegisteredEntityList& list) {
  for (TRRTrackType type : RRTrackKindOrder)
    list.Register(gx::TGXGuid::Parse(RRKindTrack[TypeIndex(type)]), TRRTrack::StaticClass(),
                  KindRecordOf(type));
}

void TRRTrack::RegisterKinds(TRRRegisteredEntityList& list) { TRRTrackDesc::RegisterKinds(list); }

TRRTrackRouteDesc* TRRTrackDesc::AddRoute(std::unique_ptr<TRRTrackRouteDesc> route) {
  FRoutes.push_back(std::move(route));
  return FRoutes.back().get();
}

void TRRTrackDesc::ClearRoutes() { FRoutes.clear(); }

void TRRTrackDesc::LoadFromStream(gx::TGXStream& s) {
  TRREntityDescription::LoadFromStream(s);
  int32_t version = gx::ReadInteger(s);
  if (version < 1 || version > RRTrackDescVersion) throw EUnknownEntityDescription();
  TRRTrackType type = FType;
  if (version >= 2) type = RRTrackTypeFromByte(gx::ReadByte(s));
  gx::TGXLocalizedString manufacturer, system;
  manufacturer.ReadLocalized(s);
  system.ReadLocalized(s);
  uint8_t width = gx::ReadByte(s);
  int32_t count = gx::ReadCount(s, kMinRouteRecordSize);
  if (count > RRMaxTrackRoutes)
    throw gx::EGXException(
        {gx::TGXExceptionArg::Object("TRRTrackDesc"), "LoadFromStream", "Too many routes"});
  std::vector<std::unique_ptr<TRRTrackRouteDesc>> routes;
  routes.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    auto route = std::make_unique<TRRTrackRouteDesc>();
    route->LoadFromStream(s);
    routes.push_back(std::move(route));
  }
  int32_t active = gx::ReadInteger(s);
  bool hasBed = gx::ReadBoolean(s);
  TRRModelFileName bed, noBed, turntable;
  if (type == TRRTrackType::BufferStop) {
    if (version == 1) gx::ReadInteger(s);
    bed.ReadFromStream(s);
    noBed.ReadFromStream(s);
  } else if (type == TRRTrackType::Turntable) {
    if (version == 1) gx::ReadInteger(s);
    turntable.ReadFromStream(s);
  }
  // Older records keep the texture as constructed; no copy of it is needed for them.
  TRRAssetFileName texture;
  if (version >= 3) texture.ReadFromStream(s);

  FType = type;
  FManufacturer = std::move(manufacturer);
  FTrackSystemName = std::move(system);
  FTrackWidth = width;
  FRoutes = std::move(routes);
  FActiveRoute = active;
  FHasBed = hasBed;
  FBedModel = std::move(bed);
  FNoBedModel = std::move(noBed);
  FTurntableModel = std::move(turntable);
  if (version >= 3) FTexture = std::move(texture);
}

void TRRTrackDesc::SaveToStream(gx::TGXStream& s) const {
  TRREntityDescription::SaveToStream(s);
  gx::WriteInteger(s, RRTrackDescVersion);
  gx::WriteByte(s, static_cast<uint8_t>(FType));
  FManufacturer.WriteLocalized(s);
  FTrackSystemName.WriteLocalized(s);
  gx::WriteByte(s, FTrackWidth);
  gx::WriteInteger(s, RouteCount());
  for (const auto& r : FRoutes) r->SaveToStream(s);
  gx::WriteInteger(s, FActiveRoute);
  gx::WriteBoolean(s, FHasBed);
  if (FType == TRRTrackType::BufferStop) {
    FBedModel.WriteToStream(s);
    FNoBedModel.WriteToStream(s);
  } else if (FType == TRRTrackType::Turntable) {
    FTurntableModel.WriteToStream(s);
  }
  FTexture.WriteToStream(s);
}

void TRRTrackDesc::GetPropertyAccess(TRRPropertyAccessList& list) {
  TRREntityDescription::GetPropertyAccess(list);
  if (FType == TRRTrackType::BufferStop) {
    list.Add<TRRModelFileNameAccess>(FBedModel);
    list.Add<TRRModelFileNameAccess>(FNoBedModel);
  } else if (FType == TRRTrackType::Turntable) {
    list.Add<TRRModelFileNameAccess>(FTurntableModel);
  }
  for (auto& r : FRoutes) r->GetPropertyAccess(list);
  list.Add<TRRAssetFileNameAccess>(FTexture);
}

void TRRTrackDesc::AssignFrom(const TRREntityDescription& other) {
  TRREntityDescription::AssignFrom(other);
  const auto* o = dynamic_cast<const TRRTrackDesc*>(&other);
  if (!o || o == this) return;
  TRRTrackType oldType = FType;
  FType = o->FType;
  FManufacturer = o->FManufacturer;
  FTrackSystemName = o->FTrackSystemName;
  FTrackWidth = o->FTrackWidth;
  if (!(oldType == TRRTrackType::Flexible && FType == TRRTrackType::Flexible)) {
    std::vector<std::unique_ptr<TRRTrackRouteDesc>> routes;
    for (const auto& r : o->FRoutes) routes.push_back(r->Clone());
    FRoutes = std::move(routes);
  }
  FActiveRoute = std::clamp(FActiveRoute, 0, std::max(0, RouteCount() - 1));
  FBedModel = o->FBedModel;
  FNoBedModel = o->FNoBedModel;
  FTurntableModel = o->FTurntableModel;
}

namespace {

// A property whose name begins with "Route<n>:" (so "Route10:L1" does not count for route 1).
bool HasRouteProperty(const TRREntityDescription_10& bag, int n) {
  char prefix[32];
  std::snprintf(prefix, sizeof(prefix), "Route%d:", n);
  for (const TRREntityProperty_10& p : bag.Properties())
    if (p.Name.rfind(prefix, 0) == 0) return true;
  return false;
}

}  // namespace

void TRRTrackDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRREntityDescription::LoadFromPropertyBag(bag, modelFileName);
  FType = RRTrackTypeFromClassName(bag.ClassName());
  std::string text;
  if (bag.GetString("Manufacturer", text)) FManufacturer.SetText(gx::GX_LANG_GERMAN, text, true);
  if (bag.GetString("TrackSystem", text)) FTrackSystemName.SetText(gx::GX_LANG_GERMAN, text, true);
  text.clear();
  FTrackWidth =
      static_cast<uint8_t>(bag.GetString("TrackWidth", text) ? RRTrackSystemIndex(text) : RRTrackSystemH0);
  bag.GetInteger("ActiveRoute", FActiveRoute);
  FHasBed = true;
  bag.GetBoolean("HasBed", FHasBed);
  FRoutes.clear();
  // Bounded by the property count: every route needs a property of its own.
  for (int n = 0; n < RRMaxTrackRoutes && HasRouteProperty(bag, n); ++n) {
    auto route = std::make_unique<TRRTrackRouteDesc>();
    route->LoadFromPropertyBag(bag, n);
    FRoutes.push_back(std::move(route));
  }
}

std::string TRRTrackDesc::CatalogueKey() const {
  // The checksum as a signed 32-bit number: keys made on any machine must agree.
  int32_t checksum = static_cast<int32_t>(RRTrackRouteChecksum(FRoutes));
  return FManufacturer.GetText() + "\\" + FTrackSystemName.GetText() + "\\" + RRTrackSystemName(FTrackWidth) +
         "\\" + Description().GetText() + "\\" + std::to_string(checksum);
}

// ---- track ----

RR_DEFINE_ENTITY_CLASS(TRRTrack, TRREntity)

namespace {

bool GShowActiveSwitch = true;
TRRTrackTextureLoader GTextureLoader;
TRRTrackTextureErrorReport GTextureErrorReport;

gx::TGXSceneNode* PlaceholderModel(gx::TGXNode* parent, const TRRModelFileName& model, TRRTrackType type) {
  auto* node = new gx::TGXSceneNode(model.Model.EffectiveFileName(), parent);
  if (type == TRRTrackType::Turntable) {
    new gx::TGXSceneNode("Rad", node);
    new gx::TGXSceneNode("Haus", node);
  }
  return node;
}

TRRTrackModelFactory GModelFactory = &PlaceholderModel;

const TRRTrackDesc& AsTrackDesc(const TRREntityDescription& description) {
  const auto* d = dynamic_cast<const TRRTrackDesc*>(&description);
  if (!d) throw EUnknownTrackType();
  return *d;
}

constexpr gx::TGXVector4 kRouteColours[3] = {{1, 1, 1, 1}, {1, 1, 0.5f, 1}, {0.5f, 1, 0.5f, 1}};

}  // namespace

bool TRRTrack::ShowActiveSwitch() { return GShowActiveSwitch; }

void TRRTrack::SetShowActiveSwitch(bool value) { GShowActiveSwitch = value; }

void TRRTrack::SetModelFactory(TRRTrackModelFactory factory) {
  GModelFactory = factory ? factory : &PlaceholderModel;
}

TRRTrack::TRRTrack(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRREntity(parent, manager, description) {
  const TRRTrackDesc& d = AsTrackDesc(description);
  if (!ValidType(d.Type())) throw EUnknownTrackType();
  FType = d.Type();
  FManufacturer = d.Manufacturer().GetText();
  FTrackSystemName = d.TrackSystemName().GetText();
  FTrackWidth = d.TrackWidth();
  FSwitchable = RRTrackTypeIsSwitchable(FType);
  ResetScale();
  FTexture = d.Texture();
  CreateRoutes(d);
  LoadTexture();
  if (FSwitchable && !FRoutes.empty())
    FActiveRoute = std::clamp<int32_t>(d.ActiveRoute(), 0, GetRouteCount() - 1);
  RRTrackSwitchThrown();
  FHasBed = d.HasBed();
  UpdateColours();
  RouteShapeChanged();
  if (FType == TRRTrackType::BufferStop) BuildBufferStop(d);
  if (FType == TRRTrackType::Turntable) BuildTurntable(d);
}

TRRTrack::~TRRTrack() {
  BeginDestruction();
  RRTrackLayoutChanged();  // its neighbours' contacts may have come free
  for (auto& r : FRoutes)
    if (r && r->Node()) r->Node()->DetachObject(r.Get());
  FRoutes.clear();
}

void TRRTrack::CreateRoutes(const TRRTrackDesc& d) {
  float scale = SystemScale();
  for (int i = 0; i < d.RouteCount(); ++i) {
    // Pushed before the next is made: a route finds its pivot on route 0 of the track.
    gx::TGXRef<TRRTrackRoute> route(new TRRTrackRoute(this, i, *d.Route(i), scale));
    AttachObject(route.Get());
    for (int c = 0; c < 2; ++c) AttachObject(route->Contact(c)->Marker());
    FRoutes.push_back(route);
  }
}

TRRTrackRoute* TRRTrack::GetRoute(int index) const {
  if (index < 0 || index >= GetRouteCount()) return nullptr;
  return FRoutes[static_cast<size_t>(index)].Get();
}

float TRRTrack::SystemScale() const { return RRTrackSystemScale(FTrackWidth); }
float TRRTrack::SystemSecondValue() const { return RRTrackSystemSecondValue(FTrackWidth); }

// ---- switching ----

void TRRTrack::SetActiveRoute(int32_t index) {
  if (FRoutes.empty()) return;
  index = std::clamp<int32_t>(index, 0, GetRouteCount() - 1);
  if (!FSwitchable || index == FActiveRoute) return;
  FActiveRoute = index;
  RRTrackSwitchThrown();
  if (FType == TRRTrackType::Turntable) TurnBridge(index);
  if (IRREventNotifier* notifier = RREventNotifierOf(Manager()))
    notifier->Notify(TRRConditionKind::Switch, {ID(), this, ID(), index, GetRoute(index), index, {}});
  UpdateColours();
}

// ---- display ----

gx::TGXVector4 TRRTrack::RouteColour(int index) const {
  gx::TGXVector4 c = kRouteColours[std::clamp(FHighlight, 0, 2)];
  if (FSwitchable && index != FActiveRoute && GShowActiveSwitch) {
    c.x *= 0.65f;
    c.y *= 0.65f;
    c.z *= 0.65f;
    c.w = 1;
  }
  return c;
}

float TRRTrack::RouteDepthBias(int index) const {
  if (FType == TRRTrackType::Turntable || index < 0 || index >= GetRouteCount()) return 0;
  // The others in route order 0, -2e-6, -4e-6, ...; the active one after the last of them, so it
  // is drawn on top.
  int32_t active = FSwitchable ? FActiveRoute : 0;
  int position = index == active ? GetRouteCount() - 1 : (index < active ? index : index - 1);
  return -2e-6f * static_cast<float>(position);
}

void TRRTrack::UpdateColours() {
  for (int i = 0; i < GetRouteCount(); ++i) {
    FRoutes[static_cast<size_t>(i)]->SetColour(RouteColour(i));
    FRoutes[static_cast<size_t>(i)]->SetDepthBias(RouteDepthBias(i));
  }
}

void TRRTrack::SetHighlight(int state) {
  if (state < 0 || state > 2 || state == FHighlight) return;
  FHighlight = state;
  UpdateColours();
}

void TRRTrack::SetHasBed(bool value) {
  if (value == FHasBed) return;
  FHasBed = value;
  if (FBedNode) FBedNode->SetVisible(value);
  if (FNoBedNode) FNoBedNode->SetVisible(!value);
  for (auto& r : FRoutes) r->SetDirty(true);
}

void TRRTrack::SetTextureServices(TRRTrackTextureLoader loader, TRRTrackTextureErrorReport report) {
  GTextureLoader = std::move(loader);
  GTextureErrorReport = std::move(report);
}

void TRRTrack::LoadTexture() {
  FLoadedTexture.Reset();
  if (GTextureLoader) {
    try {
      FLoadedTexture = GTextureLoader(FTexture);
    } catch (const std::exception& e) {
      if (GTextureErrorReport) GTextureErrorReport(FTexture, e.what());
      try {
        FLoadedTexture =
            GTextureLoader(TRRAssetFileName(RRDefaultTrackTextureName, RRDefaultTrackTexturePath));
      } catch (const std::exception&) {
        FLoadedTexture.Reset();  // the mesh generator's own default
      }
    }
  }
  for (auto& r : FRoutes) r->SetTexture(FLoadedTexture);
}

void TRRTrack::SetTexture(const TRRAssetFileName& texture) {
  if (texture.SameFile(FTexture) && texture.FileName == FTexture.FileName) return;
  FTexture = texture;
  LoadTexture();
}

void TRRTrack::RouteShapeChanged() {
  gx::TGXVector3 sum{0, 0, 0};
  for (auto& r : FRoutes) sum = sum + r->GetPosition(r->GetLength() / 2);
  FCentre = FRoutes.empty() ? gx::TGXVector3{0, 0, 0} : sum * (1.0f / static_cast<float>(FRoutes.size()));
}

// ---- models ----

void TRRTrack::BuildBufferStop(const TRRTrackDesc& d) {
  FBedModel = d.BedModel();
  FNoBedModel = d.NoBedModel();
  float s = SystemScale();
  FBedNode = GModelFactory(this, FBedModel, FType);
  FNoBedNode = GModelFactory(this, FNoBedModel, FType);
  for (gx::TGXSceneNode* n : {FBedNode, FNoBedNode})
    if (n) n->SetScale({s, s, s});
  if (FBedNode) FBedNode->SetVisible(FHasBed);
  if (FNoBedNode) FNoBedNode->SetVisible(!FHasBed);
  // Only the end of a buffer stop connects.
  if (TRRTrackRoute* r = GetRoute(0)) r->Contact(0)->SetEnabled(false);
}

void TRRTrack::BuildTurntable(const TRRTrackDesc& d) {
  FTurntableModel = d.TurntableModel();
  FTurntableNode = GModelFactory(this, FTurntableModel, FType);
  TRRTrackRoute* route0 = GetRoute(0);
  if (!FTurntableNode || !route0) return;
  float length = route0->GetLength();
  float s = SystemScale();
  // The model is 26 units across; e stretches it to the pit of route 0.
  FTurntableScale = (length + 0.2f) / 26.0f;
  FBridge = FTurntableNode->FindChild("Rad", true);
  FTurntableNode->SetScale({FTurntableScale, s, FTurntableScale});
  FTurntableNode->SetPosition({0, 0, length / 2});
  FHut = FTurntableNode->FindChild("Haus", true);
  if (FHut) {
    // World values of the model (and of the track) first: the hut's scale is set in world terms.
    Update(true);
    FHut->SetWorldScale({s, s, s});
  }
  for (auto& r : FRoutes)
    r->SetHiddenInterval(3 * FTurntableScale - 0.1f, r->GetLength() - 3 * FTurntableScale + 0.1f);
  TurnBridge(FActiveRoute);
}

void TRRTrack::TurnBridge(int32_t route) {
  TRRTrackRoute* target = GetRoute(route);
  if (!target) return;
  float oldRotation = 0;
  if (TRRTrackRoute* old = GetRoute(FBridgeRoute)) {
    old->SetHiddenInterval(3 * FTurntableScale - 0.1f, old->GetLength() - 3 * FTurntableScale + 0.1f);
    oldRotation = old->Rotation();
  }
  if (FBridge) {
    gx::TGXQuaternion qOld = gx::GXQuaternionRotationAxis({0, 1, 0}, oldRotation);
    gx::TGXQuaternion qNew = gx::GXQuaternionRotationAxis({0, 1, 0}, target->Rotation());
    FBridge->Rotate(gx::GXQuaternionMultiply(gx::GXQuaternionInverse(qOld), qNew),
                    gx::TGXTransformSpace::Local);
  }
  target->SetHiddenInterval(0, 0);
  FBridgeRoute = route;
}

// ---- entity ----

bool TRRTrack::Update(bool force) {
  // A track is never scaled, also not through a scaled group it belongs to.
  const gx::TGXVector3& s = WorldScale();
  const gx::TGXVector3& l = Scale();
  auto off = [](const gx::TGXVector3& v) {
    return std::fabs(v.x - 1) > 0.001f || std::fabs(v.y - 1) > 0.001f || std::fabs(v.z - 1) > 0.001f;
  };
  if (off(s) || off(l)) SetWorldScale({1, 1, 1});
  const bool changed = TRREntity::Update(force);
  // The drawn primitives keep their world matrix until the next change (valid until drawn).
  if (changed) {
    RRTrackLayoutChanged();
    for (auto& r : FRoutes) r->UpdateWorldMatrices();
  }
  return changed;
}

void TRRTrack::ShowMarkers(bool show) {
  for (auto& r : FRoutes)
    for (int i = 0; i < 2; ++i) {
      TRRTrackRouteContact* c = r->Contact(i);
      c->SetMarkerVisible(show && c->Enabled());
    }
}

void TRRTrack::UpdateView(bool technicalView) { ShowMarkers(technicalView || Selected()); }

void TRRTrack::Select() {
  TRREntity::Select();
  ShowMarkers(true);
}

void TRRTrack::Deselect() {
  TRREntity::Deselect();
  ShowMarkers(false);
}

std::unique_ptr<TRRTrackDesc> TRRTrack::ToDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRREntity::CreateDescription();
  std::unique_ptr<TRRTrackDesc> d(dynamic_cast<TRRTrackDesc*>(base.get()));
  if (!d) throw EUnknownEntityClass(std::string("Unknown entity class: ") + GetClass().Name);
  base.release();
  d->SetType(FType);
  d->Manufacturer().SetText(gx::GX_LANG_GERMAN, FManufacturer, true);
  d->TrackSystemName().SetText(gx::GX_LANG_GERMAN, FTrackSystemName, true);
  d->SetTrackWidth(static_cast<uint8_t>(FTrackWidth));
  d->SetActiveRoute(FSwitchable ? FActiveRoute : 0);
  d->SetHasBed(FHasBed);
  for (const auto& r : FRoutes) d->AddRoute(r->ToDescription());
  d->BedModel() = FBedModel;
  d->NoBedModel() = FNoBedModel;
  d->TurntableModel() = FTurntableModel;
  d->Texture() = FTexture;
  return d;
}

std::unique_ptr<TRREntityDescription> TRRTrack::CreateDescription() const { return ToDescription(); }

TRRTrackDesc* TRRTrack::FindDescriptionByType(const TRREntityDescriptionList& list, TRRTrackType type) {
  for (TRREntityDescription* e : list)
    if (auto* d = dynamic_cast<TRRTrackDesc*>(e); d && d->Type() == type) return d;
  return nullptr;
}

bool TRRTrack::FindSnap(float maxDistance, gx::TGXVector3& position, gx::TGXQuaternion& rotation) {
  float radius = maxDistance > 0 ? maxDistance : 2 * SystemScale();
  TRRTrackRouteContact* own = nullptr;
  TRRTrackRouteContact* foreign = nullptr;
  if (!RRFindSnapPair(this, radius, own, foreign)) return false;
  RRSnapTransform(*own, *foreign, position, rotation);
  return true;
}

bool TRRTrack::Snap(bool& snapped, gx::TGXVector3& position, gx::TGXQuaternion& rotation) {
  snapped = FindSnap(0, position, rotation);
  return true;
}

namespace {

gx::TGXOrientedBox TransformOriented(const gx::TGXOrientedBox& box, const gx::TGXMatrix& m) {
  gx::TGXOrientedBox out;
  out.Empty = box.Empty;
  for (int i = 0; i < 8; ++i) out.Corners[i] = gx::GXVec3TransformCoord(box.Corners[i], m);
  out.Center = gx::GXVec3TransformCoord(box.Center, m);
  return out;
}

}  // namespace

bool TRRTrack::HitTest(const gx::TGXFrustum& volume) {
  if (!TRREntity::HitTest(volume)) return false;
  const gx::TGXMatrix& world = WorldMatrix();
  for (const auto& r : FRoutes) {
    bool hidden = r->HiddenStart() > 0 && r->HiddenEnd() > 0;
    for (const TRRRouteBox& b : r->Boxes()) {
      // Boxes wholly inside the hidden stretch (a turntable's pit) are not pickable.
      if (hidden && b.Start >= r->HiddenStart() && b.End <= r->HiddenEnd()) continue;
      if (gx::FrustumIntersectsOrientedBox(volume, TransformOriented(b.Box, world))) return true;
    }
  }
  for (TRREntity* child : ChildEntities())
    if (gx::FrustumIntersectsOrientedBox(
            volume, gx::TransformOrientedBox(child->LocalBounds(), child->WorldMatrix())))
      return true;
  return false;
}

}  // namespace rr
