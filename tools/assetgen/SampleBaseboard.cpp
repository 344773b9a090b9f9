#include "tools/assetgen/SampleBaseboard.h"

#include <algorithm>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/track/RRTrack.h"
#include "tools/assetgen/LayoutScenery.h"

namespace assetgen {

namespace {

// Built-in texture indices (list order of the built-ins after no stored texture).
constexpr int Meadow = 9, Flowers = 1, Rock = 3, Stone = 8, Snow = 7;

float Smooth(float edge0, float edge1, float x) {
  const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

}  // namespace

void AddSampleBaseboard(rr::TRREntityManager& manager, const std::vector<rr::TRRTrack*>& laid) {
  if (laid.empty()) return;
  std::vector<TBox> boxes;
  TBox all;
  for (const rr::TRRTrack* t : laid) {
    boxes.push_back(TrackBox(*t));
    all.Add(boxes.back().Min);
    all.Add(boxes.back().Max);
  }
  constexpr float margin = 90.0f;
  constexpr uint32_t q = 5;
  auto up = [](float v) { return static_cast<uint32_t>(std::ceil(v / 10.0f)) * 10; };
  rr::TRRPanelDesc desc;
  desc.Params().A = up(all.Max.x - all.Min.x + 2 * margin);
  desc.Params().B = up(all.Max.z - all.Min.z + 2 * margin);
  desc.Params().QuadWidth = q;
  desc.Params().Thickness = 5.0f;
  desc.Name().SetText(gx::GX_LANG_GERMAN, rr::RRNamePanel, true);
  // Grid point (x, y) lies at (origin.x + x q, 0, origin.z - y q); the tracks sit on the board top.
  const gx::TGXVector3 origin{std::floor(all.Min.x - margin), 0.0f, std::ceil(all.Max.z + margin)};
  desc.SetPosition(origin);
  desc.SetID(manager.NextID());
  manager.ReserveIDs(1);
  auto* panel = dynamic_cast<rr::TRRPanel*>(manager.CreateEntity(nullptr, desc));
  if (!panel) return;
  const int gravel = panel->AddTexture(rr::TRRAssetFileName("Schotter.dds", SampleGravelTexture), 0.03f);

  // Distance in plan from a point to the nearest track box.
  auto trackDistance = [&](float x, float z) {
    float best = 1e30f;
    for (const TBox& b : boxes) {
      const float dx = std::max({b.Min.x - x, 0.0f, x - b.Max.x});
      const float dz = std::max({b.Min.z - z, 0.0f, z - b.Max.z});
      best = std::min(best, std::sqrt(dx * dx + dz * dz));
    }
    return best;
  };
  const gx::TGXVector3 centre{(all.Min.x + all.Max.x) * 0.5f, 0, (all.Min.z + all.Max.z) * 0.5f};
  // The hill beyond the oval's left end, the hollow beyond its right end.
  const float hillX = all.Min.x - margin * 0.35f, hillZ = all.Max.z + margin * 0.2f;
  const float hollowX = all.Max.x + margin * 0.45f, hollowZ = all.Min.z - margin * 0.2f;
  panel->ForEachGridPoint([&](int64_t gx_, int64_t gy_) {
    const float x = origin.x + float(gx_ * q), z = origin.z - float(gy_ * q);
    const float d = trackDistance(x, z);
    const float free = Smooth(12.0f, 50.0f, d);  // 0 under and beside the tracks
    const float hx = x - hillX, hz = z - hillZ;
    const float hill = 45.0f * std::exp(-(hx * hx + hz * hz) / (2 * 55.0f * 55.0f));
    const float wx = x - hollowX, wz = z - hollowZ;
    const float r = std::sqrt(wx * wx + wz * wz);
    // A rim around the hollow; the water lies at the board top.
    const float rim = r < 38.0f ? 0.0f : 6.0f * std::exp(-(r - 45.0f) * (r - 45.0f) / (2 * 8.0f * 8.0f));
    const float h = free * (hill + rim);
    panel->SetHeight(gx_, gy_, h);
    int texture = Meadow;
    if (d < 4.0f)
      texture = gravel;
    else if (r < 36.0f && free > 0.5f)
      texture = -1;  // water
    else if (h > 34.0f)
      texture = Snow;
    else if (h > 22.0f)
      texture = Rock;
    else if (h > 14.0f)
      texture = Stone;
    else {
      const float fx = x - centre.x, fz = z - centre.z;
      if (fx * fx / (60.0f * 60.0f) + fz * fz / (25.0f * 25.0f) < 1.0f && d > 15.0f) texture = Flowers;
    }
    if (texture < 0)
      texture = panel->AddTexture(
          rr::TRRAssetFileName("Wasser.dds",
                               "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Bodentexturen\\Wasser.dds"),
          0.02f);
    panel->SetTextureWeight(texture, gx_, true, 255, gy_);
    // Soft transitions: the meadow shows through the band's and the rock's edges.
    if (texture == gravel && d > 2.0f) panel->SetTextureWeight(Meadow, gx_, true, 90, gy_);
    if (texture == Rock && h < 26.0f) panel->SetTextureWeight(Stone, gx_, true, 110, gy_);
  });
  panel->UpdateBounds();
  panel->FinishEdit();
}

}  // namespace assetgen
