#include "app/entities/panel/RRPanelPartition.h"

#include <cmath>

#include "app/entities/panel/RRPanelSegment.h"
#include "engine/core/GXGeometry.h"

namespace rr {

TRRPanelPartition::TRRPanelPartition(const TRRPanelObjectCreation& creation, bool topLevel)
    : gx::TGXSceneNode("Partition"),
      FX0(creation.X0),
      FY0(creation.Y0),
      FX1(std::max(creation.X0, creation.X1)),
      FY1(std::max(creation.Y0, creation.Y1)),
      FTopLevel(topLevel),
      FQuadWidth(creation.QuadWidth) {
  const uint32_t w = FX1 - FX0, d = FY1 - FY0;
  // A side longer than 500 cells is split too: a zero-cell row of 100,000 points would give a
  // wall of more vertices than 16-bit indices reach.
  if (uint64_t(w) * d <= RRPanelMaxSegmentCells && w <= RRPanelMaxSegmentCells &&
      d <= RRPanelMaxSegmentCells) {
    TRRPanelObjectCreation leaf = creation;
    leaf.X1 = FX1;
    leaf.Y1 = FY1;
    FSegment = gx::TGXRef<TRRPanelSegment>(new TRRPanelSegment(leaf));
    AttachObject(FSegment.Get());
  } else {
    TRRPanelObjectCreation first = creation, second = creation;
    const float grid = static_cast<float>(creation.QuadWidth);
    gx::TGXVector3 offset{0, 0, 0};
    if (w < d) {
      const uint32_t m = FY0 + d / 2;
      first.Y1 = m;
      second.Y0 = m;
      offset = {0, 0, -static_cast<float>(m - FY0) * grid};
    } else {
      const uint32_t m = FX0 + w / 2;
      first.X1 = m;
      second.X0 = m;
      offset = {static_cast<float>(m - FX0) * grid, 0, 0};
    }
    FFirst = new TRRPanelPartition(first, false);
    AddChild(FFirst);
    FSecond = new TRRPanelPartition(second, false);
    FSecond->SetPosition(offset);
    AddChild(FSecond);
  }
  if (topLevel) FHeights.assign(size_t(w + 1) * (d + 1), 0.0f);
}

TRRPanelPartition::~TRRPanelPartition() = default;

void TRRPanelPartition::SetHeight(uint32_t x, uint32_t y, float h) {
  if (!Contains(x, y)) return;
  if (!std::isfinite(h)) h = 0;
  if (FFirst) FFirst->SetHeight(x, y, h);
  if (FSecond) FSecond->SetHeight(x, y, h);
  if (FSegment) FSegment->SetHeight(x, y, h);
  if (FTopLevel) FHeights[size_t(x - FX0) + size_t(y - FY0) * (FX1 - FX0 + 1)] = h;
}

float TRRPanelPartition::GetHeight(uint32_t x, uint32_t y) const {
  if (!Contains(x, y) || FHeights.empty()) return 0;
  return FHeights[size_t(x - FX0) + size_t(y - FY0) * (FX1 - FX0 + 1)];
}

void TRRPanelPartition::SetWeight(TRRPanelTexture& texture, uint32_t x, uint32_t y, bool normalise,
                                  uint8_t weight) {
  if (!Contains(x, y)) return;
  if (FFirst) FFirst->SetWeight(texture, x, y, normalise, weight);
  if (FSecond) FSecond->SetWeight(texture, x, y, normalise, weight);
  if (FSegment) FSegment->SetWeight(texture, x, y, normalise, weight);
}

uint8_t TRRPanelPartition::GetWeight(const TRRPanelTexture& texture, uint32_t x, uint32_t y) const {
  if (!Contains(x, y)) return 0;
  for (TRRPanelPartition* half : {FFirst, FSecond})
    if (half)
      if (const uint8_t w = half->GetWeight(texture, x, y)) return w;
  return FSegment ? FSegment->GetWeight(texture, x, y) : 0;
}

TRRPanelSegment* TRRPanelPartition::FindSegment(uint32_t x, uint32_t y, uint32_t& vertexIndex) const {
  if (!Contains(x, y)) return nullptr;
  for (TRRPanelPartition* half : {FFirst, FSecond})
    if (half)
      if (TRRPanelSegment* s = half->FindSegment(x, y, vertexIndex)) return s;
  if (FSegment && FSegment->Contains(x, y)) {
    vertexIndex = FSegment->VertexIndex(x, y);
    return FSegment.Get();
  }
  return nullptr;
}

void TRRPanelPartition::GetLayers(uint32_t x, uint32_t y, std::vector<TRRPanelLayer>& layers) const {
  uint32_t vertex = 0;
  if (TRRPanelSegment* s = FindSegment(x, y, vertex)) s->Surface().GetLayers(vertex, layers);
}

gx::TGXVector3 TRRPanelPartition::Normal(uint32_t x, uint32_t y) const {
  gx::TGXVector3 sum{0, 0, 0};
  if (FHeights.empty() || !Contains(x, y)) return sum;
  const uint32_t row = FX1 - FX0 + 1;
  auto h = [&](uint32_t a, uint32_t c) {
    const float v = FHeights[size_t(a - FX0) + size_t(c - FY0) * row];
    return v > 0 ? v : 0.0f;
  };
  const int64_t X = x, Y = y;
  for (const auto& [a, c] : {std::pair<int64_t, int64_t>{X - 1, Y - 1}, {X, Y - 1}, {X - 1, Y}, {X, Y}}) {
    if (a < FX0 || c < FY0 || a + 1 > FX1 || c + 1 > FY1) continue;
    const uint32_t ua = static_cast<uint32_t>(a), uc = static_cast<uint32_t>(c);
    const float fa = static_cast<float>(a), fc = static_cast<float>(c);
    const gx::TGXVector3 p00{fa, h(ua, uc), -fc}, p10{fa + 1, h(ua + 1, uc), -fc};
    const gx::TGXVector3 p01{fa, h(ua, uc + 1), -(fc + 1)}, p11{fa + 1, h(ua + 1, uc + 1), -(fc + 1)};
    // The triangles of the mesh, in its order and winding.
    if ((a + c) % 2 == 0) {
      sum = sum + gx::GXVec3Cross(p00 - p01, p11 - p01) + gx::GXVec3Cross(p10 - p00, p11 - p00);
    } else {
      sum = sum + gx::GXVec3Cross(p00 - p01, p10 - p01) + gx::GXVec3Cross(p11 - p10, p01 - p10);
    }
  }
  return sum;
}

void TRRPanelPartition::FinishEdit() {
  ForEachSegment([](TRRPanelSegment& s) { s.FinishEdit(); });
}

void TRRPanelPartition::UpdateBounds() {
  ForEachSegment([](TRRPanelSegment& s) { s.UpdateBounds(); });
}

void TRRPanelPartition::SetTransparent(bool value) {
  ForEachSegment([value](TRRPanelSegment& s) { s.SetTransparent(value); });
}

void TRRPanelPartition::ForEachSegment(const std::function<void(TRRPanelSegment&)>& visit) const {
  if (FFirst) FFirst->ForEachSegment(visit);
  if (FSecond) FSecond->ForEachSegment(visit);
  if (FSegment) visit(*FSegment);
}

bool TRRPanelPartition::Pick(const gx::TGXVector3& origin, const gx::TGXVector3& direction,
                             TRRPanelPickHit& hit) const {
  bool found = false;
  float best = 0;
  ForEachSegment([&](TRRPanelSegment& s) {
    gx::TGXSceneNode* node = s.Node();
    if (!node) return;
    const gx::TGXVector3 o = gx::GXVec3TransformCoord(origin, node->InverseWorldMatrix());
    const gx::TGXVector3 d = gx::GXVec3TransformNormal(direction, node->InverseWorldMatrix());
    gx::TGXVector3 point, normal;
    if (!s.RayIntersect(o, d, normal, point)) return;
    const gx::TGXVector3 world = gx::GXVec3TransformCoord(point, node->WorldMatrix());
    const float distance = gx::GXVec3LengthSq(world - origin);
    if (found && distance >= best) return;
    found = true;
    best = distance;
    hit.Segment = &s;
    hit.Point = world;
    hit.Normal = gx::GXVec3Normalize(gx::GXVec3TransformNormal(normal, node->WorldMatrix()));
  });
  return found;
}

}  // namespace rr
