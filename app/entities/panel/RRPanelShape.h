#pragma once
// The rules of the panel's shape page (also used by `velmora-cli new`): normalising the outline's
// dimensions and offering the grid spacings that divide all of them.

#include <cstdint>
#include <vector>

#include "app/entities/panel/RRPanel.h"

namespace rr {

// The page's defaults for a new project: shape 0, A 300, B 150, C 80, D 70, E 80, F 150, grid 10,
// thickness 5.
TRRPanelParams RRPanelShapePageDefaults();

struct TRRPanelShapeResult {
  // The normalised record; QuadWidth is the selected candidate.
  TRRPanelParams Params;
  // Every divisor of the dimensions' greatest common divisor whose grid stays within the point
  // cap, increasing.
  std::vector<uint32_t> Candidates;
};

// Normalises the record's dimensions for its shape (values clamped to 1 ... 100000 cm first; L:
// C < A, D < B; U: E <= A - 2, C < A - E, E < A - C, D < B, F > B - D) and selects the smallest
// candidate n with area / n < 10000, else the largest. The dimensions a shape does not use are
// zeroed (rectangle C..F, L E and F), as the page does on closing. Thickness is kept.
TRRPanelShapeResult RRNormalisePanelShape(const TRRPanelParams& params);

// The outline's area in square centimetres (64-bit).
uint64_t RRPanelShapeArea(const TRRPanelParams& params);

// The same outline: shape, A, B and what the shape uses of C ... F (a rectangle's C ... F mean
// nothing). Grid and thickness are not compared.
bool RRSamePanelOutline(const TRRPanelParams& a, const TRRPanelParams& b);

}  // namespace rr
