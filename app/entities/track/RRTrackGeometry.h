#pragma once
// The shared drawing resources of all tracks: the segment geometries and the track effects.
//
// Tracks are not modelled piece by piece. One short straight piece of track (one world unit long
// at H0, along +Z from Z = 0) is a mesh; for the 64-segment geometries it is copied 64 times end
// to end into one vertex and one index buffer (copy i has i added to every Z), and vertex shaders
// bend the copies along a straight, an arc or the flex points of a route (RRTrackPrimitives.h).
//
// Geometries (kinds 0-2):
//   0 TRRTrackNoBedGeometry   Tracks\Track.gxmesh      64 copies
//   1 TRRTrackBedGeometry     Tracks\TrackBed.gxmesh   64 copies
//   2 TRRTrackBedLowGeometry  Tracks\TrackBed.gxmesh   the mesh as loaded (one segment)
// A segment mesh has one vertex stream of 32 bytes per vertex with the position as its first
// three singles, and at most RRTrackMaxSegmentVertices vertices (64 copies must stay addressable
// by 16-bit indices); anything else is refused with an assertion failure before any buffer is
// made. The buffers are made and filled through the abstract device, so the null device records
// them; a buffer that cannot be written raises EDirect3D ("CreateVertices" or "CreateIndices",
// "Lock failed").
//
// Effects (kinds 0-6), files under Shader\Gleise\ of the base data package:
//   0 Linear\Linear.fx                 "Length"
//   1 Linear\TwistedLinear.fx          "SegmentSize", "Length", "TwistAngle0", "TwistAngle1"
//   2 Linear\LinearLow.fx              "Length", "SegmentCount"
//   3 Curve\Curve.fx                   "SegmentSize", "Length", "Angle", "Radius"
//   4 Curve\TwistedCurve.fx            as 3 and "TwistAngle0", "TwistAngle1"
//   5 Flexible\Flexible.fx             "SegmentInfo" (float4 array), "SegmentSize"
//   6 Flexible\TwistedFlexible.fx      "SegmentInfo", "SegmentSize", "Length", "TwistAngle0", "TwistAngle1"
// and every one "DepthBias", "SpecialColor" and "DiffuseMap", a default technique and "CAD". The
// parameters are looked up once; an effect that lacks one is refused (EGXException naming it).
// Each effect has one material per technique (default and "CAD"); the primitives set its values
// right before they are drawn. Effects with the instancing arrays (see TRRTrackInstanceParameters)
// can also draw many straight or curved primitives in one call.
//
// TRRTrackResources keeps one instance of each, made on first request from its source (the
// engine's resources on the current render core, or what a test hands in). A geometry or effect
// that cannot be made is reported once and answered with null from then on: nothing half-made is
// kept, and that kind of track is simply not drawn.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXMeshData.h"
#include "engine/render/GXRenderDevice.h"
#include "engine/render/GXVertexGeometry.h"

