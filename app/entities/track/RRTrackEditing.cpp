#include "app/entities/track/RRTrackEditing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRProjectHost.h"
#include "app/RRReplaceEntity.h"
#include "app/RRUnits.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXGuid.h"
#include "engine/core/GXSceneNode.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kMaxLength = 200;  // world units (cm): the longest straight, arc or shift
constexpr uint16_t kGerman = 1031;

const TRRTrackEditorLayout kStraight{1, 1, TRRTrackEditorRowKind::Straight, false, {"Länge"}, {ColLength1}};
const TRRTrackEditorLayout kCurve{1, 1, TRRTrackEditorRowKind::Curve, false, {"Radius", "Winkel"}, {ColRadius, ColAngle}};
const TRRTrackEditorLayout kFlexible{1, 1, TRRTrackEditorRowKind::Flexible, false, {"Länge"}, {ColLength1}};
const std::vector<const char*> kSwitchCaptions{"Start", "Länge 1", "Radius", "Winkel", "Länge 2"};
const std::vector<TRRTrackEditorColumn> kSwitchFields{ColStart, ColLength1, ColRadius, ColAngle, ColLength2};
const TRRTrackEditorLayout kSwitch{2, 2, TRRTrackEditorRowKind::Switch, false, kSwitchCaptions, kSwitchFields};
const TRRTrackEditorLayout kThreeWay{3, 3, TRRTrackEditorRowKind::Switch, false, kSwitchCaptions, kSwitchFields};
const TRRTrackEditorLayout kCrossSwitch{4, 4, TRRTrackEditorRowKind::Switch, true, kSwitchCaptions, kSwitchFields};
const TRRTrackEditorLayout kCrossing{2, 2, TRRTrackEditorRowKind::Switch, true, kSwitchCaptions, kSwitchFields};
const TRRTrackEditorLayout kTurntable{12, 1, TRRTrackEditorRowKind::Turntable, false, {"Außendurchmesser"},
                                      {ColLength1}};

float LengthFactor(int unit) { return RRLengthUnits[std::clamp(unit, 0, RRLengthUnitCount - 1)].Factor; }
float AngleFactor(int unit) { return RRAngleUnits[std::clamp(unit, 0, RRAngleUnitCount - 1)].Factor; }

std::string FormatLength(float value, int unit) {
  const TRRDisplayUnit& u = RRLengthUnits[std::clamp(unit, 0, RRLengthUnitCount - 1)];
  return RRFormatDecimal(double(value) * u.Factor, u.Decimals, RRDecimalSeparator());
}

std::string FormatAngle(float value, int unit) {
  const TRRDisplayUnit& u = RRAngleUnits[std::clamp(unit, 0, RRAngleUnitCount - 1)];
  return RRFormatDecimal(double(value) * u.Factor, u.Decimals, RRDecimalSeparator());
}

// The numbers of one typed row, in world units.
struct TRowNumbers {
  float Shift = 0, L1 = 0, Radius = 0, Angle = 0, L2 = 0;
};

TRowNumbers ReadRow(const std::array<std::string, RRTrackEditorColumns>& row, int lengthUnit, int angleUnit) {
  const double lf = LengthFactor(lengthUnit), af = AngleFactor(angleUnit);
  auto length = [&](int c) { return std::max(0.0f, float(RRReadEditorNumber(row[c]) / lf)); };
  TRowNumbers n;
  n.Shift = float(RRReadEditorNumber(row[ColStart]) / lf);
  n.L1 = length(ColLength1);
  // Kept signed: a curve takes its size, a switch clamps it like any other length.
  n.Radius = float(RRReadEditorNumber(row[ColRadius]) / lf);
  n.Angle = std::clamp(float(RRReadEditorNumber(row[ColAngle]) / af), -2 * kPi, 2 * kPi);
  n.L2 = length(ColLength2);
  return n;
}

