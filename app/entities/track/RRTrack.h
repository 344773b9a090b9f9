#pragma once
// TRRTrack: the layout entity of one track piece (straight, curve, flexible track, switch, cross
// switch, three-way switch, crossing, buffer stop, turntable), built from a TRRTrackDesc. A track
// owns its routes (TRRTrackRoute, RRTrackRoute.h), knows which one is active (the switch
// position), shows inactive switch routes dimmed, snaps to free contacts of other tracks while it
// is dragged, and reports a switch to the event system (RRTrackEvents.h).
//
// Description payload (after the base payload, little-endian):
//   Integer version (3 written; 1..3 read), type byte (not in version 1), manufacturer and track
//   system name (texts per language), track width byte, Integer route count, that many route
//   records, Integer active route, has-bed byte, for buffer stops the bed and no-bed model file
//   names, for turntables the turntable model file name (version 1 has 4 bytes before these model
//   names), and from version 3 on the texture's asset file name.
// Version 1 has no type byte: the type comes from the kind GUID of the record. Every one of the
// nine track kinds constructs a description preset to its type, so a version-1 record keeps it.
//
// Catalogue key: "<manufacturer>\<track system>\<gauge>\<description text>\<checksum>", where the
// checksum is the CRC-32 (start 0, no final inversion) over L1, Angle, Radius and L2 of every
// route in route order, printed as a signed 32-bit decimal number ("-1234567890"): the key of a
// catalogue entry must come out the same on every machine, and stored keys were made that way.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/entities/RRAssetFileName.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXGuid.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXSerialization.h"

namespace rr {

class TRRRegisteredEntityList;
class TRRTrackRoute;
class TRRTrackRouteDesc;
class TRRTrackRouteContact;

// ---- types ----

enum class TRRTrackType : uint8_t {
  Straight = 0,        // "TRRLinearTrack", "Gerades Gleis"
  Curve = 1,           // "TRRCurveTrack", "Gebogenes Gleis"
  Flexible = 2,        // "TRRFlexibleTrack", "Flexgleis"
  Switch = 3,          // "TRRSwitchTrack", "Weiche"
  CrossSwitch = 4,     // "TRRCrossSwitchTrack", "Kreuzweiche"
  ThreeWaySwitch = 5,  // "TRRThreeWaySwitchTrack", "Dreiwegweiche"
  Crossing = 6,        // "TRRCrossTrack", "Kreuzung"
  BufferStop = 7,      // "TRRStopTrack", "Prellbock"
  Turntable = 8,       // "TRRTurntableTrack", "Drehscheibe"
};
inline constexpr int RRTrackTypeCount = 9;

// The kind GUIDs by type; the first ({509F7FD7-...}, the straight) is the one written.
extern const char* const RRKindTrack[RRTrackTypeCount];
// The kinds in the order they are registered.
extern const TRRTrackType RRTrackKindOrder[RRTrackTypeCount];

inline constexpr const char* RRTextUnknownTrackType = "Unknown track type";
// The default texture of every track.
inline constexpr const char* RRDefaultTrackTextureName = "Holz und Schotter (Standard)";
inline constexpr const char* RRDefaultTrackTexturePath =
    "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Textures\\DefaultTrack.dds";
// The version of the track payload that is written; 1..3 are read.
inline constexpr int32_t RRTrackDescVersion = 3;
// Routes a description may hold; more is taken for a corrupt record (a turntable has 12-24).
inline constexpr int32_t RRMaxTrackRoutes = 256;

// "Unknown track type" (an unknown type byte, kind GUID or old class name).
class EUnknownTrackType : public std::runtime_error {
 public:
  EUnknownTrackType() : std::runtime_error(RRTextUnknownTrackType) {}
};

// "Gerades Gleis", ... ; an unknown value gives "".
const char* RRTrackTypeDisplayName(TRRTrackType type);
// "TRRLinearTrack", ...
const char* RRTrackTypeClassName(TRRTrackType type);
// Types 3, 4, 5 and 8.
bool RRTrackTypeIsSwitchable(TRRTrackType type);
// The type of an old class name (compared ignoring case); raises EUnknownTrackType.
TRRTrackType RRTrackTypeFromClassName(std::string_view className);
// The type of a kind GUID; raises EUnknownTrackType.
TRRTrackType RRTrackTypeFromKind(const gx::TGXGuid& kind);
// A type byte; raises EUnknownTrackType for values above 8.
TRRTrackType RRTrackTypeFromByte(uint8_t value);

// CRC-32 (start 0, no final inversion) over 16 bytes per route: L1, Angle, Radius, L2.
uint32_t RRTrackRouteChecksum(const std::vector<std::unique_ptr<TRRTrackRouteDesc>>& routes);

// ---- description ----

class TRRTrackDesc : public TRREntityDescription {
  RR_DESCRIPTION_CLASS()

