#pragma once
// The render primitives a track route is drawn with (kept apart from RRTrackRoute.cpp, which
// holds the route geometry, so that each unit stays readable; the route owns its primitives).
//
// A route is drawn as a few primitives, each covering up to 64 consecutive segments of one
// straight (TRRLinearTrackPrimitive), one arc piece (TRRCurvedTrackPrimitive) or one run of flex
// points (TRRFreeFormTrackPrimitive, up to 63 segments). Each draws the shared segment geometry
// (RRTrackGeometry.h) bent by its effect; the per-primitive work is the local matrix, chosen
// when the route is built, and a few shader values set right before drawing.
//
// Building (S = scale matrix of the track-system scale, F(d) = the route's flat frame at d):
// - fixed route: the lead-in with SegmentCount(L1) segments of L1 / n, in chunks of 64 with the
//   local matrix S * F(chunk start); with a hidden interval (clamped to [0, L1]) the stretches
//   before and after it instead; the arc with h = SegmentCount(arc length) segments, halved into
//   2, 4, ... pieces until a piece has at most 64; the lead-out as the lead-in. A stretch of no
//   segments makes no primitive.
// - flexible route: the segments between the flex points in chunks of 63, local matrix S (times
//   the route's own transform).
// Twisted primitives take the route's roll at their own start and end distance, so the roll runs
// on smoothly across chunk borders.
//
// Set-up (every frame, so bed, roll and the technical view need no rebuild):
//   linear:    effect twisted 1, else bed 2, else 0; geometry no bed 0, bed and twisted 1, bed 2
//   curved:    effect twisted 4, else 3; geometry bed 1, else 0
//   free-form: effect twisted 6, else 5; geometry bed 1, else 0
// with the technique "CAD" while the technical view is on.
//
// Batching: TRRTrackBatcher gathers the primitives queued in one collection by (effect,
// technique, geometry, texture). A group of RRTrackBatchThreshold or more is drawn by batch
// primitives, each one instanced draw of up to RRTrackMaxInstances members (free-form ones:
// RRTrackMaxFlexInstances) with their values in the effect's instance arrays, drawing as many
// segment copies as its longest member needs; the members themselves then draw nothing. Smaller
// groups, and effects without the arrays, draw one primitive per call.

#include <memory>
#include <vector>

#include "app/entities/track/RRTrackGeometry.h"
#include "engine/core/GXMath.h"
#include "engine/render/GXRenderPrimitive.h"
#include "engine/render/GXRenderQueue.h"

namespace rr {

class TRRTrackRoute;
class TRRTrackBatchGroup;

enum class TRRTrackPrimitiveKind { Linear, Curved, FreeForm };

// Segments of one linear or curved primitive, and of one free-form primitive.
inline constexpr int RRMaxChunkSegments = 64;
inline constexpr int RRMaxFlexChunkSegments = 63;

class TRRTrackPrimitive : public gx::TGXRenderPrimitive {
 public:
  // segments > 0; segmentLength in model units; start and end are route distances.
  TRRTrackPrimitive(TRRTrackRoute* route, const gx::TGXMatrix& local, int segments, float segmentLength,
                    float start, float end);

  // Sets the effect's values before drawing (the chosen effect's material sources).
  virtual void ApplyParameters();
  // The world matrix (valid until drawn); count 1.
  const gx::TGXMatrix* GetWorldMatrix() override { return &FWorld; }
  // Chooses effect, technique and geometry; false when the resources lack them (not drawn).
  virtual bool SetUp(TRRTrackResources& resources, bool technicalView) = 0;

  // Applies the parameters, unless the primitive is drawn by a batch this frame.
  void BeforeRender() override;
  // World := local * the route's WorldMatrix.
  void UpdateWorldMatrix();

  virtual TRRTrackPrimitiveKind Kind() const = 0;
  TRRTrackRoute* Route() const { return FRoute; }
  const gx::TGXMatrix& LocalMatrix() const { return FLocal; }
  const gx::TGXMatrix& WorldMatrix() const { return FWorld; }
  int SegmentCount() const { return FSegments; }
  float SegmentLength() const { return FSegmentLength; }
  float StartDistance() const { return FStart; }
  float EndDistance() const { return FEnd; }
  // -1 before the first successful set-up.
  int EffectKind() const { return FEffectKind; }
  int GeometryKind() const { return FGeometryKind; }
  TRRTrackEffect* Effect() const { return FEffect; }
  TRRTrackGeometry* Geometry() const { return FGeometry; }
  bool CAD() const { return FCAD; }
  // The texture drawn with: the route's, else the resources' default (may be null).
  gx::TGXRefCounted* Texture() const { return FTexture; }
  // The roll at the start and end (twisted kinds).
  float TwistAngle0() const;
  float TwistAngle1() const;

  // Set by the batcher for the current collection: the group drawing this primitive, or null.
  void SetBatchGroup(TRRTrackBatchGroup* group) { FBatchGroup = group; }
  TRRTrackBatchGroup* BatchGroup() const { return FBatchGroup; }