namespace rr {

inline constexpr const char* RRTrackMeshNoBed =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Tracks\\Track.gxmesh";
inline constexpr const char* RRTrackMeshBed =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Tracks\\TrackBed.gxmesh";
inline constexpr const char* RRTrackEffectFolder =
    "Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Shader\\Gleise\\";
inline constexpr const char* RRTrackGeometrySource = "Source/Entities/Track/RRTrackGeometry";

inline constexpr int RRTrackSegmentCopies = 64;
inline constexpr uint32_t RRTrackVertexStride = 32;
inline constexpr uint32_t RRTrackMaxSegmentVertices = 1024;
inline constexpr int RRTrackGeometryKinds = 3;
inline constexpr int RRTrackEffectKinds = 7;
// Straight and curved primitives of one kind drawn in one frame from this many on become
// instanced draws (when the effect has the arrays), RRTrackMaxInstances per call at most.
inline constexpr int RRTrackBatchThreshold = 16;
inline constexpr int RRTrackMaxInstances = 64;
// Free-form primitives carry 64 flex points each: fewer of them fit into one call.
inline constexpr int RRTrackMaxFlexInstances = 16;

enum TRRTrackGeometryKind : int { RRGeometryNoBed = 0, RRGeometryBed = 1, RRGeometryBedLow = 2 };
enum TRRTrackEffectKind : int {
  RREffectLinear = 0,
  RREffectTwistedLinear = 1,
  RREffectLinearLow = 2,
  RREffectCurve = 3,
  RREffectTwistedCurve = 4,
  RREffectFlexible = 5,
  RREffectTwistedFlexible = 6,
};

// "Linear\Linear.fx", ... (relative to RRTrackEffectFolder); null for a kind outside 0-6.
const char* RRTrackEffectFile(int kind);
// The mesh file of a geometry kind; null outside 0-2.
const char* RRTrackGeometryFile(int kind);

// A loaded segment mesh: its contents (CPU copies), the device layout of its vertices and, for
// the bed-low geometry, the mesh's own drawn geometry (vertices and its first sub-mesh's indices).
struct TRRSegmentMesh {
  gx::TGXMeshData Data;
  gx::TGXRef<gx::TGXDeviceVertexDeclaration> Layout;
  gx::TGXVertexGeometry Vertices;
  gx::TGXIndexGeometry Indices;
};

// Raises the assertion failure (RRTrackGeometrySource) unless the mesh is a usable segment: one
// stream, RRTrackVertexStride bytes per vertex, the FLOAT3 position at offset 0, 1 to
// RRTrackMaxSegmentVertices vertices, a first sub-mesh with at least one triangle.
void RRCheckSegmentMesh(const gx::TGXMeshData& data);
// The box of one segment: the union of the sub-mesh bounds.
void RRSegmentBounds(const gx::TGXMeshData& data, gx::TGXVector3& min, gx::TGXVector3& max);

// ---- geometries ----

class TRRTrackGeometry {
 public:
  virtual ~TRRTrackGeometry() = default;
  TRRTrackGeometry(const TRRTrackGeometry&) = delete;
  TRRTrackGeometry& operator=(const TRRTrackGeometry&) = delete;

  const gx::TGXVertexGeometry& Vertices() const { return FVertices; }
  // The whole index range (all copies).
  const gx::TGXIndexGeometry& Indices() const { return FIndices; }
  // One segment's box, as loaded.
  const gx::TGXVector3& BoundsMin() const { return FMin; }
  const gx::TGXVector3& BoundsMax() const { return FMax; }
  // Indices of one segment (the whole index count for the bed-low geometry).
  uint32_t SegmentIndexCount() const { return FSegmentIndexCount; }

 protected:
  explicit TRRTrackGeometry(const TRRSegmentMesh& mesh);
  gx::TGXVertexGeometry FVertices;
  gx::TGXIndexGeometry FIndices;
  gx::TGXVector3 FMin, FMax;
  uint32_t FSegmentIndexCount = 0;
};

// The mesh's own buffers as they are.
class TRRSingleSegmentGeometry : public TRRTrackGeometry {
 public:
  explicit TRRSingleSegmentGeometry(const TRRSegmentMesh& mesh);
};
class TRRTrackBedLowGeometry : public TRRSingleSegmentGeometry {
 public:
  using TRRSingleSegmentGeometry::TRRSingleSegmentGeometry;
};

// 64 copies in new buffers made on the device.
class TRRMultipleSegmentsGeometry : public TRRTrackGeometry {
 public:
  TRRMultipleSegmentsGeometry(gx::TGXRenderDevice& device, const TRRSegmentMesh& mesh);
};
class TRRTrackNoBedGeometry : public TRRMultipleSegmentsGeometry {
 public:
  using TRRMultipleSegmentsGeometry::TRRMultipleSegmentsGeometry;
};
class TRRTrackBedGeometry : public TRRMultipleSegmentsGeometry {
 public:
  using TRRMultipleSegmentsGeometry::TRRMultipleSegmentsGeometry;
};

std::unique_ptr<TRRTrackGeometry> RRCreateTrackGeometry(int kind, gx::TGXRenderDevice& device,
                                                        const TRRSegmentMesh& mesh);

// ---- effects ----

// The sources of one material that the primitives set (null where the kind has no such
// parameter).
struct TRRTrackEffectParameters {
  gx::TGXEffectValueSource* DepthBias = nullptr;
  gx::TGXEffectValueSource* SpecialColor = nullptr;
  gx::TGXEffectTextureSource* DiffuseMap = nullptr;
  gx::TGXEffectValueSource* Length = nullptr;
  gx::TGXEffectValueSource* SegmentSize = nullptr;
  gx::TGXEffectValueSource* SegmentCount = nullptr;
  gx::TGXEffectValueSource* Angle = nullptr;
  gx::TGXEffectValueSource* Radius = nullptr;
  gx::TGXEffectValueSource* TwistAngle0 = nullptr;
  gx::TGXEffectValueSource* TwistAngle1 = nullptr;
  gx::TGXEffectValueSource* SegmentInfo = nullptr;
};

// The arrays an effect declares to draw many primitives at once: "InstanceWorld"
// (float4x4[64], each primitive's world matrix), "InstanceColor" (float4[64], "SpecialColor"),
// "InstanceData" (float4[64]: segment count n, segment size s, length, depth bias) and
// "InstanceShape" (float4[64]: angle, radius, twist angle 0, twist angle 1), and the switch
// "Instanced" (single, 1 while they are used) and "SegmentVertices" (single, the vertices of one
// segment copy; large for the one-segment geometry); kinds 5 and 6 also "InstanceSegmentInfo"
// (float4[1024]: 64 flex points per primitive, 16 primitives per call). The shader draws instance
// gl_InstanceID with those values and collapses copies at or past n.
struct TRRTrackInstanceParameters {
  gx::TGXEffectValueSource* World = nullptr;
  gx::TGXEffectValueSource* Color = nullptr;
  gx::TGXEffectValueSource* Data = nullptr;
  gx::TGXEffectValueSource* Shape = nullptr;
  gx::TGXEffectValueSource* Instanced = nullptr;
  gx::TGXEffectValueSource* SegmentVertices = nullptr;
  // Flexible kinds: "InstanceSegmentInfo" (float4[16 * 64], 64 flex points per primitive).
  gx::TGXEffectValueSource* SegmentInfo = nullptr;
  bool Complete() const { return World && Color && Data && Shape && Instanced && SegmentVertices; }
};

class TRRTrackEffect {
 public:
  // The effect must be loaded. Raises EGXException (effect class name, "Create", "Parameter
  // missing: <name>" / "No valid technique found") when something the kind needs is missing.
  TRRTrackEffect(int kind, gx::IGXEffect effect);
  virtual ~TRRTrackEffect();
  TRRTrackEffect(const TRRTrackEffect&) = delete;
  TRRTrackEffect& operator=(const TRRTrackEffect&) = delete;