 public:
  TRRTrackDesc();
  // A description preset to the type (what a version-1 record of that kind keeps).
  explicit TRRTrackDesc(TRRTrackType type);
  ~TRRTrackDesc() override;

  static void RegisterKinds(TRRRegisteredEntityList& list);

  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // Base accessors, the buffer-stop or turntable models, two ID references per route
  // (LastConnection) and the texture.
  void GetPropertyAccess(TRRPropertyAccessList& list) override;
  // Base data, type, manufacturer, track system, width, routes (not between two flexible
  // tracks: a bent flexible track keeps its shape), active route clamped to the route count, and
  // the model file names. The texture is not taken: it is the user's choice per placed track,
  // and the catalogue refresh at every load would otherwise reset it.
  void AssignFrom(const TRREntityDescription& other) override;
  // Type from the node's class name, "Manufacturer", "TrackSystem", "TrackWidth", "ActiveRoute",
  // "HasBed" and the route keys "Route<n>:..." for n = 0, 1, ... while a property name starts
  // with "Route<n>:".
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;

  // "%s\%s\%s\%s\%d" (see the file comment).
  std::string CatalogueKey() const;

  TRRTrackType Type() const { return FType; }
  void SetType(TRRTrackType type) { FType = type; }
  gx::TGXLocalizedString& Manufacturer() { return FManufacturer; }
  const gx::TGXLocalizedString& Manufacturer() const { return FManufacturer; }
  gx::TGXLocalizedString& TrackSystemName() { return FTrackSystemName; }
  const gx::TGXLocalizedString& TrackSystemName() const { return FTrackSystemName; }
  // Index into the track-system table (RRTrackSystems.h).
  uint8_t TrackWidth() const { return FTrackWidth; }
  void SetTrackWidth(uint8_t width) { FTrackWidth = width; }

  int RouteCount() const { return static_cast<int>(FRoutes.size()); }
  TRRTrackRouteDesc* Route(int index) const { return FRoutes.at(static_cast<size_t>(index)).get(); }
  const std::vector<std::unique_ptr<TRRTrackRouteDesc>>& Routes() const { return FRoutes; }
  // Appends (and owns) a route description.
  TRRTrackRouteDesc* AddRoute(std::unique_ptr<TRRTrackRouteDesc> route);
  void ClearRoutes();

  int32_t ActiveRoute() const { return FActiveRoute; }
  void SetActiveRoute(int32_t index) { FActiveRoute = index; }
  bool HasBed() const { return FHasBed; }
  void SetHasBed(bool value) { FHasBed = value; }
  TRRModelFileName& BedModel() { return FBedModel; }
  const TRRModelFileName& BedModel() const { return FBedModel; }
  TRRModelFileName& NoBedModel() { return FNoBedModel; }
  const TRRModelFileName& NoBedModel() const { return FNoBedModel; }
  TRRModelFileName& TurntableModel() { return FTurntableModel; }
  const TRRModelFileName& TurntableModel() const { return FTurntableModel; }
  TRRAssetFileName& Texture() { return FTexture; }
  const TRRAssetFileName& Texture() const { return FTexture; }