std::unique_ptr<TRRTrackRouteDesc> BuildRoute(const TRRTrackEditorValues& v, const TRRTrackEditorLayout& layout,
                                              int i, float scale) {
  auto route = std::make_unique<TRRTrackRouteDesc>();
  const int n = layout.Routes;
  // 1. The turn of the route about the track's centre.
  const TRRTrackType type = v.Type;
  if (layout.Kind == TRRTrackEditorRowKind::Turntable)
    route->Rotation = float(i) * kPi / 12;
  else if ((type == TRRTrackType::Crossing && i == 1) || (type == TRRTrackType::CrossSwitch && (i == 1 || i == 3)))
    route->Rotation = std::clamp(float(RRReadEditorNumber(v.CrossAngle) / AngleFactor(v.AngleUnit)), -2 * kPi, 2 * kPi);
  // 2. The numbers of the route's row (the turntable's one row serves all its routes).
  static const std::array<std::string, RRTrackEditorColumns> kEmpty{};
  const int row = layout.Kind == TRRTrackEditorRowKind::Turntable ? 0 : i;
  const TRowNumbers t = ReadRow(row < int(v.Rows.size()) ? v.Rows[size_t(row)] : kEmpty, v.LengthUnit, v.AngleUnit);
  if (n > 1) route->Shift = t.Shift;
  switch (layout.Kind) {
    case TRRTrackEditorRowKind::Straight:
      route->L1 = t.L1;
      break;
    case TRRTrackEditorRowKind::Flexible:
      route->FlexL = t.L1;
      break;
    case TRRTrackEditorRowKind::Curve:
      route->Radius = std::fabs(t.Radius), route->Angle = t.Angle;
      break;
    case TRRTrackEditorRowKind::Switch:
      route->L1 = t.L1, route->Radius = std::max(0.0f, t.Radius), route->Angle = t.Angle, route->L2 = t.L2;
      break;
    case TRRTrackEditorRowKind::Turntable:
      route->L1 = t.L1;
      break;
  }
  // A left-hand curve: negative angle, negative radius.
  if (route->Angle < 0 && route->Radius > 0) route->Radius = -route->Radius;
  // 3. Limits.
  route->Shift = std::clamp(route->Shift, -kMaxLength, kMaxLength);
  if (layout.Kind == TRRTrackEditorRowKind::Flexible) {
    route->FlexL = std::clamp(route->FlexL, scale, kMaxLength);
  } else if (layout.Kind == TRRTrackEditorRowKind::Turntable) {
    route->L1 = std::clamp(route->L1, 20 * scale, 128 * scale);
  } else {
    route->L1 = std::clamp(route->L1, 0.0f, kMaxLength);
    route->L2 = std::clamp(route->L2, 0.0f, kMaxLength);
    // The arc is held to the longest length whichever way it bends.
    const float arc = std::fabs(route->Angle) * std::fabs(route->Radius);
    if (arc > kMaxLength) route->Radius = std::copysign(kMaxLength / std::fabs(route->Angle), route->Radius);
  }
  return route;
}

// The models of a buffer stop or turntable: start's when it is of the type, else the first
// catalogue description of the type.
const TRRTrackDesc* ModelSource(TRRTrackType type, const TRRTrackDesc& start, const TRREntityDescriptionList* catalogue) {
  if (start.Type() == type) return &start;
  return catalogue ? TRRTrack::FindDescriptionByType(*catalogue, type) : nullptr;
}

}  // namespace

// ---- layout and values ----

const TRRTrackEditorLayout& RRTrackEditorLayout(TRRTrackType type) {
  switch (type) {
    case TRRTrackType::Curve:
      return kCurve;
    case TRRTrackType::Flexible:
      return kFlexible;
    case TRRTrackType::Switch:
      return kSwitch;
    case TRRTrackType::CrossSwitch:
      return kCrossSwitch;
    case TRRTrackType::ThreeWaySwitch:
      return kThreeWay;
    case TRRTrackType::Crossing:
      return kCrossing;
    case TRRTrackType::Turntable:
      return kTurntable;
    case TRRTrackType::Straight:
    case TRRTrackType::BufferStop:
      break;
  }
  return kStraight;
}

