// Height files from arbitrary bytes into a small L-shaped panel: the first byte chooses picture or
// text and the origin; a file that reads imports, one that does not is refused before the panel
// changes. Heights stay finite and the panel's export reads back.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelHeightFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  rr::TRRPanelDesc desc;
  desc.Params().Shape = 1;
  desc.Params().A = 200, desc.Params().B = 100, desc.Params().C = 50, desc.Params().D = 40;
  desc.Params().QuadWidth = 10;
  rr::TRRPanel panel(nullptr, nullptr, desc);
  panel.SetHeight(1, 1, 3.0f);
  const auto kind = (data[0] & 1) ? rr::TRRHeightFileKind::Picture : rr::TRRHeightFileKind::Text;
  const int64_t origin = int64_t(int8_t(data[0])) >> 1;
  rr::TRRHeightFile file;
  try {
    file = rr::RRReadHeightFile(std::span<const uint8_t>(data + 1, size - 1), kind);
  } catch (const std::runtime_error&) {
    if (panel.GetHeight(1, 1) != 3.0f) __builtin_trap();
    return 0;
  }
  rr::RRImportPanelHeights(panel, file, 0.0f, 50.0f, origin, -origin);
  panel.ForEachGridPoint([&](int64_t x, int64_t y) {
    if (!std::isfinite(panel.GetHeight(x, y))) __builtin_trap();
  });
  float lo, hi;
  const std::vector<uint8_t> text = rr::RRExportPanelHeights(panel, rr::TRRHeightExportFormat::Text, lo, hi);
  if (!std::isfinite(lo) || !std::isfinite(hi)) __builtin_trap();
  rr::TRRPanel other(nullptr, nullptr, desc);
  rr::RRImportPanelHeights(other, rr::RRReadHeightFile(text, rr::TRRHeightFileKind::Text), 0, 0, 0, 0);
  panel.ForEachGridPoint([&](int64_t x, int64_t y) {
    if (std::fabs(other.GetHeight(x, y) - panel.GetHeight(x, y)) >
        0.0005f + std::fabs(panel.GetHeight(x, y)) * 1e-6f)
      __builtin_trap();
  });
  return 0;
}
