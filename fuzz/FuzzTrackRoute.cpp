// Route descriptions read from arbitrary bytes and turned into routes: every geometric query on
// whatever shape a file holds must answer without crashing or hanging. The first byte chooses
// the track-system scale; bytes after the record give a bend target. The route's drawing
// primitives are built and set up against the track effects on the null device: a bounded
// number of them, each of 1 to 64 segments, whatever the numbers.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "app/entities/track/RRTrackPrimitives.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXException.h"
#include "engine/core/GXStream.h"
#include "tests/app/entities/track/TrackDrawingSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const float kScales[4] = {0.39545456f, 0.54375f, 1.0f, 3.8666666f};
  gx::TGXMemoryStreamAdapter stream(const_cast<uint8_t*>(data + 1), static_cast<int64_t>(size - 1));
  try {
    rr::TRRTrackRouteDesc d;
    d.LoadFromStream(stream);
    gx::TGXRef<rr::TRRTrackRoute> route(new rr::TRRTrackRoute(nullptr, 0, d, kScales[data[0] & 3]));
    const float length = route->GetLength();
    for (float f : {-0.5f, 0.0f, 0.25f, 0.5f, 0.999999f, 1.0f, 1.5f}) {
      const float at = length * f;
      (void)route->GetFrame(at);
      (void)route->GetOrientation(at, true);
      (void)route->GetRailPosition(at);
      (void)route->FindNearestDistance(route->GetPosition(at));
    }
    // Alone, a route ends open at both ends: a movement stays on it.
    const rr::RouteLocation l = route->Advance(0, length + 1, 0);
    if (l.Route != route.Get() || l.Status == rr::RouteLocation::Blocked) __builtin_trap();
    if (std::isfinite(length) && !(l.Distance >= 0 && l.Distance <= length)) __builtin_trap();
    float target[6] = {};
    const int64_t rest = stream.Remaining();
    if (rest >= static_cast<int64_t>(sizeof(target))) {
      stream.ReadBuffer(target, sizeof(target));
      route->BendFlexible({0, 0, 0}, {target[0], 0, target[1]}, {target[2], 0, target[3]},
                          {target[4], 0, target[5]});
    }
    (void)route->ToDescription();

    static tracktest::TDrawing drawing;
    static std::unique_ptr<rr::TRRTrackResources> resources = [] {
      drawing.Device.SetRecording(false);
      return drawing.Make();
    }();
    route->BuildPrimitives();
    const size_t bound = 3 * (rr::RRMaxRouteSegments / 64 + 1) + 4096 + route->FlexPoints().size() / 63 + 1;
    if (route->Primitives().size() > bound) __builtin_trap();
    gx::TGXRenderQueue queue;
    queue.Clear();
    for (const auto& p : route->Primitives()) {
      if (p->SegmentCount() < 1 || p->SegmentCount() > 64) __builtin_trap();
      for (bool cad : {false, true})
        if (p->SetUp(*resources, cad)) {
          resources->Batcher().Add(p.get(), &queue, 0, true);
          p->BeforeRender();
        }
    }
  } catch (const std::runtime_error&) {
    // stream read errors, unknown versions, EInvalidCall for empty flexible routes
  } catch (const gx::EGXAssertion&) {
    // a flexible route with fewer than two points
  }
  return 0;
}
