// Baseboard editing at layout scale, on a bare host (no render core): the panel's segments and the
// overlay make and write their buffers on the null device (recording off), so frames and
// rebuilds include the uploads. A 3 m x 2 m panel on a 1 cm grid (6 m x 4 m where named).
//
// Goals: one brush frame (pick, marking, overlay upload) at radius 25 cm <= 1 ms; rebuilding the
// whole panel <= 20 ms (6 x 4 m: <= 80 ms); recording one stroke (both snapshots and the push)
// < 30 ms, beside the whole descriptions of the history's plain commands; its undo <= 20 ms; a
// history of 50 strokes <= 20 MB (counter "bytes"); a full Shift-drag frame <= 16 ms; a pick on
// 6 x 4 m <= 0.2 ms; importing a 256 x 256 picture <= 10 ms.

#include <benchmark/benchmark.h>

#include <memory>
#include <set>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRProjectHost.h"
#include "app/RRUIService.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelEdits.h"
#include "app/entities/panel/RRPanelModifier.h"
#include "app/entities/panel/RRPanelSegment.h"
#include "app/entities/panel/RRPanelPartition.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXNullRenderDevice.h"
#include "engine/render/GXRenderQueue.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXScene.h"

using namespace rr;

namespace {

// Draw services on a null device that records nothing (its buffers still take their bytes).
std::shared_ptr<TRRPanelDrawServices> NullServices(gx::TGXNullRenderDevice& device) {
  device.SetRecording(false);
  auto services = std::make_shared<TRRPanelDrawServices>();
  services->Device = &device;
  services->Layout = [](int kind) {
    return gx::TGXRef<gx::TGXDeviceVertexDeclaration>(
        new gx::TGXNullVertexDeclaration("Layout" + std::to_string(kind)));
  };
  return services;
}

struct TBenchHost : IRRProjectHost {
  gx::TGXNullRenderDevice Device;
  TRRPanelDrawServicesScope Services{NullServices(Device)};
  gx::TGXScene Scene;
  gx::TGXRef<gx::TGXRenderTarget> View = gx::MakeRef<gx::TGXRenderTarget>(640, 480);
  TRRScriptedUIService Ui;
  std::unique_ptr<TRREntityManager> Manager;
  std::unique_ptr<TRRHistory> Hist;
  gx::TGXSceneNode* Camera = nullptr;
  int64_t Counter = 1;
  TRRPanel* Panel = nullptr;

  TBenchHost(uint32_t a, uint32_t b) {
    gx::TGXViewport* viewport = View->AddViewport(0, 0, 1, 1);
    Camera = new gx::TGXSceneNode("Camera", Scene.Root());
    auto* camera = new gx::TGXCamera(Camera);
    camera->SetViewportSize(640, 480);
    viewport->SetScene(&Scene);
    viewport->SetCamera(camera);
    Camera->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, gx::GX_PI / 2));
    Manager = std::make_unique<TRREntityManager>(*this, View.Get(), &Scene);
    Hist = std::make_unique<TRRHistory>(*Manager);
    std::unique_ptr<TRRPanelDesc> d = RRDefaultPanelDesc();
    d->Params().A = a;
    d->Params().B = b;
    d->Params().QuadWidth = 1;
    d->SetID(Manager->NextID());
    Manager->ReserveIDs(1);
    Panel = dynamic_cast<TRRPanel*>(Manager->CreateEntity(nullptr, *d));
    Manager->Selection().Add(Panel);
    Aim(a / 2.0f, b / 2.0f);
  }
  ~TBenchHost() override {
    Scene.Root()->DeleteChildren();
    Hist.reset();
    Manager.reset();
  }
  gx::TGXNode* ProjectNode() override { return Scene.Root(); }
  IRRUIService& UI() override { return Ui; }
  TRRHistory* History() override { return Hist.get(); }
  TRRClipboard* Clipboard() override { return nullptr; }
  void SetModified() override {}
  int64_t FrameCounter() const override { return Counter; }

  TRRPanel* Current() { return dynamic_cast<TRRPanel*>(Manager->FindByID(1)); }
  void Aim(float column, float row) { Camera->SetPosition({column, 500, -row}); }
  void Mouse(uint32_t message, uint32_t buttons, int32_t y = 240) {
    ++Counter;
    Scene.Root()->Update(false);
    TRRInputRecord r;
    r.Message = message;
    r.Buttons = buttons;
    r.X = 320;
    r.Y = y;
    Manager->HandleInput(View.Get(), r);
  }
  void Frame() {
    ++Counter;
    Scene.Root()->Update(false);
    Manager->UpdateFrame();
  }
  // What drawing the panel costs besides the GPU: every segment updates its buffers and queues.
  void Draw() {
    gx::TGXRenderQueue queue;
    for (int i = 0; i < Panel->PartitionCount(); ++i)
      Panel->Partition(i)->ForEachSegment([&](TRRPanelSegment& s) { s.AddToRenderQueue(nullptr, &queue); });
  }
};

