// A parameter file of arbitrary bytes read and converted: the reader never raises and keeps its
// limits, and every piece the conversion accepts is a sound track description - a type that
// fits its routes, finite route numbers, a route count within the description's limit, a record
// that reads back - and builds as a route whose ends lie where the conversion says.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/RRTrackLibrary.h"
#include "app/RRTrackLibraryConvert.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  rr::TRRTrackLibraryFile file = rr::RRReadTrackLibrary(bytes, "fuzz.xtp");
  if (file.Definitions.size() > static_cast<size_t>(rr::RRMaxTrackLibraryDefinitions)) __builtin_trap();
  for (const rr::TRRTrackLibraryDefinition& d : file.Definitions)
    if (d.EndPoints.size() > static_cast<size_t>(rr::RRMaxTrackLibraryItems) ||
        d.Segments.size() > static_cast<size_t>(rr::RRMaxTrackLibraryItems) ||
        d.Paths.size() > static_cast<size_t>(rr::RRMaxTrackLibraryItems))
      __builtin_trap();
  for (const rr::TRRTrackLibraryPiece& p : rr::RRConvertTrackLibrary(file)) {
    if (!p.Description) {
      if (p.Refusal == rr::TRRTrackRefusal::None || p.Reason.empty()) __builtin_trap();
      continue;
    }
    const rr::TRRTrackDesc& d = *p.Description;
    if (d.RouteCount() < 1 || d.RouteCount() > rr::RRMaxTrackRoutes) __builtin_trap();
    if (d.ActiveRoute() < 0 || d.ActiveRoute() >= d.RouteCount()) __builtin_trap();
    if (p.TrackWidth < 0 || d.TrackWidth() != p.TrackWidth) __builtin_trap();
    const int n = d.RouteCount();
    switch (d.Type()) {
      case rr::TRRTrackType::Switch:
      case rr::TRRTrackType::Crossing:
        if (n != 2) __builtin_trap();
        break;
      case rr::TRRTrackType::ThreeWaySwitch:
        if (n != 3) __builtin_trap();
        break;
      case rr::TRRTrackType::CrossSwitch:
        if (n != 3 && n != 4) __builtin_trap();
        break;
      case rr::TRRTrackType::Turntable:
        break;
      default:
        if (n != 1) __builtin_trap();
    }
    for (const auto& r : d.Routes()) {
      for (float v : {r->Shift, r->L1, r->Angle, r->Radius, r->L2, r->FlexL, r->Rotation})
        if (!std::isfinite(v)) __builtin_trap();
      if (r->L1 < 0 || r->L2 < 0 || r->FlexL < 0 || std::fabs(r->Angle) >= 3.1416f) __builtin_trap();
      gx::TGXRef<rr::TRRTrackRoute> route(new rr::TRRTrackRoute(nullptr, 0, *r, 1.0f));
      if (!std::isfinite(route->GetLength()) || route->GetLength() <= 0) __builtin_trap();
    }
    // The record form reads back to the same routes.
    std::unique_ptr<rr::TRREntityDescription> copy = d.Clone();
    const auto* back = dynamic_cast<const rr::TRRTrackDesc*>(copy.get());
    if (!back || back->RouteCount() != d.RouteCount() || back->CatalogueKey() != d.CatalogueKey())
      __builtin_trap();
  }
  return 0;
}