 private:
  TRRTrackType FType = TRRTrackType::Straight;
  gx::TGXLocalizedString FManufacturer;
  gx::TGXLocalizedString FTrackSystemName;
  uint8_t FTrackWidth = 3;
  std::vector<std::unique_ptr<TRRTrackRouteDesc>> FRoutes;
  int32_t FActiveRoute = 0;
  bool FHasBed = true;
  TRRModelFileName FBedModel;
  TRRModelFileName FNoBedModel;
  TRRModelFileName FTurntableModel;
  TRRAssetFileName FTexture{RRDefaultTrackTextureName, RRDefaultTrackTexturePath};
};

// ---- model seam ----

// Builds the node of a buffer-stop or turntable model under parent. Until model entities exist
// the track makes plain placeholder nodes (a turntable placeholder has the children "Rad" and
// "Haus"); the model loader replaces the factory. The node belongs to parent.
using TRRTrackModelFactory = gx::TGXSceneNode* (*)(gx::TGXNode* parent, const TRRModelFileName& model,
                                                   TRRTrackType type);

// ---- texture seam ----

// Loads a track texture (the project installs the asset loader; without one tracks keep only the
// name and the mesh generator draws its default). Raises when the file cannot be loaded.
using TRRTrackTextureLoader = std::function<gx::TGXRef<gx::TGXRefCounted>(const TRRAssetFileName& name)>;
// Reports a texture that could not be loaded (the project's file-error report).
using TRRTrackTextureErrorReport =
    std::function<void(const TRRAssetFileName& name, const std::string& message)>;

// ---- track ----

class TRRTrack : public TRREntity {
  RR_ENTITY_CLASS()