TRRTrackEditorValues TRRTrackEditorValues::FromDescription(const TRRTrackDesc& d, int lengthUnit, int angleUnit) {
  TRRTrackEditorValues v;
  v.Type = d.Type();
  v.Gauge = d.TrackWidth() % 128 < RRTrackSystemCount ? d.TrackWidth() % 128 : RRTrackSystemH0;
  v.Name = d.Name().GetText();
  v.DescriptionText = d.Description().GetText();
  v.Manufacturer = d.Manufacturer().GetText();
  v.System = d.TrackSystemName().GetText();
  v.Texture = d.Texture();
  v.HasBed = d.HasBed();
  v.LengthUnit = lengthUnit;
  v.AngleUnit = angleUnit;
  const TRRTrackEditorLayout& layout = RRTrackEditorLayout(v.Type);
  v.Rows.resize(size_t(layout.Rows));
  for (int r = 0; r < layout.Rows && r < d.RouteCount(); ++r) {
    const TRRTrackRouteDesc& route = *d.Route(r);
    auto& row = v.Rows[size_t(r)];
    row[ColStart] = FormatLength(route.Shift, lengthUnit);
    row[ColLength1] = FormatLength(layout.Kind == TRRTrackEditorRowKind::Flexible ? route.FlexL : route.L1, lengthUnit);
    row[ColRadius] = FormatLength(std::fabs(route.Radius), lengthUnit);
    row[ColAngle] = FormatAngle(route.Angle, angleUnit);
    row[ColLength2] = FormatLength(route.L2, lengthUnit);
  }
  if (layout.CrossAngle && d.RouteCount() > 1) v.CrossAngle = FormatAngle(d.Route(1)->Rotation, angleUnit);
  return v;
}

void TRRTrackEditorValues::SetType(TRRTrackType type) {
  Type = type;
  Rows.resize(size_t(RRTrackEditorLayout(type).Rows));
}

