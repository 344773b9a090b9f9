// Moving the selection with the mouse on a large layout: 20,000 boxes on a grid, 1,000 of them
// selected and dragged freely (snapping asked of every moved entity, and the drop onto what lies
// below each frame), beside the same frame with the selection standing; one drag begun and ended
// (its command group made and pushed) for 5,000 selected beside one; and one gizmo pick beside a
// ray that passes the gizmo by. The view looks straight down on the layout from 300 above.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "app/RRAction.h"
#include "app/RRClipboard.h"
#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRInput.h"
#include "app/RRProjectHost.h"
#include "app/RRUIService.h"
#include "app/edit/RRTransformationGizmo.h"
#include "app/edit/RRTransformationModifier.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntityRegistry.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXScene.h"
#include "engine/render/GXViewport.h"

namespace {

class TBoxDesc : public rr::TRREntityDescription {
  RR_DESCRIPTION_CLASS()
};
class TBoxShape : public gx::TGXSceneObject {
 public:
  TBoxShape() { SetLocalBounds(gx::BoxFromMinMax({-1, -1, -1}, {1, 1, 1})); }
};
class TBenchBox : public rr::TRREntity {
  RR_ENTITY_CLASS()
 public:
  TBenchBox(gx::TGXNode* parent, rr::IRREntityManager* manager, const rr::TRREntityDescription& d)
      : TRREntity(parent, manager, d) {
    AttachObject(gx::MakeRef<TBoxShape>().Get());
  }
};
RR_DEFINE_DESCRIPTION_CLASS(TBoxDesc, rr::TRREntityDescription)
RR_DEFINE_ENTITY_CLASS(TBenchBox, rr::TRREntity)

constexpr int kEntities = 20000, kGrid = 200;
constexpr float kSpacing = 5;

struct TWorld : rr::IRRProjectHost {
  gx::TGXScene Scene;
  gx::TGXRef<gx::TGXRenderTarget> View = gx::MakeRef<gx::TGXRenderTarget>(1280, 800);
  rr::TRRScriptedUIService Ui;
  rr::TRRClipboard Board;
  rr::TRRActionState UndoAction, RedoAction;
  std::unique_ptr<rr::TRREntityManager> Manager;
  std::unique_ptr<rr::TRRHistory> Hist;
  std::vector<rr::TRREntity*> Boxes;
  int64_t Counter = 1;

  TWorld() {
    static bool registered = [] {
      rr::RegisteredEntities().Register(gx::TGXGuid::Parse("{5C1E7A20-3B9D-4E8F-A612-0D4C8B7E9F31}"),
                                        TBenchBox::StaticClass(), TBoxDesc::StaticClass());
      return true;
    }();
    (void)registered;
    gx::TGXViewport* viewport = View->AddViewport(0, 0, 1, 1);
    auto* cameraNode = new gx::TGXSceneNode("Camera", Scene.Root());
    cameraNode->SetPosition({0, 300, 0});
    cameraNode->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, std::numbers::pi_v<float> / 2));
    auto* camera = new gx::TGXCamera(cameraNode);
    camera->SetViewportSize(1280, 800);
    viewport->SetScene(&Scene);
    viewport->SetCamera(camera);
    Manager = std::make_unique<rr::TRREntityManager>(*this, View.Get(), &Scene);
    Hist = std::make_unique<rr::TRRHistory>(*Manager, &UndoAction, &RedoAction);
    for (int i = 0; i < kEntities; ++i) {
      TBoxDesc d;
      d.SetID(Manager->NextID());
      Manager->ReserveIDs(1);
      const float x = (float(i % kGrid) - kGrid / 2) * kSpacing, z = (float(i / kGrid) - kGrid / 2) * kSpacing;
      d.SetPosition({x, 0, z});
      Boxes.push_back(Manager->CreateEntity(nullptr, d));
    }
    Scene.Root()->Update(false);
  }
  ~TWorld() override {
    Manager->Selection().Clear();
    Scene.Root()->DeleteChildren();
    Hist.reset();
    Manager.reset();
  }

  gx::TGXNode* ProjectNode() override { return Scene.Root(); }
  rr::IRRUIService& UI() override { return Ui; }
  rr::TRRHistory* History() override { return Hist.get(); }
  rr::TRRClipboard* Clipboard() override { return &Board; }
  void SetModified() override {}
  int64_t FrameCounter() const override { return Counter; }

  // The count boxes around the middle of the grid (a square block).
  void Select(int count) {
    rr::TRREntitySelection& s = Manager->Selection();
    s.BeginUpdate();
    s.Clear();
    const int side = int(std::ceil(std::sqrt(float(count))));
    int n = 0;
    for (int r = 0; r < side && n < count; ++r)
      for (int c = 0; c < side && n < count; ++c, ++n)
        s.Add(Boxes[size_t((kGrid / 2 - side / 2 + r) * kGrid + kGrid / 2 - side / 2 + c)]);
    s.EndUpdate();
    Scene.Root()->Update(false);
  }
  void Mouse(uint32_t message, int x, int y, uint32_t buttons = 0) {
    ++Counter;
    rr::TRRInputRecord r;
    r.Message = message;
    r.X = x;
    r.Y = y;
    r.Buttons = buttons;
    Manager->HandleInput(View.Get(), r);
  }
  void Frame() {
    ++Counter;
    Manager->UpdateFrame();
  }
};

