#pragma once
// Catenary masts: models whose wire is stretched to another mast. Each mast may point to one
// other mast (its connection); its wire runs from its own wire anchor to the other mast's anchor
// and follows when either mast moves.
//
// The model has two named nodes (case-sensitive): "Mast", the pole whose box is the mast's
// selection box and box test, and "Kabel", the wire, modelled along +y from its anchor (the
// node's origin). The wire's rest length is the height of the "Kabel" node's bounds. A model
// that was loaded but lacks either node, or whose wire has no height, is refused with
// EGXException (the mast, "Create", "Invalid model"). A mast whose model is not loaded (a command
// that does not draw) or is the placeholder of a missing file stays a mast without wire.
//
// Description payload (after the model payload): Integer version (1), connection ID (an ID
// reference, 0 none). A mast never links to itself: a self link read from a file is dropped.
//
// Laying the wire: the other anchor is carried into the space of the "Kabel" node's parent, the
// node turned from +y towards it and scaled (0.5, length / rest length, 0.5). Anchors that
// coincide hide the wire. The frame step lays it again when this mast or the other one moved,
// turned or was scaled since the last lay (positions and scales by more than 0.01, rotation
// components by more than 0.001), so standing masts cost a few comparisons a frame.
//
// Linking and unlinking from the user interface are commands of the history: RRLinkMast and
// RRUnlinkMast. TRRCatenaryModifier is the picking tool of the "Verbinden mit..." button.

#include <cstdint>
#include <functional>
#include <memory>

#include "app/entities/RREntityModifier.h"
#include "app/entities/RRModel.h"

namespace rr {

class TRRRegisteredEntityList;

inline constexpr const char* RRKindCatenary = "{92C1BCE3-E0C8-42E0-8EFD-AA123B8ACC9F}";
inline constexpr int32_t RRCatenaryDescVersion = 1;
// The CAD type of masts.
inline constexpr uint8_t RRCatenaryCadType = 5;
inline constexpr const char* RRCatenaryMastNode = "Mast";
inline constexpr const char* RRCatenaryWireNode = "Kabel";
// How far a mast may move (position, scale) or turn (rotation components) before its wire is
// laid again.
inline constexpr float RRCatenaryMoveTolerance = 0.01f;
inline constexpr float RRCatenaryTurnTolerance = 0.001f;
// The wire's thickness factor across its length.
inline constexpr float RRCatenaryWireWidth = 0.5f;
// Texts of the mast's page.
inline constexpr const char* RRTextCatenaryConnection = "Kabelverbindung";
inline constexpr const char* RRTextCatenaryConnect = "Verbinden mit...";
inline constexpr const char* RRTextCatenaryChainMode = "Verbindungsmodus";
inline constexpr const char* RRTextCatenaryChainModeHint =
    "Ermöglicht die Verbindung mehrerer Oberleitungen ohne Neuselektion.";
inline constexpr const char* RRTextInvalidModel = "Invalid model";

class TRRCatenaryDesc : public TRRModelDesc {
  RR_DESCRIPTION_CLASS()

 public:
  // CAD type 5.
  TRRCatenaryDesc();
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // The model's accessors and the connection ID.
  void GetPropertyAccess(TRRPropertyAccessList& list) override;
  // The model's keys and "ConnectionID" (an ID reference).
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;

  int32_t ConnectionID = 0;
};

// The placement a wire was laid for.
struct TRRCatenarySnapshot {
  gx::TGXVector3 Position{0, 0, 0};
  gx::TGXQuaternion Rotation{0, 0, 0, 1};
  gx::TGXVector3 Scale{1, 1, 1};
};

class TRRCatenary : public TRRModel {
  RR_ENTITY_CLASS()