 public:
  // Raises EUnknownTrackType for a description that is no track description.
  TRRTrack(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRRTrack() override;

  static void RegisterKinds(TRRRegisteredEntityList& list);

  // ---- TRREntity ----
  // Resets a node scale that differs from 1 (a track is never scaled).
  bool Update(bool force = false) override;
  void UpdateView(bool technicalView) override;
  // A piece of track adds nothing to Animate: unlinked, the frame step passes it by.
  bool AnimatesItself() const override { return false; }
  std::unique_ptr<TRREntityDescription> CreateDescription() const override;
  bool CanScale() const override { return false; }
  // Snaps to the nearest free contact of another track within twice the system scale.
  bool Snap(bool& snapped, gx::TGXVector3& position, gx::TGXQuaternion& rotation) override;
  // The base test and then any route's oriented box or any child entity's bounds.
  bool HitTest(const gx::TGXFrustum& volume) override;
  void Select() override;
  void Deselect() override;

  // ---- description ----
  std::unique_ptr<TRRTrackDesc> ToDescription() const;
  // The first track description of the list with the type, or null.
  static TRRTrackDesc* FindDescriptionByType(const TRREntityDescriptionList& list, TRRTrackType type);

  // ---- routes and switching ----
  TRRTrackType Type() const { return FType; }
  bool IsSwitchable() const { return FSwitchable; }
  int GetRouteCount() const { return static_cast<int>(FRoutes.size()); }
  // Null for an index outside the routes.
  TRRTrackRoute* GetRoute(int index) const;
  int32_t ActiveRoute() const { return FActiveRoute; }
  // Clamps index to the routes; on a switchable track whose route changes: store, turn a
  // turntable's bridge, notify the event system (TRRConditionKind::Switch, this track, the new
  // index) and recolour. Nothing happens otherwise.
  void SetActiveRoute(int32_t index);

  // The pair (own contact, foreign contact) nearest within maxDistance (twice the system scale
  // when 0 or less) and the placement that puts the own contact onto the foreign one.
  bool FindSnap(float maxDistance, gx::TGXVector3& position, gx::TGXQuaternion& rotation);

  // ---- track system ----
  int TrackWidth() const { return FTrackWidth; }
  // The scale factor and second value of the track system (RRTrackSystems.h).
  float SystemScale() const;
  float SystemSecondValue() const;
  // Plain texts in the user's language.
  const std::string& Manufacturer() const { return FManufacturer; }
  const std::string& TrackSystemName() const { return FTrackSystemName; }

  // ---- display ----
  bool HasBed() const { return FHasBed; }
  void SetHasBed(bool value);
  // 0 normal, 1 highlighted, 2 marked (the track tool sets it); other values are ignored.
  int Highlight() const { return FHighlight; }
  void SetHighlight(int state);
  const TRRAssetFileName& Texture() const { return FTexture; }
  // A different name is stored and loaded; when loading fails the error is reported and the
  // routes get the default texture (the name stays, so a file that returns is found again).
  void SetTexture(const TRRAssetFileName& texture);
  static void SetTextureServices(TRRTrackTextureLoader loader, TRRTrackTextureErrorReport report);
  const gx::TGXRef<gx::TGXRefCounted>& LoadedTexture() const { return FLoadedTexture; }
  // The application option "Aktive Weichenstellung anzeigen" (dims inactive switch routes).
  static bool ShowActiveSwitch();
  static void SetShowActiveSwitch(bool value);
  // RGBA colour and depth bias the route is drawn with now.
  gx::TGXVector4 RouteColour(int index) const;
  float RouteDepthBias(int index) const;

  // The average of the routes' midpoints (route-local frame of the track).
  const gx::TGXVector3& Centre() const { return FCentre; }
  // Routes call it after a change of shape: centre and node bounds are recomputed.
  void RouteShapeChanged();

  // ---- models ----
  static void SetModelFactory(TRRTrackModelFactory factory);
  // Buffer stops: the bed and the no-bed model node (one of them visible). Turntables: the
  // turntable model node, its "Rad" (bridge) and "Haus" (hut) children, its horizontal scale e
  // and the route the bridge points to. Null / 0 / -1 for other types.
  gx::TGXSceneNode* BedModelNode() const { return FBedNode; }
  gx::TGXSceneNode* NoBedModelNode() const { return FNoBedNode; }
  gx::TGXSceneNode* TurntableModelNode() const { return FTurntableNode; }
  gx::TGXNode* BridgeNode() const { return FBridge; }
  gx::TGXNode* HutNode() const { return FHut; }
  float TurntableScale() const { return FTurntableScale; }
  int32_t BridgeRoute() const { return FBridgeRoute; }

 private:
  void CreateRoutes(const TRRTrackDesc& description);
  void BuildBufferStop(const TRRTrackDesc& description);
  void BuildTurntable(const TRRTrackDesc& description);
  void TurnBridge(int32_t route);
  void UpdateColours();
  void ShowMarkers(bool show);
  void LoadTexture();

  TRRTrackType FType = TRRTrackType::Straight;
  bool FSwitchable = false;
  std::vector<gx::TGXRef<TRRTrackRoute>> FRoutes;
  int32_t FActiveRoute = 0;
  std::string FManufacturer;
  std::string FTrackSystemName;
  int FTrackWidth = 3;
  bool FHasBed = true;
  int FHighlight = 0;
  TRRAssetFileName FTexture;
  gx::TGXRef<gx::TGXRefCounted> FLoadedTexture;
  gx::TGXVector3 FCentre{0, 0, 0};
  // Kept for ToDescription.
  TRRModelFileName FBedModel;
  TRRModelFileName FNoBedModel;
  TRRModelFileName FTurntableModel;
  gx::TGXSceneNode* FBedNode = nullptr;
  gx::TGXSceneNode* FNoBedNode = nullptr;
  gx::TGXSceneNode* FTurntableNode = nullptr;
  gx::TGXNode* FBridge = nullptr;
  gx::TGXNode* FHut = nullptr;
  float FTurntableScale = 0;
  int32_t FBridgeRoute = -1;
};

}  // namespace rr
