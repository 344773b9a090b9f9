#include "app/entities/track/RRTrackPrimitives.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXException.h"
#include "engine/render/GXGLRenderDevice.h"
#include "engine/render/GXTexture.h"

namespace rr {

namespace {

void Set(gx::TGXEffectValueSource* source, float value) {
  if (source) source->SetRaw(&value, 4);
}

// A texture resource goes to the source as a resource, a device texture (the grey default made
// in memory) as one; anything else clears it.
void SetDiffuse(gx::TGXEffectTextureSource* source, gx::TGXRefCounted* texture) {
  if (!source) return;
  if (auto* resource = dynamic_cast<gx::TGXTexture*>(texture)) {
    if (source->GetTexture() != resource) source->SetTexture(gx::IGXTexture(resource));
    return;
  }
  if (source->GetTexture()) source->SetTexture(nullptr);
  auto* device = dynamic_cast<gx::TGXGLTexture*>(texture);
  if (source->DeviceTexture() != device) source->SetDeviceTexture(gx::TGXRef<gx::TGXGLTexture>(device));
}

}  // namespace

// ---- primitives ----

TRRTrackPrimitive::TRRTrackPrimitive(TRRTrackRoute* route, const gx::TGXMatrix& local, int segments,
                                     float segmentLength, float start, float end)
    : FRoute(route),
      FLocal(local),
      FSegments(segments),
      FSegmentLength(segmentLength),
      FStart(start),
      FEnd(end) {
  UpdateWorldMatrix();
}

void TRRTrackPrimitive::UpdateWorldMatrix() { FWorld = FLocal * FRoute->WorldMatrix(); }

float TRRTrackPrimitive::TwistAngle0() const { return FRoute->RollAt(FStart); }
float TRRTrackPrimitive::TwistAngle1() const { return FRoute->RollAt(FEnd); }

bool TRRTrackPrimitive::Choose(TRRTrackResources& resources, bool technicalView, int effectKind,
                               int geometryKind) {
  TRRTrackEffect* effect = resources.Effect(effectKind);
  TRRTrackGeometry* geometry = resources.Geometry(geometryKind);
  if (!effect || !geometry) return false;
  if (geometry != FGeometry) {
    VertexGeometry = geometry->Vertices();
    IndexGeometry = geometry->Indices();
    FGeometry = geometry;
  }
  if (geometryKind != RRGeometryBedLow)
    IndexGeometry->IndexCount = uint32_t(FSegments) * geometry->SegmentIndexCount();
  if (effect != FEffect || technicalView != FCAD || !Material) Material = effect->Material(technicalView);
  FEffect = effect;
  FCAD = technicalView;
  FEffectKind = effectKind;
  FGeometryKind = geometryKind;
  FTexture = FRoute->Texture().Get();
  if (!FTexture) FTexture = resources.DefaultTexture();
  InstanceCount = 1;
  return true;
}

void TRRTrackPrimitive::ApplyCommon(TRRTrackEffectParameters& p) {
  Set(p.DepthBias, FRoute->DepthBias());
  p.SpecialColor->SetRaw(&FRoute->Colour(), 16);
  SetDiffuse(p.DiffuseMap, FTexture);
  if (gx::TGXEffectValueSource* instanced = FEffect->InstanceParameters(FCAD).Instanced) Set(instanced, 0);
}

void TRRTrackPrimitive::ApplyParameters() {}

void TRRTrackPrimitive::BeforeRender() {
  if (!FEffect) {
    InstanceCount = 0;
    return;
  }
  if (FBatchGroup && FBatchGroup->Instanced()) {
    InstanceCount = 0;
    return;
  }
  InstanceCount = 1;
  ApplyParameters();
}

bool TRRLinearTrackPrimitive::SetUp(TRRTrackResources& resources, bool technicalView) {
  const bool twisted = FRoute->IsTwisted();
  const bool bed = FRoute->HasBed();
  const int effect = twisted ? RREffectTwistedLinear : bed ? RREffectLinearLow : RREffectLinear;
  const int geometry = !bed ? RRGeometryNoBed : twisted ? RRGeometryBed : RRGeometryBedLow;
  return Choose(resources, technicalView, effect, geometry);
}

void TRRLinearTrackPrimitive::ApplyParameters() {
  TRRTrackEffectParameters& p = FEffect->Parameters(FCAD);
  ApplyCommon(p);
  const float s = FSegmentLength, n = float(FSegments);
  switch (FEffectKind) {
    case RREffectLinear:
      Set(p.Length, s);
      break;
    case RREffectTwistedLinear:
      Set(p.SegmentSize, s);
      Set(p.Length, n * s);
      Set(p.TwistAngle0, TwistAngle0());
      Set(p.TwistAngle1, TwistAngle1());
      break;
    case RREffectLinearLow:
      Set(p.Length, n * s);
      Set(p.SegmentCount, n);
      break;
  }
}

TRRCurvedTrackPrimitive::TRRCurvedTrackPrimitive(TRRTrackRoute* route, const gx::TGXMatrix& local,
                                                 int segments, float segmentLength, float start, float end,
                                                 float angle, float radius)
    : TRRTrackPrimitive(route, local, segments, segmentLength, start, end), FAngle(angle), FRadius(radius) {}

bool TRRCurvedTrackPrimitive::SetUp(TRRTrackResources& resources, bool technicalView) {
  return Choose(resources, technicalView, FRoute->IsTwisted() ? RREffectTwistedCurve : RREffectCurve,
                FRoute->HasBed() ? RRGeometryBed : RRGeometryNoBed);
}

void TRRCurvedTrackPrimitive::ApplyParameters() {
  TRRTrackEffectParameters& p = FEffect->Parameters(FCAD);
  ApplyCommon(p);
  Set(p.SegmentSize, FSegmentLength);
  Set(p.Length, float(FSegments) * FSegmentLength);
  Set(p.Angle, FAngle);
  Set(p.Radius, FRadius);
  if (FEffectKind == RREffectTwistedCurve) {
    Set(p.TwistAngle0, TwistAngle0());
    Set(p.TwistAngle1, TwistAngle1());
  }
}

TRRFreeFormTrackPrimitive::TRRFreeFormTrackPrimitive(TRRTrackRoute* route, const gx::TGXMatrix& local,
                                                     int segments, float start, float end, int firstPoint,
                                                     float scale)
    : TRRTrackPrimitive(route, local, segments, route->GetSpacing() / scale, start, end),
      FFirstPoint(firstPoint),
      FScale(scale) {}

bool TRRFreeFormTrackPrimitive::SetUp(TRRTrackResources& resources, bool technicalView) {
  return Choose(resources, technicalView, FRoute->IsTwisted() ? RREffectTwistedFlexible : RREffectFlexible,
                FRoute->HasBed() ? RRGeometryBed : RRGeometryNoBed);
}

void TRRFreeFormTrackPrimitive::ApplyParameters() {
  TRRTrackEffectParameters& p = FEffect->Parameters(FCAD);
  const TRRFlexPointArray& points = FRoute->FlexPoints();
  // The effects refuse arrays shorter than a chunk's points, and the route rebuilds before its
  // points change: both can only fail through a programming error.
  if (FEffect->SegmentInfoCapacity() < FSegments + 1 || size_t(FFirstPoint + FSegments) >= points.size())
    gx::GXAssertionFailed(RRTrackGeometrySource, __LINE__);
  ApplyCommon(p);
  p.SegmentInfo->SetRaw(&points[size_t(FFirstPoint)], uint32_t(FSegments + 1) * 16);
  Set(p.SegmentSize, FScale);
  if (FEffectKind == RREffectTwistedFlexible) {
    Set(p.Length, FScale * float(FSegments));
    Set(p.TwistAngle0, TwistAngle0());
    Set(p.TwistAngle1, TwistAngle1());
  }
}

// ---- building ----

std::vector<std::unique_ptr<TRRTrackPrimitive>> RRBuildTrackPrimitives(TRRTrackRoute& route) {
  std::vector<std::unique_ptr<TRRTrackPrimitive>> out;
  const float scale = route.Scale();
  const gx::TGXMatrix s = gx::GXMatrixScaling(scale, scale, scale);

  if (route.IsFlexible()) {
    const TRRFlexPointArray& points = route.FlexPoints();
    const int segments = points.size() < 2 ? 0 : int(std::min<size_t>(points.size() - 1, size_t(1) << 30));
    const float spacing = route.GetSpacing();
    const gx::TGXMatrix local = s * route.RouteTransform();
    for (int c = 0; c < segments; c += RRMaxFlexChunkSegments) {
      const int k = std::min(RRMaxFlexChunkSegments, segments - c);
      out.push_back(std::make_unique<TRRFreeFormTrackPrimitive>(&route, local, k, float(c) * spacing,
                                                                float(c + k) * spacing, c, scale));
    }
    return out;
  }

  // A straight stretch [from, from + length] in chunks of at most 64 segments.
  auto straight = [&](float from, float length) {
    const int n = route.SegmentCount(length);
    if (n <= 0) return;
    const float g = length / float(n);
    for (int c = 0; c < n; c += RRMaxChunkSegments) {
      const int k = std::min(RRMaxChunkSegments, n - c);
      const float start = from + float(c) * g;
      out.push_back(std::make_unique<TRRLinearTrackPrimitive>(&route, s * route.GetFrame(start, true), k,
                                                              g / scale, start, start + float(k) * g));
    }
  };

  const float l1 = route.L1();
  const float h0 = route.HiddenStart(), h1 = route.HiddenEnd();
  if (h0 > 0 && h1 > 0) {
    const float a = std::clamp(h0, 0.0f, l1);
    const float b = std::clamp(h1, a, l1);
    straight(0, a);
    straight(b, l1 - b);
  } else {
    straight(0, l1);
  }

  // The arc: the signed radius makes the arc length positive whatever the signs.
  const float radius = route.ArcRadius();
  const float arc = route.Angle() * radius;
  const int total = route.SegmentCount(arc);
  int h = total;
  if (h > 0) {
    int pieces = 1;
    float pieceAngle = route.Angle();
    // An arc longer than the segment limit keeps the limit's segments (longer ones), so the
    // halving ends after a few steps instead of splitting an absurd arc into millions of pieces.
    while (h > RRMaxChunkSegments) {
      pieceAngle *= 0.5f;
      pieces *= 2;
      h = std::min(route.SegmentCount(pieceAngle * radius), (total + pieces - 1) / pieces);
    }
    if (h > 0) {
      const float pieceArc = pieceAngle * radius;
      const float g = pieceArc / float(h);
      for (int i = 0; i < pieces; ++i) {
        const float start = l1 + float(i) * pieceArc;
        out.push_back(std::make_unique<TRRCurvedTrackPrimitive>(&route, s * route.GetFrame(start, true), h,
                                                                g / scale, start, start + pieceArc,
                                                                pieceAngle, radius / scale));
      }
    }
  }

  straight(l1 + std::max(arc, 0.0f), route.L2());
  return out;
}

// ---- batching ----

void TRRTrackBatchPrimitive::BeforeRender() {
  const size_t max = size_t(FGroup->MaxInstances());
  const size_t first = size_t(FIndex) * max;
  if (!FGroup->Instanced() || first >= FGroup->Members.size()) {
    InstanceCount = 0;
    return;
  }
  const size_t count = std::min(max, FGroup->Members.size() - first);
  TRRTrackEffect* effect = FGroup->Effect;
  TRRTrackInstanceParameters& ip = effect->InstanceParameters(FGroup->CAD);
  float world[RRTrackMaxInstances * 16], color[RRTrackMaxInstances * 4], data[RRTrackMaxInstances * 4],
      shape[RRTrackMaxInstances * 4];
  int longest = 0;
  // Flex points of free-form members, 64 per member.
  static thread_local std::vector<TRRFlexPoint> info;
  if (FGroup->FreeForm) info.assign(count * RRTrackSegmentCopies, TRRFlexPoint());
  for (size_t i = 0; i < count; ++i) {
    const TRRTrackPrimitive* m = FGroup->Members[first + i];
    const TRRTrackRoute* r = m->Route();
    std::memcpy(world + i * 16, &m->WorldMatrix(), 64);
    std::memcpy(color + i * 4, &r->Colour(), 16);
    longest = std::max(longest, m->SegmentCount());
    const float n = float(m->SegmentCount());
    float s = m->SegmentLength();
    const auto* curved = dynamic_cast<const TRRCurvedTrackPrimitive*>(m);
    if (const auto* free = dynamic_cast<const TRRFreeFormTrackPrimitive*>(m)) {
      // As the single draw sets them: the scale as segment size, scale * n as length.
      s = free->Scale();
      const TRRFlexPointArray& points = r->FlexPoints();
      std::copy_n(points.begin() + free->FirstPoint(), m->SegmentCount() + 1,
                  info.begin() + i * RRTrackSegmentCopies);
    }
    data[i * 4 + 0] = n;
    data[i * 4 + 1] = s;
    data[i * 4 + 2] = n * s;
    data[i * 4 + 3] = r->DepthBias();
    shape[i * 4 + 0] = curved ? curved->Angle() : 0.0f;
    shape[i * 4 + 1] = curved ? curved->Radius() : 0.0f;
    shape[i * 4 + 2] = m->TwistAngle0();
    shape[i * 4 + 3] = m->TwistAngle1();
  }
  const auto n = uint32_t(count);
  ip.World->SetRaw(world, n * 64);
  ip.Color->SetRaw(color, n * 16);
  ip.Data->SetRaw(data, n * 16);
  ip.Shape->SetRaw(shape, n * 16);
  if (FGroup->FreeForm) ip.SegmentInfo->SetRaw(info.data(), uint32_t(info.size() * sizeof(TRRFlexPoint)));
  Set(ip.Instanced, 1);
  const TRRTrackGeometry* g = FGroup->Geometry;
  const bool single = g->SegmentIndexCount() == g->Indices().IndexCount;
  Set(ip.SegmentVertices, single ? 1e9f : float(g->Vertices().VertexCount / RRTrackSegmentCopies));
  // Only the copies the longest member needs.
  if (!single) IndexGeometry->IndexCount = uint32_t(longest) * g->SegmentIndexCount();
  SetDiffuse(effect->Parameters(FGroup->CAD).DiffuseMap, FGroup->Texture);
  InstanceCount = n;
}

void TRRTrackBatcher::Begin(gx::TGXRenderQueue* queue) {
  FQueue = queue;
  FGeneration = queue->Generation();
  for (int i = 0; i < FUsed; ++i) FGroups[size_t(i)]->Members.clear();
  FUsed = 0;
  FLast = nullptr;
}

TRRTrackBatchGroup* TRRTrackBatcher::Find(TRRTrackPrimitive* p) {
  auto same = [p](const TRRTrackBatchGroup* g) {
    return g->Effect == p->Effect() && g->CAD == p->CAD() && g->Geometry == p->Geometry() &&
           g->Texture == p->Texture();
  };
  if (FLast && same(FLast)) return FLast;
  for (int i = 0; i < FUsed; ++i)
    if (same(FGroups[size_t(i)].get())) return FLast = FGroups[size_t(i)].get();
  if (size_t(FUsed) == FGroups.size()) FGroups.push_back(std::make_unique<TRRTrackBatchGroup>());
  TRRTrackBatchGroup* g = FGroups[size_t(FUsed++)].get();
  g->Effect = p->Effect();
  g->CAD = p->CAD();
  g->Geometry = p->Geometry();
  g->Texture = p->Texture();
  g->FreeForm = p->Kind() == TRRTrackPrimitiveKind::FreeForm;
  g->Members.clear();
  return FLast = g;
}

void TRRTrackBatcher::Add(TRRTrackPrimitive* primitive, gx::TGXRenderQueue* queue, float distance,
                          bool batching) {
  if (queue != FQueue || queue->Generation() != FGeneration) Begin(queue);
  primitive->SetBatchGroup(nullptr);
  queue->Add(primitive, 0, distance);
  if (!batching || !primitive->Effect() ||
      !primitive->Effect()->InstanceParameters(primitive->CAD()).Complete())
    return;
  TRRTrackBatchGroup* g = Find(primitive);
  const size_t index = g->Members.size();
  g->Members.push_back(primitive);
  primitive->SetBatchGroup(g);
  const size_t max = size_t(g->MaxInstances());
  if (index % max != 0) return;
  const size_t b = index / max;
  if (b >= g->Batches.size()) g->Batches.push_back(std::make_unique<TRRTrackBatchPrimitive>(g, int(b)));
  TRRTrackBatchPrimitive* batch = g->Batches[b].get();
  batch->Material = primitive->Material;
  if (!batch->VertexGeometry || batch->VertexGeometry->Buffers != g->Geometry->Vertices().Buffers)
    batch->VertexGeometry = g->Geometry->Vertices();
  batch->IndexGeometry = g->Geometry->Indices();
  queue->Add(batch, 0, distance);
}

}  // namespace rr