  int Kind() const { return FKind; }
  const gx::IGXEffect& Effect() const { return FEffect; }
  // The effect's default technique, and "CAD" (the default one when the effect has none).
  gx::TGXEffectTechnique* DefaultTechnique() const { return FTechniques[0]; }
  gx::TGXEffectTechnique* CADTechnique() const { return FTechniques[1]; }
  gx::TGXEffectTechnique* Technique(bool cad) const { return FTechniques[cad ? 1 : 0]; }
  // The material drawn with the technique, and its sources.
  const gx::IGXMaterial& Material(bool cad) const { return FMaterials[cad ? 1 : 0]; }
  TRRTrackEffectParameters& Parameters(bool cad) { return FParameters[cad ? 1 : 0]; }
  TRRTrackInstanceParameters& InstanceParameters(bool cad) { return FInstance[cad ? 1 : 0]; }
  // The elements of "SegmentInfo" (0 for the kinds without it).
  int SegmentInfoCapacity() const { return FSegmentInfoCapacity; }

 private:
  int FKind;
  gx::IGXEffect FEffect;
  std::array<gx::TGXEffectTechnique*, 2> FTechniques{};
  std::array<gx::IGXMaterial, 2> FMaterials;
  std::array<TRRTrackEffectParameters, 2> FParameters;
  std::array<TRRTrackInstanceParameters, 2> FInstance;
  int FSegmentInfoCapacity = 0;
};

class TRRLinearEffect : public TRRTrackEffect {
 public:
  explicit TRRLinearEffect(gx::IGXEffect e) : TRRTrackEffect(RREffectLinear, std::move(e)) {}
};
class TRRTwistedLinearEffect : public TRRTrackEffect {
 public:
  explicit TRRTwistedLinearEffect(gx::IGXEffect e) : TRRTrackEffect(RREffectTwistedLinear, std::move(e)) {}
};
class TRRLinearLowEffect : public TRRTrackEffect {
 public:
  explicit TRRLinearLowEffect(gx::IGXEffect e) : TRRTrackEffect(RREffectLinearLow, std::move(e)) {}
};
class TRRCurveEffect : public TRRTrackEffect {
 public:
  explicit TRRCurveEffect(gx::IGXEffect e) : TRRTrackEffect(RREffectCurve, std::move(e)) {}
};
class TRRTwistedCurveEffect : public TRRTrackEffect {
 public:
  explicit TRRTwistedCurveEffect(gx::IGXEffect e) : TRRTrackEffect(RREffectTwistedCurve, std::move(e)) {}
};
class TRRFlexibleEffect : public TRRTrackEffect {
 public:
  explicit TRRFlexibleEffect(gx::IGXEffect e) : TRRTrackEffect(RREffectFlexible, std::move(e)) {}
};
class TRRTwistedFlexibleEffect : public TRRTrackEffect {
 public:
  explicit TRRTwistedFlexibleEffect(gx::IGXEffect e)
      : TRRTrackEffect(RREffectTwistedFlexible, std::move(e)) {}
};

std::unique_ptr<TRRTrackEffect> RRCreateTrackEffect(int kind, gx::IGXEffect effect);

// ---- the shared set ----

class TRRTrackBatcher;
class TRRContactLineTemplate;

class TRRTrackResources {
 public:
  // Where geometries, effects and the default texture come from. Without a device nothing is
  // made and nothing is reported (a run without a render core draws no track).
  struct TSource {
    gx::TGXRenderDevice* Device = nullptr;
    // The segment mesh of the file; raises when it cannot be loaded.
    std::function<TRRSegmentMesh(const std::string& fileName)> LoadMesh;
    // The loaded effect of the file; raises when it cannot be loaded.
    std::function<gx::IGXEffect(const std::string& fileName)> LoadEffect;
    // The default track texture; null when there is none.
    std::function<gx::TGXRef<gx::TGXRefCounted>()> LoadDefaultTexture;
    // Told once about each geometry or effect that cannot be made (German text).
    std::function<void(const std::string& message)> Report;
    // Told the segment box whenever TrackBed.gxmesh has been loaded.
    std::function<void(const gx::TGXVector3& min, const gx::TGXVector3& max)> SegmentShapeLoaded;
    // The device layout of position-only vertices for the contact markers (none: no layout).
    std::function<gx::TGXRef<gx::TGXDeviceVertexDeclaration>()> LineLayout;
    // The material of a marker colour (none: the material generator's, RRContactLine.h).
    std::function<gx::IGXMaterial(const gx::TGXVector3& colour)> MakeLineMaterial;
  };

