#include "app/entities/panel/RRPanelShape.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace rr {

TRRPanelParams RRPanelShapePageDefaults() {
  TRRPanelParams p;
  p.Shape = 0;
  p.A = 300, p.B = 150, p.C = 80, p.D = 70, p.E = 80, p.F = 150;
  p.QuadWidth = 10;
  p.Thickness = 5.0f;
  return p;
}

bool RRSamePanelOutline(const TRRPanelParams& a, const TRRPanelParams& b) {
  if (a.Shape != b.Shape || a.A != b.A || a.B != b.B) return false;
  if (a.Shape > 0 && (a.C != b.C || a.D != b.D)) return false;
  return a.Shape != 3 || (a.E == b.E && a.F == b.F);
}

uint64_t RRPanelShapeArea(const TRRPanelParams& p) {
  const uint64_t A = p.A, B = p.B, C = p.C, D = std::min(p.D, p.B), E = p.E, F = p.F;
  switch (p.Shape) {
    case 0:
      return A * B;
    case 1:
    case 2:
      return (B - D) * A + D * C;
    case 3:
      return (B - D) * A + D * C + (F > B - D ? (F - (B - D)) * E : 0);
    default:
      return 0;
  }
}

TRRPanelShapeResult RRNormalisePanelShape(const TRRPanelParams& input) {
  TRRPanelShapeResult r;
  TRRPanelParams p = input;
  if (p.Shape > 3) p.Shape = 0;
  auto clampValue = [](uint32_t& v) { v = std::clamp<uint32_t>(v, 1, RRPanelMaxDimension); };
  for (uint32_t* v : {&p.A, &p.B, &p.C, &p.D, &p.E, &p.F}) clampValue(*v);
  // L and U outlines need room for their cut-outs (C = A - 1, D = B - 1, E up to A - 2); a
  // rectangle of 1 x 1 cm is a board like any other.
  if (p.Shape != 0) {
    p.A = std::max<uint32_t>(p.A, p.Shape == 3 ? 3 : 2);
    p.B = std::max<uint32_t>(p.B, 2);
  }
  uint32_t g = 0;
  if (p.Shape == 0) {
    p.C = p.D = p.E = p.F = 0;
    g = std::gcd(p.A, p.B);
  } else if (p.Shape <= 2) {
    if (p.C >= p.A) p.C = p.A - 1;
    if (p.D >= p.B) p.D = p.B - 1;
    p.E = p.F = 0;
    g = std::gcd(std::gcd(p.A, p.B), std::gcd(p.C, p.D));
  } else {
    // E first, so that A - E - 1 stays at least 1.
    if (p.E > p.A - 2) p.E = p.A - 2;
    if (p.C >= p.A - p.E) p.C = p.A - p.E - 1;
    if (p.E >= p.A - p.C) p.E = p.A - p.C - 1;
    if (p.D >= p.B) p.D = p.B - 1;
    if (p.B - p.D >= p.F) p.F = p.B - p.D + 1;
    for (uint32_t* v : {&p.C, &p.D, &p.E, &p.F}) clampValue(*v);
    g = std::gcd(std::gcd(std::gcd(p.A, p.B), std::gcd(p.C, p.D)), std::gcd(p.E, p.F));
  }
  const uint64_t area = RRPanelShapeArea(p);
  for (uint32_t n = 1; n <= g; ++n) {
    if (g % n) continue;
    TRRPanelParams candidate = p;
    candidate.QuadWidth = n;
    candidate.Thickness =
        std::clamp(std::isfinite(p.Thickness) ? p.Thickness : 5.0f, RRPanelMinThickness, RRPanelMaxThickness);
    if (RRCheckPanelParams(candidate)) r.Candidates.push_back(n);
  }
  p.QuadWidth = r.Candidates.empty() ? g : r.Candidates.back();
  for (uint32_t n : r.Candidates)
    if (area / n < 10000) {
      p.QuadWidth = n;
      break;
    }
  r.Params = p;
  return r;
}

}  // namespace rr
