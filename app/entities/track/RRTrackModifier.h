#pragma once
// The track tool: TRRTrackModifier sits on the entity manager's modifier stack while a mode is
// chosen on the track property page. It works on the selected tracks that have exactly one route
// and are no turntables (the tool tracks, highlight 1):
//   mode 1 bends one flexible track by dragging one of its free ends,
//   mode 2 bends a chain of connected tool tracks about the vertical axis (TRRTrackIKSolver),
//   mode 3 tilts a chain into a gradient.
// Hovering picks the free contact under the mouse and marks the chain it would move (highlight
// 2); a press on a contact starts a drag, which captures the mouse through the project host until
// the button comes up. Every move starts again from the transforms saved at the press, so the
// result depends only on the mouse position. A drag target near a free contact of another track
// snaps onto it. The space bar cycles the active route of the single selected switchable track in
// every mode.
//
// Undo: a drag that changed something is one command with a child per chain track (its snapshot
// at the press and at the release, so a flexible track's bent shape is restored too); a switch
// by the space bar is one command.
//
// Tracks are held by entity ID and looked up at every use: undo and redo free tracks and make them
// anew under the same ID (the tool highlights the new ones), and a deleted track drops out. A drag
// whose chain lost a track to an undo is cancelled: the chain's other tracks go back to where the
// press found them and no command is recorded. The tool listens for the destruction of its tracks
// to notice that.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/entities/RREntityModifier.h"
#include "engine/core/GXMath.h"

namespace gx {
class TGXNode;
}

namespace rr {

class TRRCommand;
class TRREntityManager;
class TRRTrack;
class TRRTrackRouteContact;

// The modes in the order of the property page's list.
enum TRRTrackToolMode : int {
  RRTrackToolNone = 0,
  RRTrackToolBendFlexible = 1,
  RRTrackToolBend = 2,
  RRTrackToolGradient = 3
};
inline constexpr int RRTrackToolModeCount = 4;
// The list texts of the modes (index = mode).
inline constexpr const char* RRTrackToolModeTexts[RRTrackToolModeCount] = {"Keine", "Flexgleis biegen",
                                                                           "Biegen", "Anstellen"};

// A joint of a chain bend never turns further than this from the shape at the press (radians).
inline constexpr float RRTrackIKMaxAngle = 0.2f;
inline constexpr int RRTrackIKMaxIterations = 100;
// The gradient search: tilt step and largest tilt (radians), and the squared distance to the
// target that ends it.
inline constexpr float RRTrackGradientStep = 0.0001f;
inline constexpr float RRTrackGradientMaxAngle = 0.15f;
inline constexpr float RRTrackGradientReachedSq = 0.0001f;

// A chain of joints turning about one axis, solved by cyclic coordinate descent. Joint 0 is the
// root; each joint's angle turns every later joint and the end effector about it.
class TRRTrackIKSolver {
 public:
  // joints: world positions, root first; endEffector: world position of the point to move; axis
  // is normalised (a zero or non-finite axis turns nothing). All angles become 0.
  void Setup(const std::vector<gx::TGXVector3>& joints, const gx::TGXVector3& endEffector,
             const gx::TGXVector3& axis, float scale);
  // Joint and end effector positions from the offsets and angles.
  void ForwardKinematics();
  // Turns the joints (each within +-RRTrackIKMaxAngle) until the end effector is within 0.2
  // scales of the target or RRTrackIKMaxIterations steps are done; true when it got there. A
  // joint on which the end effector or the target lies is skipped (no direction to turn).
  bool Solve(const gx::TGXVector3& target);

  int JointCount() const { return static_cast<int>(FJoints.size()); }
  float Angle(int joint) const { return FJoints.at(static_cast<size_t>(joint)).Angle; }
  // The sum of the angles of joints 0 ... joint: the turn of everything after that joint.
  float TotalAngle(int joint) const;
  const gx::TGXVector3& JointPosition(int joint) const {
    return FJoints.at(static_cast<size_t>(joint)).Position;
  }
  const gx::TGXVector3& EndEffector() const { return FEndPosition; }
  const gx::TGXVector3& Axis() const { return FAxis; }
  float Scale() const { return FScale; }

 private:
  struct TJoint {
    gx::TGXVector3 Offset;  // from the previous joint (joint 0: its position)
    gx::TGXVector3 Position;
    float Angle = 0;
  };
  std::vector<TJoint> FJoints;
  gx::TGXVector3 FAxis{0, 1, 0};
  gx::TGXVector3 FEndOffset{0, 0, 0};
  gx::TGXVector3 FEndPosition{0, 0, 0};
  float FScale = 1;
};

class TRRTrackModifier : public TRREntityModifier {
 public:
  // A tool for the tracks selected in manager now; a mode outside 0 ... 3 counts as 0. The
  // mode becomes the remembered one. The caller stacks the tool (AddModifier) and frees it; the
  // manager must outlive it.
  TRRTrackModifier(TRREntityManager& manager, int mode);
  // Ends a drag (keeping and recording what it did, releasing the mouse), stops listening and puts
  // the tracks that still exist back to highlight 0.
  ~TRRTrackModifier() override;