void Upload(TRRPanelHeightmap* overlay, gx::TGXNullRenderDevice& device) {
  if (!overlay) return;
  for (int i = 0; i < overlay->SegmentCount(); ++i)
    if (overlay->Segment(i).Dirty()) overlay->Segment(i).UpdateBuffer(device);
}

// One frame of the height brush moving along the panel: pick, marks, overlay upload.
void BM_BrushFrame(benchmark::State& state) {
  TBenchHost host(300, 200);
  gx::TGXNullRenderDevice device;
  TRRPanelModifier brush(*host.Panel, 1);
  host.Manager->AddModifier(&brush);
  brush.SetHeightBrush(0, 0.25f, static_cast<float>(state.range(0)));
  Upload(brush.Overlay(), device);
  host.Mouse(RRMsgLButtonDown, RRMKLButton);
  float x = 20;
  for (auto _ : state) {
    host.Aim(x, 100);
    host.Frame();
    Upload(brush.Overlay(), device);
    x += 1.5f;
    if (x > 280) x = 20;
  }
  host.Mouse(RRMsgLButtonUp, 0);
}
BENCHMARK(BM_BrushFrame)->Arg(5)->Arg(25)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_PaintFrame(benchmark::State& state) {
  TBenchHost host(300, 200);
  TRRPanelModifier brush(*host.Panel, 0);
  host.Manager->AddModifier(&brush);
  brush.SetTextureBrush(5, 0, 0.3f, 0.75f, static_cast<float>(state.range(0)));
  host.Mouse(RRMsgLButtonDown, RRMKLButton);
  float x = 20;
  host.Draw();
  for (auto _ : state) {
    host.Aim(x, 100);
    host.Frame();
    host.Draw();
    x += 1.5f;
    if (x > 280) x = 20;
  }
  host.Mouse(RRMsgLButtonUp, 0);
}
BENCHMARK(BM_PaintFrame)->Arg(25)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_Rebuild(benchmark::State& state) {
  TBenchHost host(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
  TRRPanelParams params = host.Panel->Params();
  for (auto _ : state) {
    params.Thickness = params.Thickness == 5 ? 6 : 5;
    host.Panel->SetParams(params);
    host.Draw();
  }
}
BENCHMARK(BM_Rebuild)->Args({300, 200})->Args({600, 400})->Unit(benchmark::kMillisecond)->Iterations(10);

// A stroke of 50 x 50 points painted between the two snapshots; only the recording is timed.
void Paint(TRRPanel& panel, int k) {
  for (int y = 80; y < 130; ++y)
    for (int x = 100 + k % 100; x < 150 + k % 100; ++x) panel.SetTextureWeight(1 + k % 5, x, true, 200, y);
}

void BM_RecordStroke(benchmark::State& state) {
  TBenchHost host(300, 200);
  const bool whole = state.range(0) != 0;
  int k = 0;
  for (auto _ : state) {
    TRRPanel& panel = *host.Panel;
    std::unique_ptr<TRRCommand> command = whole ? host.Hist->OpenCommand(&panel) : RRPanelOpenCommand(panel);
    state.PauseTiming();
    Paint(panel, k++);
    state.ResumeTiming();
    if (whole) {
      command->SetAfter(&panel);
      host.Hist->Push(std::move(command));
    } else {
      RRPanelPushCommand(std::move(command), panel);
    }
  }
  state.SetLabel(whole ? "whole descriptions" : "snapshots");
}
BENCHMARK(BM_RecordStroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_UndoStroke(benchmark::State& state) {
  TBenchHost host(300, 200);
  std::unique_ptr<TRRCommand> command = RRPanelOpenCommand(*host.Panel);
  Paint(*host.Panel, 0);
  RRPanelPushCommand(std::move(command), *host.Panel);
  for (auto _ : state) {
    host.Hist->Undo();
    state.PauseTiming();
    host.Hist->Redo();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_UndoStroke)->Unit(benchmark::kMillisecond)->Iterations(10);

// Bytes a description holds; blocks shared with snapshots already counted (seen) count once.
size_t DescriptionBytes(const TRREntityDescription* d, std::set<const void*>& seen) {
  auto* p = dynamic_cast<const TRRPanelDesc*>(d);
  if (!p) return 0;
  if (const auto& snap = p->Snapshot()) {
    size_t bytes = sizeof(*snap) + snap->Blocks.capacity() * sizeof(snap->Blocks[0]);
    for (const auto& b : snap->Blocks)
      if (seen.insert(b.get()).second) bytes += b->MemorySize();
    return bytes;
  }
  size_t bytes = p->Grid() ? 0 : p->Data().capacity();
  if (const auto& g = p->Grid())
    for (size_t k = 0; k < g->Heights.size(); ++k)
      bytes += g->Heights[k].capacity() * 4 + g->LayerStart[k].capacity() * 4 + g->Layers[k].capacity() * 4;
  return bytes;
}

void BM_History50Strokes(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    TBenchHost host(300, 200);
    for (int k = 0; k < 50; ++k) {
      std::unique_ptr<TRRCommand> command = RRPanelOpenCommand(*host.Panel);
      Paint(*host.Panel, k);
      RRPanelPushCommand(std::move(command), *host.Panel);
    }
    bytes = 0;
    std::set<const void*> seen;
    for (int i = 0; i < host.Hist->Count(); ++i)
      bytes += DescriptionBytes(host.Hist->Command(i)->BeforeSnapshot(), seen) +
               DescriptionBytes(host.Hist->Command(i)->AfterSnapshot(), seen);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_History50Strokes)->Unit(benchmark::kMillisecond)->Iterations(1);

// Every point of the panel marked, dragged by a new cursor height each frame.
void BM_ShiftDragFrame(benchmark::State& state) {
  TBenchHost host(300, 200);
  gx::TGXNullRenderDevice device;
  TRRPanelModifier brush(*host.Panel, 1);
  host.Manager->AddModifier(&brush);
  brush.Overlay()->MarkRange(0, 0, 300, 200, [](int64_t x, int64_t y) { return int(1 + (x + y) % 255); });
  Upload(brush.Overlay(), device);
  host.Mouse(RRMsgLButtonDown, RRMKLButton | RRMKShift, 240);
  int y = 240;
  for (auto _ : state) {
    y = y <= 100 ? 240 : y - 7;
    host.Mouse(RRMsgMouseMove, RRMKLButton | RRMKShift, y);
    host.Frame();
    Upload(brush.Overlay(), device);
  }
  host.Mouse(RRMsgLButtonUp, RRMKShift, y);
}
BENCHMARK(BM_ShiftDragFrame)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_Pick6x4(benchmark::State& state) {
  TBenchHost host(600, 400);
  gx::TGXScene& scene = host.Scene;
  scene.Root()->Update(false);
  float x = 3;
  bool hit = true;
  for (auto _ : state) {
    gx::TGXPickResult r = scene.Pick(host.Panel, {x, 300, -x * 0.6f}, {0.01f, -1, -0.02f});
    hit = hit && r.Object;
    x = x > 590 ? 3 : x + 3.7f;
  }
  state.SetLabel(hit ? "all hit" : "some missed");
}
BENCHMARK(BM_Pick6x4)->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_Import256(benchmark::State& state) {
  TBenchHost host(300, 200);
  gx::TGXImage picture;
  picture.Width = picture.Height = 256;
  picture.Pixels.resize(256 * 256);
  for (uint32_t i = 0; i < picture.Pixels.size(); ++i) picture.Pixels[i] = 0xFF000000u | ((i * 7) & 255);
  for (auto _ : state) host.Panel->ImportHeightsFromBitmap(picture, 10, 50, 0, 10);
}
BENCHMARK(BM_Import256)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