 protected:
  // Takes effect, technique and geometry (index count: whole mesh or n segments).
  bool Choose(TRRTrackResources& resources, bool technicalView, int effectKind, int geometryKind);
  void ApplyCommon(TRRTrackEffectParameters& p);

  TRRTrackRoute* FRoute;
  gx::TGXMatrix FLocal;
  gx::TGXMatrix FWorld;
  int FSegments;
  float FSegmentLength;
  float FStart, FEnd;
  int FEffectKind = -1;
  int FGeometryKind = -1;
  TRRTrackEffect* FEffect = nullptr;
  TRRTrackGeometry* FGeometry = nullptr;
  bool FCAD = false;
  gx::TGXRefCounted* FTexture = nullptr;
  TRRTrackBatchGroup* FBatchGroup = nullptr;
};

class TRRLinearTrackPrimitive : public TRRTrackPrimitive {
 public:
  using TRRTrackPrimitive::TRRTrackPrimitive;
  void ApplyParameters() override;
  bool SetUp(TRRTrackResources& resources, bool technicalView) override;
  TRRTrackPrimitiveKind Kind() const override { return TRRTrackPrimitiveKind::Linear; }
};

class TRRCurvedTrackPrimitive : public TRRTrackPrimitive {
 public:
  // angle of the piece, radius in model units (signed like the angle).
  TRRCurvedTrackPrimitive(TRRTrackRoute* route, const gx::TGXMatrix& local, int segments, float segmentLength,
                          float start, float end, float angle, float radius);
  void ApplyParameters() override;
  bool SetUp(TRRTrackResources& resources, bool technicalView) override;
  TRRTrackPrimitiveKind Kind() const override { return TRRTrackPrimitiveKind::Curved; }
  float Angle() const { return FAngle; }
  float Radius() const { return FRadius; }

 private:
  float FAngle, FRadius;
};

class TRRFreeFormTrackPrimitive : public TRRTrackPrimitive {
 public:
  TRRFreeFormTrackPrimitive(TRRTrackRoute* route, const gx::TGXMatrix& local, int segments, float start,
                            float end, int firstPoint, float scale);
  void ApplyParameters() override;
  bool SetUp(TRRTrackResources& resources, bool technicalView) override;
  TRRTrackPrimitiveKind Kind() const override { return TRRTrackPrimitiveKind::FreeForm; }
  int FirstPoint() const { return FFirstPoint; }
  float Scale() const { return FScale; }

 private:
  int FFirstPoint;
  float FScale;
};

// The primitives of the route by the rules above, each with its world matrix computed.
std::vector<std::unique_ptr<TRRTrackPrimitive>> RRBuildTrackPrimitives(TRRTrackRoute& route);

// ---- batching ----

class TRRTrackBatchPrimitive;

// The straight or curved primitives of one collection that share effect, technique, geometry
// and texture.
class TRRTrackBatchGroup {
 public:
  TRRTrackEffect* Effect = nullptr;
  bool CAD = false;
  TRRTrackGeometry* Geometry = nullptr;
  gx::TGXRefCounted* Texture = nullptr;
  std::vector<TRRTrackPrimitive*> Members;
  // Batch primitives, one per RRTrackMaxInstances members (kept for reuse).
  std::vector<std::unique_ptr<TRRTrackBatchPrimitive>> Batches;
  bool FreeForm = false;
  // Members per instanced draw.
  int MaxInstances() const { return FreeForm ? RRTrackMaxFlexInstances : RRTrackMaxInstances; }
  // The group is drawn instanced in this collection.
  bool Instanced() const { return Members.size() >= size_t(RRTrackBatchThreshold); }
};

class TRRTrackBatchPrimitive : public gx::TGXRenderPrimitive {
 public:
  TRRTrackBatchPrimitive(TRRTrackBatchGroup* group, int index) : FGroup(group), FIndex(index) {}
  // Fills the instance arrays from its members and sets the instance count; 0 when
  // the group is too small (its members draw themselves).
  void BeforeRender() override;
  // The members' own world matrices are in the arrays.
  const gx::TGXMatrix* GetWorldMatrix() override { return nullptr; }
  int Index() const { return FIndex; }

 private:
  TRRTrackBatchGroup* FGroup;
  int FIndex;
};

class TRRTrackBatcher {
 public:
  // Queues a primitive that has been set up: one whose effect has the instance arrays goes into
  // its group (its batch primitives are queued as the group grows); every primitive is queued
  // itself as well.
  void Add(TRRTrackPrimitive* primitive, gx::TGXRenderQueue* queue, float distance, bool batching);
  int GroupCount() const { return FUsed; }
  const TRRTrackBatchGroup& Group(int index) const { return *FGroups.at(size_t(index)); }

 private:
  void Begin(gx::TGXRenderQueue* queue);
  TRRTrackBatchGroup* Find(TRRTrackPrimitive* primitive);

  const gx::TGXRenderQueue* FQueue = nullptr;
  uint64_t FGeneration = 0;
  std::vector<std::unique_ptr<TRRTrackBatchGroup>> FGroups;
  int FUsed = 0;
  TRRTrackBatchGroup* FLast = nullptr;
};

}  // namespace rr