double RRReadEditorNumber(std::string_view text) {
  std::string s(gx::TrimText(text));
  std::replace(s.begin(), s.end(), ',', '.');
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  double value = 0;
  const char* end = s.data() + s.size();
  const auto [ptr, ec] = std::from_chars(s.data(), end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return 0;
  return value;
}

std::string RRTrackEditorAnnotation(TRRTrackType type, int lengthUnit, int angleUnit) {
  const char* length = RRLengthUnits[std::clamp(lengthUnit, 0, RRLengthUnitCount - 1)].Name;
  const char* angle = RRAngleUnits[std::clamp(angleUnit, 0, RRAngleUnitCount - 1)].Name;
  char text[128];
  if (RRTrackEditorLayout(type).Kind == TRRTrackEditorRowKind::Switch)
    std::snprintf(text, sizeof text, RRTextTrackEditorLengthsAndAngles, length, angle);
  else
    std::snprintf(text, sizeof text, RRTextTrackEditorLengths, length);
  return text;
}

// ---- building ----

std::unique_ptr<TRRTrackDesc> RRBuildTrackDescription(const TRRTrackEditorValues& v, const TRRTrackDesc& start,
                                                      const TRREntityDescriptionList* catalogue) {
  // A copy keeps the base fields (ID, place, lock, links, child entities) of the track edited.
  std::unique_ptr<TRREntityDescription> clone = start.Clone();
  std::unique_ptr<TRRTrackDesc> d(static_cast<TRRTrackDesc*>(clone.release()));
  d->SetType(v.Type);
  d->SetAssetID(gx::TGXGuid::NewGuid());
  d->Name().SetText(kGerman, v.Name, true);
  d->Description().SetText(kGerman, v.DescriptionText, true);
  d->Manufacturer().SetText(kGerman, v.Manufacturer, true);
  d->TrackSystemName().SetText(kGerman, v.System, true);
  const int gauge = v.Gauge >= 0 && v.Gauge < RRTrackSystemCount ? v.Gauge : RRTrackSystemH0;
  d->SetTrackWidth(uint8_t(gauge));
  d->SetHasBed(v.HasBed);
  d->Texture() = v.Texture;
  const TRRTrackEditorLayout& layout = RRTrackEditorLayout(v.Type);
  const float scale = RRTrackSystemScale(gauge);
  d->ClearRoutes();
  for (int i = 0; i < layout.Routes; ++i) d->AddRoute(BuildRoute(v, layout, i, scale));
  d->SetActiveRoute(std::clamp(start.ActiveRoute(), 0, layout.Routes - 1));
  d->BedModel() = d->NoBedModel() = d->TurntableModel() = TRRModelFileName();
  if (v.Type == TRRTrackType::BufferStop) {
    if (const TRRTrackDesc* source = ModelSource(v.Type, start, catalogue)) {
      d->BedModel() = source->BedModel();
      d->NoBedModel() = source->NoBedModel();
    }
  } else if (v.Type == TRRTrackType::Turntable) {
    if (const TRRTrackDesc* source = ModelSource(v.Type, start, catalogue))
      d->TurntableModel() = source->TurntableModel();
  }
  return d;
}

TRRTrackEditorResult RRTryBuildTrack(const TRRTrackEditorValues& values, const TRRTrackDesc& start,
                                     const TRREntityDescriptionList* catalogue) {
  TRRTrackEditorResult result;
  try {
    std::unique_ptr<TRRTrackDesc> d = RRBuildTrackDescription(values, start, catalogue);
    // A track outside any manager: the routes and their shapes are built as on the layout.
    gx::TGXSceneNode scratch("Vorschau");
    auto* track = new TRRTrack(&scratch, nullptr, *d);
    track->Update(true);
    // A route of no length cannot be laid or driven on (its direction is undefined).
    for (int i = 0; i < track->GetRouteCount(); ++i)
      if (TRRTrackRoute* r = track->GetRoute(i); !r || !(r->GetLength() > 0.01f)) {
        result.Problem = std::string(RRTextTrackEditorNotBuildable) + " (Spur " + std::to_string(i + 1) +
                         " hat keine Länge.)";
        return result;
      }
    result.Description = std::move(d);
  } catch (const std::exception& e) {
    result.Problem = std::string(RRTextTrackEditorNotBuildable) + " (" + e.what() + ")";
  }
  return result;
}

TRRTrack* RRReplaceTrack(TRREntityManager& manager, TRRTrack& track, const TRRTrackDesc& description) {
  return dynamic_cast<TRRTrack*>(RRReplaceEntity(manager, track, description));
}

namespace {

// The first track description below node whose catalogue key is key.
TRREntityDescription* FindByKey(TRRAssetNode& node, const std::string& key) {
  const TRREntityDescriptionList& list = node.Descriptions();
  for (int i = 0; i < list.Count(); ++i)
    if (auto* t = dynamic_cast<TRRTrackDesc*>(list.Item(i)); t && t->CatalogueKey() == key) return t;
  for (int i = 0; i < node.ChildCount(); ++i)
    if (TRREntityDescription* found = FindByKey(*node.Child(i), key)) return found;
  return nullptr;
}

}  // namespace

TRREntityDescription* RRAddUserTrack(TRRDatabase& db, const std::string& packageFile, const TRRTrackDesc& description,
                                     const std::function<void(const std::string& folder)>& watchFolder) {
  TRRAsset* asset = db.OpenPackageFile(packageFile);
  if (!asset) {
    const std::filesystem::path folder = std::filesystem::path(packageFile).parent_path();
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    asset = db.CreatePackage(packageFile, RRUserTrackPackageName, "", RRUserTrackPackageDescription);
    if (watchFolder) watchFolder(folder.string());
  }
  if (TRREntityDescription* there = FindByKey(asset->Root(), description.CatalogueKey())) return there;
  // Folder names may not be empty (the catalogue refuses to rename to one).
  auto named = [](std::string text) { return gx::TrimText(text).empty() ? std::string("Ohne Namen") : text; };
  TRRAssetNode* folder = asset->Root()
                             .FindOrAddChild("Gleise")
                             ->FindOrAddChild(named(description.Manufacturer().GetText()))
                             ->FindOrAddChild(RRTrackSystemName(description.TrackWidth()))
                             ->FindOrAddChild(named(description.TrackSystemName().GetText()));
  std::unique_ptr<TRREntityDescription> entry = description.Clone();
  entry->SetID(0);
  entry->SetCataloguePath("Gleise\\" + named(description.Manufacturer().GetText()) + "\\" +
                          RRTrackSystemName(description.TrackWidth()) + "\\" +
                          named(description.TrackSystemName().GetText()) + "\\" + description.Name().GetText());
  return db.AddEntry(*folder, std::move(entry));
}

}  // namespace rr