void BM_DragFrame1000Of20000(benchmark::State& state) {
  TWorld w;
  w.Select(1000);
  w.Frame();
  rr::TRRTransformationModifier* m = w.Manager->FindTransformationModifier();
  m->BeginDrag(rr::RRDragFree, w.Manager->Selection().Centre(), {0, 1, 0}, true);
  int step = 0;
  float lo = 1e9f, hi = -1e9f;
  for (auto _ : state) {
    // Back and forth across a few grid cells: every frame moves, snaps and drops the selection.
    const int x = 640 + ((step++ % 40) - 20) * 3;
    w.Mouse(rr::RRMsgMouseMove, x, 400, rr::RRMKLButton);
    w.Frame();
    const float cx = w.Manager->Selection().Centre().x;
    lo = std::min(lo, cx);
    hi = std::max(hi, cx);
  }
  m->EndDrag();
  // How far the selection went to and fro (it must move for the figure to mean anything).
  state.counters["swept"] = double(hi - lo);
  state.SetLabel("Ziel < 4 ms");
}
BENCHMARK(BM_DragFrame1000Of20000)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_FrameStanding1000Of20000(benchmark::State& state) {
  TWorld w;
  w.Select(1000);
  for (auto _ : state) {
    w.Mouse(rr::RRMsgMouseMove, 640, 400);
    w.Frame();
  }
  state.SetLabel("Vergleich: gleiche Auswahl ohne Ziehen");
}
BENCHMARK(BM_FrameStanding1000Of20000)->Unit(benchmark::kMillisecond)->Iterations(200);

void DragBeginEnd(benchmark::State& state, int count) {
  TWorld w;
  w.Select(count);
  w.Frame();
  rr::TRRTransformationModifier* m = w.Manager->FindTransformationModifier();
  rr::TRREntitySelection& s = w.Manager->Selection();
  float dx = 1;
  for (auto _ : state) {
    m->BeginDrag(rr::RRDragFree, s.Centre(), {0, 1, 0}, true);
    s.Translate({dx, 0, 0});
    dx = -dx;
    m->EndDrag();
  }
  state.counters["undo"] = double(w.Hist->Count());
}
void BM_DragBeginEnd5000(benchmark::State& state) {
  DragBeginEnd(state, 5000);
  state.SetLabel("Ziel < 100 ms");
}
void BM_DragBeginEnd1(benchmark::State& state) {
  DragBeginEnd(state, 1);
  state.SetLabel("Vergleich");
}
BENCHMARK(BM_DragBeginEnd5000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_DragBeginEnd1)->Unit(benchmark::kMicrosecond)->Iterations(2000);

void GizmoPick(benchmark::State& state, bool aimed) {
  rr::TRRTransformationGizmo g;
  rr::TRRGizmoCamera c;
  c.Position = {0, 300, 0};
  c.Direction = {0, -1, 0};
  g.Place({0, 0, 0}, c);
  // Aimed: onto the ring about Y (tested last); else well beside the gizmo.
  const gx::TGXVector3 origin = aimed ? gx::TGXVector3{0, 300, g.Radius()} : gx::TGXVector3{500, 300, 500};
  int hits = 0;
  for (auto _ : state) {
    const rr::TRRGizmoHit hit = g.Pick(origin, {0, -1, 0}, c.Position);
    hits += hit.Handle != 0;
    benchmark::DoNotOptimize(hit);
  }
  state.counters["hit"] = double(hits) / double(state.iterations());
}
void BM_GizmoPickRing(benchmark::State& state) {
  GizmoPick(state, true);
  state.SetLabel("Ziel < 5 us");
}
void BM_GizmoPickMiss(benchmark::State& state) {
  GizmoPick(state, false);
  state.SetLabel("Vergleich: Strahl daneben");
}
BENCHMARK(BM_GizmoPickRing)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GizmoPickMiss)->Unit(benchmark::kMicrosecond);

}  // namespace