  explicit TRRTrackResources(TSource source);
  ~TRRTrackResources();
  TRRTrackResources(const TRRTrackResources&) = delete;
  TRRTrackResources& operator=(const TRRTrackResources&) = delete;

  // The engine's resources on the current render core (no device without one): meshes and
  // effects through the resource manager, the default texture from the base data package (a
  // grey one made in memory when that file is missing), the segment box to RRSetTrackSegmentShape.
  static TSource EngineSource(std::function<void(const std::string&)> report);

  // Null for a kind outside the range, without a device, or when it cannot be made.
  TRRTrackGeometry* Geometry(int kind);
  TRRTrackEffect* Effect(int kind);
  // Null without a device or texture.
  gx::TGXRefCounted* DefaultTexture();
  // The shared line of the contact markers, made once; null without a device or when its
  // buffer cannot be made (reported once).
  TRRContactLineTemplate* ContactLine();
  int ReportCount() const { return FReports; }

  // Batching of straight and curved primitives (on unless switched off).
  bool Batching() const { return FBatching; }
  void SetBatching(bool value) { FBatching = value; }
  TRRTrackBatcher& Batcher() { return *FBatcher; }

 private:
  void Report(const std::string& what, const std::exception& e);

  TSource FSource;
  std::array<std::unique_ptr<TRRTrackGeometry>, RRTrackGeometryKinds> FGeometries;
  std::array<bool, RRTrackGeometryKinds> FGeometryFailed{};
  std::array<std::unique_ptr<TRRTrackEffect>, RRTrackEffectKinds> FEffects;
  std::array<bool, RRTrackEffectKinds> FEffectFailed{};
  bool FTextureTried = false;
  std::unique_ptr<TRRContactLineTemplate> FContactLine;
  bool FContactLineFailed = false;
  gx::TGXRef<gx::TGXRefCounted> FDefaultTexture;
  int FReports = 0;
  bool FBatching = true;
  std::unique_ptr<TRRTrackBatcher> FBatcher;
};

}  // namespace rr
