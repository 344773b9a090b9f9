// Panel payloads read from arbitrary bytes (after an empty base payload): a payload that reads
// becomes a panel, or is refused with an exception before any panel exists; a panel's
// description builds a second panel with the same record, texture list, heights and layers.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "app/entities/panel/RRPanel.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gx::TGXMemoryStream s;
  rr::TRREntityDescription base;
  base.rr::TRREntityDescription::SaveToStream(s);
  s.WriteBuffer(data, static_cast<int64_t>(size));
  s.SetPosition(0);
  rr::TRRPanelDesc desc;
  try {
    desc.LoadFromStream(s);
  } catch (const std::runtime_error&) {
    return 0;
  }
  // Large boards are sound input but slow to fuzz.
  if (rr::RRPanelMinGridDataSize(desc.Params()) > 8 * 65536) return 0;
  std::unique_ptr<rr::TRRPanel> panel;
  try {
    panel = std::make_unique<rr::TRRPanel>(nullptr, nullptr, desc);
  } catch (const std::runtime_error&) {
    return 0;  // refused as a whole
  }
  std::unique_ptr<rr::TRREntityDescription> back = panel->CreateDescription();
  auto* d = dynamic_cast<rr::TRRPanelDesc*>(back.get());
  if (!d) __builtin_trap();
  rr::TRRPanel again(nullptr, nullptr, *d);
  if (!(again.Params() == panel->Params()) || again.TextureCount() != panel->TextureCount()) __builtin_trap();
  std::vector<uint32_t> a, b;
  panel->ForEachGridPoint([&](int64_t x, int64_t y) {
    const float h = panel->GetHeight(x, y);
    if (!std::isfinite(h) || again.GetHeight(x, y) != h) __builtin_trap();
    panel->GetPointLayers(x, y, a);
    again.GetPointLayers(x, y, b);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    if (a != b) __builtin_trap();
  });
  return 0;
}