  // The mode chosen last (the property page opens with it).
  static int LastMode();
  static void SetLastMode(int mode);

  int Mode() const { return FMode; }
  // Ends a drag as the button's release would.
  void Deactivate() override;
  bool KeyEvent(gx::TGXRenderTarget* view, uint32_t message, const TRRInputRecord& record,
                int32_t key) override;
  bool MouseEvent(gx::TGXRenderTarget* view, uint32_t message, int32_t phase, const TRRInputRecord& record,
                  uint32_t flags) override;
  // Follows undo and redo: highlights recreated tracks, drops deleted ones, cancels a drag that
  // lost a track.
  void Tick() override;

  // ---- state ----
  // The IDs of the tool tracks (in selection order) and of the single selected switchable
  // track (0 for none).
  std::vector<int32_t> TrackIDs() const;
  int32_t SwitchID() const { return FSwitchID; }
  bool Dragging() const { return FDragging; }
  // The picked contact and the chain (from the picked track away from the picked end), looked up
  // now; null where a track is gone.
  TRRTrackRouteContact* PickedContact() const;
  int ChainCount() const { return static_cast<int>(FChain.size()); }
  TRRTrackRouteContact* ChainContact(int index) const;
  const TRRTrackIKSolver& IKSolver() const { return FSolver; }
  // The tilt the last gradient move chose.
  float GradientAngle() const { return FGradientAngle; }

  // ---- steps (the mouse handlers call them; benchmarks drive them directly) ----
  // Picks the contact under the ray and builds its chain; false when none is hit.
  bool Pick(const gx::TGXVector3& origin, const gx::TGXVector3& direction);
  // Starts a drag on the picked chain (false without one).
  bool BeginDrag();
  // One mouse move of a drag along the ray.
  void DragTo(const gx::TGXVector3& origin, const gx::TGXVector3& direction,
              const gx::TGXVector3& viewDirection);
  // Ends a drag: records the command when something changed, releases the mouse.
  void EndDrag();
  // The first enabled contact of another track than the picked one (manager track order, route
  // order, contact order) closer to point than its route's scale.
  TRRTrackRouteContact* FindContactNear(const gx::TGXVector3& point) const;

 private:
  struct TToolTrack {
    int32_t ID = 0;
    TRRTrack* Known = nullptr;  // the instance highlighted and listened to; cleared when it dies
  };
  struct TContactRef {
    int32_t TrackID = 0;
    int Index = 0;
  };
  // What a press saved of a chain track.
  struct TSaved {
    gx::TGXVector3 Position, Scale;
    gx::TGXQuaternion Rotation;
    gx::TGXVector3 WorldPosition;
    gx::TGXQuaternion WorldRotation;
    // The chain contact's world position and its opposite's, and (gradient) the tilt axis.
    gx::TGXVector3 Pivot, Other, TiltAxis;
    std::unique_ptr<TRRCommand> Command;
    // The track the press found; cleared when it is destroyed (undo makes another under its ID).
    TRRTrack* Instance = nullptr;
  };

  TRRTrack* Lookup(int32_t id) const;
  TRRTrackRouteContact* Resolve(const TContactRef& ref) const;
  bool IsToolTrack(int32_t id) const;
  bool InChain(int32_t id) const;
  void Refresh();
  void TrackDestroyed(gx::TGXNode* node);
  void ClearChain();
  void BuildChain(const TContactRef& picked);
  void CancelDrag();
  void ReleaseCapture();
  void Restore(TRRTrack& track, const TSaved& saved) const;
  bool DragPlaneHit(const gx::TGXVector3& origin, const gx::TGXVector3& direction, gx::TGXVector3& hit) const;
  void DragFlexible(const gx::TGXVector3& hit);
  void DragChain(const gx::TGXVector3& hit);
  void DragGradient(const gx::TGXVector3& hit);
  bool SwitchRoute();

  TRREntityManager& FManager;
  int FMode = 0;
  std::vector<TToolTrack> FTracks;
  int32_t FSwitchID = 0;
  bool FHasPick = false;
  TContactRef FPicked;
  std::vector<TContactRef> FChain;
  std::vector<TSaved> FSaved;
  std::unique_ptr<TRRCommand> FCommand;
  bool FDragging = false;
  bool FCaptured = false;
  bool FDragLost = false;
  int32_t FPressX = 0, FPressY = 0;
  gx::TGXVector3 FPlanePoint{0, 0, 0}, FPlaneNormal{0, 1, 0};
  gx::TGXVector3 FFixedPosition{0, 0, 0}, FFixedOutward{0, 0, 1};
  TRRTrackIKSolver FSolver;
  float FGradientAngle = 0;
};

}  // namespace rr