 public:
  TRRCatenary(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  static void RegisterKinds(TRRRegisteredEntityList& list);

  // The model's frame step; then the wire is shown exactly while the linked mast exists and
  // laid again when either mast moved since the last lay.
  void Animate(bool animationsOn, float deltaTime) override;
  // The connection ID, 0 when the linked mast no longer exists.
  std::unique_ptr<TRREntityDescription> CreateDescription() const override;
  // The selection box and the box test take the "Mast" node's box (the wire is left out).
  void CreateSelectionBorder() override;
  bool HitTest(const gx::TGXFrustum& volume) override;

  // The mast the connection ID names, if it exists and is a mast.
  TRRCatenary* GetLinkedMast() const;
  int32_t ConnectionID() const { return FConnectionID; }
  // Unlink, then point to other (never to itself), show the wire and lay it.
  void Link(TRRCatenary& other);
  // Connection 0, the wire hidden.
  void Unlink();
  // Stretches the wire to the linked mast's anchor and takes both snapshots; without a linked
  // mast nothing happens. The node's matrices follow in the next update pass.
  void LayWire();

  gx::TGXSceneNode* MastNode() const { return FMast; }
  gx::TGXSceneNode* WireNode() const { return FWire; }
  float RestLength() const { return FRestLength; }
  bool WireVisible() const { return FWire && FWire->Visible(); }
  // The length of the wire as last laid (0 while none is shown).
  float WireLength() const { return FWireLength; }
  // What the next frame shows, also before any frame ran (a command that only reads a layout):
  // whether a linked mast exists and the anchors lie apart, and the distance between the anchors
  // (between the masts' origins while the model is not loaded; 0 without a linked mast). World
  // values as of the last update.
  bool WireShown() const;
  float SpanLength() const;
  // How often the wire was laid (for tests and measurements).
  int64_t LayCount() const { return FLayCount; }
  // The "Mast" node's box in the mast's own space (empty without one).
  gx::TGXBoundingBox MastBounds() const;

 private:
  void ShowWire(bool visible);
  bool Moved(const TRRCatenarySnapshot& snapshot, const TRREntity& mast) const;

  gx::TGXSceneNode* FMast = nullptr;  // nodes of the model instance: the node tree owns them
  gx::TGXSceneNode* FWire = nullptr;
  float FRestLength = 0;
  int32_t FConnectionID = 0;
  // The mast the wire was laid to; another partner lays it again.
  int32_t FLaidTo = 0;
  TRRCatenarySnapshot FOwnSnapshot;
  TRRCatenarySnapshot FLinkedSnapshot;
  bool FDirty = true;
  float FWireLength = 0;
  int64_t FLayCount = 0;
};

// Links from to to as one command of the history (without a history the link alone). Nothing
// happens for the same mast.
void RRLinkMast(TRRCatenary& from, TRRCatenary& to);
// The unlink button: one command holding the removal of the mast's own link and of every link
// to it from other masts. Returns how many masts were unlinked.
int RRUnlinkMast(TRRCatenary& mast);

// The picking tool while "Verbinden mit..." is down: a left press or double click on a mast
// (the scene node under the cursor or one of its ancestors) links the two unless it is the same
// mast or either already links to the other; this mast links to the other if it has no link or
// the other has one, else the other links to this one. The click is always consumed.
//
// The outcome is handed on in the next Tick, never inside the click: it may change the
// selection and free this modifier. In chain mode the other mast becomes the selection and
// Finished names it (its page opens with the button pressed again); otherwise, and when nothing
// suitable was clicked, Finished gets null (the button is released).
class TRRCatenaryModifier : public TRREntityModifier {
 public:
  explicit TRRCatenaryModifier(TRRCatenary& mast, bool chainMode = false);

  bool MouseEvent(gx::TGXRenderTarget* view, uint32_t message, int32_t phase, const TRRInputRecord& record,
                  uint32_t flags) override;
  void Tick() override;

  int32_t MastID() const { return FMastID; }
  bool ChainMode() const { return FChainMode; }
  void SetChainMode(bool value) { FChainMode = value; }
  bool Pending() const { return FPending; }
  // Called last in Tick after a click; may free the modifier.
  std::function<void(TRRCatenary* next)> Finished;

 private:
  // The mast by ID: undo and redo free and recreate masts under their IDs.
  TRRCatenary* Mast(int32_t id) const;

  int32_t FMastID;
  bool FChainMode;
  bool FPending = false;
  int32_t FNextID = 0;
};

}  // namespace rr
