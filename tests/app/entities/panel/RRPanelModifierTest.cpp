#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "app/RRInput.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelEdits.h"
#include "app/entities/panel/RRPanelModifier.h"
#include "app/entities/panel/RRPanelRules.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXNullRenderDevice.h"
#include "tests/app/ManagerTestSupport.h"

using namespace rr;

namespace {

// A panel under a camera looking straight down; the cursor stays in the middle of the view, so
// the pick ray meets the panel right below the camera.
struct Brush : ::testing::Test {
  mgrtest::TTestProject P;
  TRRPanel* Panel = nullptr;
  gx::TGXSceneNode* Camera = nullptr;

  void SetUp() override { MakePanel(20, 20, 1); }

  void MakePanel(uint32_t a, uint32_t b, uint32_t grid) {
    std::unique_ptr<TRRPanelDesc> d = RRDefaultPanelDesc();
    d->Params().A = a;
    d->Params().B = b;
    d->Params().QuadWidth = grid;
    d->SetID(P.M().NextID());
    P.M().ReserveIDs(1);
    Panel = dynamic_cast<TRRPanel*>(P.M().CreateEntity(nullptr, *d));
    ASSERT_NE(Panel, nullptr);
    P.M().Selection().Add(Panel);
    Camera = P.Scene.FindNode("Camera");
    Camera->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, gx::GX_PI / 2));
    Aim(10, 10);
  }
  TRRPanel* Current() { return dynamic_cast<TRRPanel*>(P.M().FindByID(1)); }
  // Above grid point (column, row) of a 1 cm grid.
  void Aim(float column, float row) { Camera->SetPosition({column, 500, -row}); }
  bool Mouse(uint32_t message, uint32_t buttons = 0, int32_t y = 240) {
    ++P.Counter;
    P.Scene.Root()->Update(false);
    TRRInputRecord r;
    r.Message = message;
    r.Buttons = buttons;
    r.X = 320;
    r.Y = y;
    return P.M().HandleInput(P.View.Get(), r);
  }
  void Frame() {
    ++P.Counter;
    P.Scene.Root()->Update(false);
    P.M().UpdateFrame();
  }
  void Stroke(uint32_t buttons = 0) {
    Mouse(RRMsgLButtonDown, buttons | RRMKLButton);
    Frame();
    Frame();
    Mouse(RRMsgLButtonUp, buttons);
  }
  std::unique_ptr<TRRPanelModifier> Start(int mode) {
    auto m = std::make_unique<TRRPanelModifier>(*Panel, mode);
    P.M().AddModifier(m.get());
    return m;
  }
};

}  // namespace

TEST(RRPanelBrush, WeightsOfTheFourShapes) {
  struct Case {
    int Shape;
    double Dx, Dz;
    int Expected;
  } cases[] = {
      // Size 10 with gradient 0.25: 255 up to 3.75 cm, then 255 - (D - 3.75) * 204, 0 at 5 cm.
      {RRBrushCircle, 0, 0, 255},       {RRBrushCircle, 3.75, 0, 255},    {RRBrushCircle, 0, -4.375, 128},
      {RRBrushCircle, 3, 3, 155},       {RRBrushCircle, 5, 0, 0},         {RRBrushCircle, 4, 4, 0},
      {RRBrushSquare, 4, 4, 204},       {RRBrushSquare, 3, -4.5, 102},    {RRBrushSquare, 5.1, 0, 0},
      {RRBrushHorizontal, 4.9, 0, 255}, {RRBrushHorizontal, 0, 4.5, 102}, {RRBrushVertical, 0, 4.9, 255},
      {RRBrushVertical, -4.5, 0, 102},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TRRPanelModifier::BrushWeight(c.Shape, 5, 1.25, c.Dx, c.Dz), c.Expected)
        << c.Shape << " " << c.Dx << "," << c.Dz;
  // Without a gradient every point inside the radius gets full weight.
  EXPECT_EQ(TRRPanelModifier::BrushWeight(RRBrushCircle, 5, 0, 4.99, 0), 255);
}

TEST(RRPanelBrush, MarkColoursRunRedToGreenAndWeightsReadBackExactly) {
  EXPECT_EQ(RRHeightmapColour(0), RRHeightmapUnmarked);
  EXPECT_EQ(RRHeightmapColour(127), 0xFFFFFF00u);
  EXPECT_EQ(RRHeightmapColour(255), 0xFF00FF00u);
  EXPECT_EQ(RRHeightmapWeightOfColour(RRHeightmapUnmarked), 0);
  EXPECT_EQ(RRHeightmapWeightOfColour(RRHeightmapColour(200)), 200);
  // The colour alone loses 128 (it reads back as 127); the overlay keeps weights in their own bytes.
  EXPECT_EQ(RRHeightmapWeightOfColour(RRHeightmapColour(128)), 127);
}

TEST_F(Brush, PaintingRaisesTheTextureByShapeAndOpacityInOneCommandPerPress) {
  auto m = Start(0);
  const int gravel = Panel->AddTexture(TRRAssetFileName("Kies.dds"), 0.015f);
  m->SetTextureBrush(gravel, RRBrushCircle, 0.5f, 0.25f, 5);
  const int before = P.Hist->Count();
  Mouse(RRMsgLButtonDown, RRMKLButton);
  EXPECT_TRUE(m->CommandOpen());
  Frame();
  Frame();
  EXPECT_TRUE(Mouse(RRMsgLButtonUp));
  EXPECT_EQ(P.Hist->Count(), before + 1);
  EXPECT_FALSE(m->CommandOpen());
  EXPECT_EQ(Panel->GetTextureWeight(gravel, 10, 10), 128);  // round(255 x 0.5)
  EXPECT_EQ(Panel->GetTextureWeight(gravel, 13, 10), 128);
  EXPECT_EQ(Panel->GetTextureWeight(gravel, 14, 10), 102);  // 204 x 0.5
  EXPECT_EQ(Panel->GetTextureWeight(gravel, 15, 10), 0);
  EXPECT_EQ(Panel->GetTextureWeight(gravel, 10, 16), 0);
  // The wood underneath was normalised down.
  EXPECT_LT(Panel->GetTextureWeight(0, 10, 10), 255);

  // Undo takes the stroke back; the brush on the old panel is then inert.
  P.Hist->Undo();
  EXPECT_EQ(m->Panel(), nullptr);
  ASSERT_NE(Current(), nullptr);
  EXPECT_EQ(Current()->GetTextureWeight(gravel, 10, 10), 0);
  Mouse(RRMsgLButtonDown, RRMKLButton);
  EXPECT_FALSE(m->ButtonDown());
  EXPECT_FALSE(m->CommandOpen());
  Frame();
  P.Hist->Redo();
  EXPECT_EQ(Current()->GetTextureWeight(gravel, 10, 10), 128);
  m.reset();  // freeing the inert brush touches nothing (ASan)
}

TEST_F(Brush, AnOpenCommandIsPushedAtTheNextPressAndWhenTheBrushGoes) {
  auto m = Start(0);
  m->SetTextureBrush(3, RRBrushSquare, 1, 0, 2);
  const int before = P.Hist->Count();
  Mouse(RRMsgLButtonDown, RRMKLButton);
  Frame();
  // The release never came (the view lost the mouse): the next press completes the first.
  Mouse(RRMsgLButtonDown, RRMKLButton);
  EXPECT_EQ(P.Hist->Count(), before + 1);
  Frame();
  m.reset();
  EXPECT_EQ(P.Hist->Count(), before + 2);
  EXPECT_EQ(Panel->GetTextureWeight(3, 12, 12), 255);  // square brush of radius 2
  P.Hist->Undo();
  P.Hist->Undo();
  EXPECT_EQ(Current()->GetTextureWeight(3, 10, 10), 0);
}

TEST_F(Brush, MarksRiseOnlyAndFollowCtrlAndPlainPresses) {
  auto m = Start(1);
  TRRPanelHeightmap* overlay = m->Overlay();
  ASSERT_NE(overlay, nullptr);
  overlay->Mark(3, 3, 200);
  overlay->Mark(3, 3, 100);
  EXPECT_EQ(overlay->MarkWeight(3, 3), 200);
  overlay->Mark(4, 4, 128);
  EXPECT_EQ(overlay->MarkWeight(4, 4), 128);
  EXPECT_TRUE(m->HasMarks());

  m->SetHeightBrush(RRBrushCircle, 0, 1.5f);
  const int before = P.Hist->Count();
  Stroke(RRMKControl);  // Ctrl adds to the marks
  EXPECT_EQ(m->Overlay()->MarkWeight(3, 3), 200);
  EXPECT_EQ(m->Overlay()->MarkWeight(10, 10), 255);
  EXPECT_EQ(m->Overlay()->MarkWeight(11, 10), 255);
  EXPECT_EQ(m->Overlay()->MarkWeight(12, 10), 0);
  EXPECT_EQ(P.Hist->Count(), before);  // marking records nothing

  Aim(5, 15);
  Stroke();  // a plain press starts again
  EXPECT_EQ(m->Overlay()->MarkWeight(3, 3), 0);
  EXPECT_EQ(m->Overlay()->MarkWeight(10, 10), 0);
  EXPECT_EQ(m->Overlay()->MarkWeight(5, 15), 255);

  // A point on a split line lies in two segments and is marked in both.
  MakePanel(60, 30, 1);  // 60 x 30 cells split at column 30 and again
  auto m2 = Start(1);
  m2->Overlay()->Mark(30, 5, 90);
  int holding = 0;
  for (int i = 0; i < m2->Overlay()->SegmentCount(); ++i) {
    TRRHeightmapSegment& s = m2->Overlay()->Segment(i);
    if (s.Contains(30, 5)) {
      ++holding;
      EXPECT_EQ(s.Weight((30 - s.X0()) + (5 - s.Y0()) * s.RowLength()), 90);
    }
  }
  EXPECT_EQ(holding, 2);
}

TEST_F(Brush, TypedHeightsFollowTheMarksAsOneCommand) {
  auto m = Start(1);
  Panel->SetHeight(7, 7, 4);
  m->Overlay()->Mark(2, 2, 255);
  m->Overlay()->Mark(3, 2, 51);
  float lo = 0, hi = 0;
  m->MarkedHeightRange(lo, hi);
  EXPECT_FLOAT_EQ(lo, 0);
  EXPECT_FLOAT_EQ(hi, 0);

  std::optional<float> typed = RRMarkedHeightFromText("10", RRLengthUnits[1]);
  ASSERT_TRUE(typed);
  const int before = P.Hist->Count();
  RRPanelSetMarkedHeights(*m, *typed);
  EXPECT_EQ(P.Hist->Count(), before + 1);
  EXPECT_FLOAT_EQ(Panel->GetHeight(2, 2), 10);
  EXPECT_FLOAT_EQ(Panel->GetHeight(3, 2), 2);
  EXPECT_FLOAT_EQ(Panel->GetHeight(7, 7), 4);  // unmarked
  m->MarkedHeightRange(lo, hi);
  EXPECT_FLOAT_EQ(lo, 2);
  EXPECT_FLOAT_EQ(hi, 10);
  // The overlay point floats above the new height.
  const TRRHeightmapSegment& s = m->Overlay()->Segment(0);
  EXPECT_FLOAT_EQ(s.Vertices()[((2 - s.X0()) + (2 - s.Y0()) * s.RowLength()) * 6].Position.y, 10.2f);

  RRPanelSetMarkedHeights(*m, 150);  // clamped to 100
  EXPECT_FLOAT_EQ(Panel->GetHeight(2, 2), 100);
  P.Hist->Undo();
  EXPECT_FLOAT_EQ(Current()->GetHeight(2, 2), 10);
  P.Hist->Undo();
  EXPECT_FLOAT_EQ(Current()->GetHeight(2, 2), 0);
  EXPECT_FLOAT_EQ(Current()->GetHeight(7, 7), 4);

  // Without marks nothing is recorded.
  auto none = std::make_unique<TRRPanelModifier>(*Current(), 1);
  const int count = P.Hist->Count();
  RRPanelSetMarkedHeights(*none, 10);
  EXPECT_EQ(P.Hist->Count(), count);
  m->MarkedHeightRange(lo, hi);  // the old brush is inert: no marks
  EXPECT_FLOAT_EQ(lo, 999999);
  EXPECT_FLOAT_EQ(hi, -999999);
}

TEST_F(Brush, TheOverlayFollowsARebuiltDrawingTreeAndKeepsItsMarks) {
  auto m = Start(1);
  m->Overlay()->Mark(2, 2, 255);
  m->Overlay()->Mark(3, 2, 51);
  // A page edit while the height brush is on rebuilds the panel's segments.
  Panel->RemoveTexture(Panel->AddTexture(TRRAssetFileName("C:\\Kies.dds"), 1.0f));
  EXPECT_EQ(m->Overlay()->MarkWeight(2, 2), 255);
  EXPECT_EQ(m->Overlay()->MarkWeight(3, 2), 51);
  Frame();
  RRPanelSetMarkedHeights(*m, 10);
  EXPECT_FLOAT_EQ(Panel->GetHeight(2, 2), 10);
  EXPECT_FLOAT_EQ(Panel->GetHeight(3, 2), 2);
  const TRRHeightmapSegment& s = m->Overlay()->Segment(0);
  EXPECT_FLOAT_EQ(s.Vertices()[((2 - s.X0()) + (2 - s.Y0()) * s.RowLength()) * 6].Position.y, 10.2f);
}

TEST_F(Brush, ShiftDragMovesFromTheCapturedHeightsAndNeverBelowZero) {
  auto m = Start(1);
  m->Overlay()->Mark(10, 10, 255);
  m->Overlay()->Mark(11, 10, 51);
  Panel->SetHeight(11, 10, 1);
  const int before = P.Hist->Count();
  Mouse(RRMsgLButtonDown, RRMKLButton | RRMKShift, 240);
  EXPECT_TRUE(m->ShiftDrag());
  EXPECT_EQ(m->Overlay()->MarkWeight(10, 10), 255);     // Shift keeps the marks
  Mouse(RRMsgMouseMove, RRMKLButton | RRMKShift, 190);  // 50 pixels up
  Frame();
  EXPECT_FLOAT_EQ(Panel->GetHeight(10, 10), 5);
  EXPECT_FLOAT_EQ(Panel->GetHeight(11, 10), 2);
  Mouse(RRMsgMouseMove, RRMKLButton | RRMKShift, 240);  // back: the press heights again
  Frame();
  EXPECT_FLOAT_EQ(Panel->GetHeight(10, 10), 0);
  EXPECT_FLOAT_EQ(Panel->GetHeight(11, 10), 1);
  Mouse(RRMsgMouseMove, RRMKLButton | RRMKShift, 400);  // far down
  Frame();
  EXPECT_FLOAT_EQ(Panel->GetHeight(10, 10), 0);
  EXPECT_FLOAT_EQ(Panel->GetHeight(11, 10), 0);
  Mouse(RRMsgMouseMove, RRMKLButton | RRMKShift, 140);
  Frame();
  Mouse(RRMsgLButtonUp, RRMKShift, 140);
  EXPECT_EQ(P.Hist->Count(), before + 1);
  EXPECT_FALSE(m->ShiftDrag());
  EXPECT_FLOAT_EQ(Panel->GetHeight(10, 10), 10);
  // Undo while the brush is on: the drag goes, the brush turns inert.
  P.Hist->Undo();
  EXPECT_EQ(m->Panel(), nullptr);
  EXPECT_EQ(m->Overlay(), nullptr);
  EXPECT_FLOAT_EQ(Current()->GetHeight(10, 10), 0);
  EXPECT_FLOAT_EQ(Current()->GetHeight(11, 10), 1);
  Frame();
  m.reset();
}

TEST_F(Brush, PanelEditsAreOneCommandEachAndUndoBringsTheStateBack) {
  const int32_t id = Panel->ID();
  auto undoable = [&](const char* what, const std::function<void()>& edit,
                      const std::function<bool(TRRPanel&)>& changed) {
    const int before = P.Hist->Count();
    edit();
    EXPECT_EQ(P.Hist->Count(), before + 1) << what;
    ASSERT_NE(Current(), nullptr) << what;
    EXPECT_TRUE(changed(*Current())) << what;
    P.Hist->Undo();
    ASSERT_NE(Current(), nullptr) << what;
    EXPECT_FALSE(changed(*Current())) << what;
    P.Hist->Redo();
    EXPECT_TRUE(changed(*Current())) << what;
    Panel = Current();
  };
  undoable(
      "thickness", [&] { RRPanelSetThickness(*Panel, 500); },
      [](TRRPanel& p) { return p.Params().Thickness == RRPanelThicknessMax; });
  undoable(
      "transparency", [&] { RRPanelSetTransparent(*Panel, true); },
      [](TRRPanel& p) { return p.Transparent(); });
  int added = -1;
  undoable(
      "add", [&] { added = RRPanelAddTexture(*Panel, TRRAssetFileName("/tmp/zement.png"), 0.015f); },
      [&](TRRPanel& p) { return p.TextureCount() > added; });
  undoable(
      "scale", [&] { RRPanelSetTextureScale(*Panel, added, 0.03f); },
      [&](TRRPanel& p) { return p.TextureEntry(added).Scale == 0.03f; });
  Panel->SetTextureWeight(added, 4, true, 255, 4);
  undoable(
      "replace", [&] { RRPanelReplaceTexture(*Panel, added, 3); },
      [&](TRRPanel& p) { return p.GetTextureWeight(3, 4, 4) == 255; });
  undoable(
      "remove", [&] { RRPanelRemoveTexture(*Panel, 3); },
      [&](TRRPanel& p) { return p.GetTextureWeight(0, 4, 4) == 255; });
  gx::TGXImage picture;
  picture.Width = 2;
  picture.Height = 1;
  picture.Pixels = {0xFF000000u, 0xFFFFFFFFu};
  undoable(
      "import", [&] { RRPanelImportHeights(*Panel, picture, 3, 2, 0, 50); },
      [&](TRRPanel& p) { return p.GetHeight(4, 2) == 50; });
  EXPECT_EQ(Current()->ID(), id);
  // Nothing changes, nothing is recorded.
  const int count = P.Hist->Count();
  RRPanelSetThickness(*Current(), 100);
  RRPanelSetTransparent(*Current(), true);
  RRPanelRemoveTexture(*Current(), 0);
  RRPanelReplaceTexture(*Current(), 2, 2);
  RRPanelAddTexture(*Current(), TRRAssetFileName("/tmp/zement.png"), 1.0f);  // listed already
  // A brush press beside the panel paints nothing and leaves no undo step either.
  Panel = Current();
  auto m = Start(0);
  m->SetTextureBrush(3, RRBrushCircle, 1, 0, 2);
  Aim(500, 500);
  Stroke();
  EXPECT_FALSE(m->CommandOpen());
  EXPECT_EQ(P.Hist->Count(), count);
}

TEST_F(Brush, ReshapingKeepsThePivotWhereItWasInTheWorld) {
  Panel->SetPosition({100, 0, 50});
  P.Scene.Root()->Update(false);
  const gx::TGXVector3 before = gx::GXVec3TransformCoord(Panel->Pivot(), Panel->WorldMatrix());
  TRRPanelParams params = Panel->Params();
  params.A = 40;
  params.Thickness = 9;  // not compared and not taken
  EXPECT_TRUE(RRPanelReshape(*Panel, params));
  TRRPanel* p = Current();
  P.Scene.Root()->Update(false);
  EXPECT_EQ(p->Params().A, 40u);
  EXPECT_FLOAT_EQ(p->Params().Thickness, 5);
  const gx::TGXVector3 after = gx::GXVec3TransformCoord(p->Pivot(), p->WorldMatrix());
  EXPECT_NEAR(after.x, before.x, 1e-3f);
  EXPECT_NEAR(after.z, before.z, 1e-3f);
  EXPECT_FALSE(RRPanelReshape(*p, p->Params()));
  params.A = 41;  // not a multiple of the grid once the grid is 2
  params.QuadWidth = 2;
  const int count = P.Hist->Count();
  EXPECT_THROW(RRPanelReshape(*p, params), gx::EGXException);
  EXPECT_EQ(P.Hist->Count(), count);
}

TEST_F(Brush, OverlayBuffersAreDynamicWrittenWithDiscardAndOnlyWhenChanged) {
  MakePanel(60, 30, 1);  // four segments
  auto m = Start(1);
  TRRPanelHeightmap& overlay = *m->Overlay();
  ASSERT_EQ(overlay.SegmentCount(), 4);
  gx::TGXNullRenderDevice device;
  auto upload = [&] {
    device.ClearCalls();
    for (int i = 0; i < overlay.SegmentCount(); ++i) overlay.Segment(i).UpdateBuffer(device);
    int creates = 0, writes = 0;
    for (const std::string& line : device.Log()) {
      if (line.rfind("CreateVertexBuffer(", 0) == 0) {
        ++creates;
        EXPECT_NE(line.find(", 520, 0)"), std::string::npos) << line;  // dynamic write-only, default pool
      }
      if (line.rfind("WriteVertexBuffer(", 0) == 0) {
        ++writes;
        EXPECT_NE(line.find("discard"), std::string::npos) << line;
      }
    }
    return std::pair{creates, writes};
  };
  EXPECT_EQ(upload(), std::pair(4, 4));
  EXPECT_EQ(upload(), std::pair(0, 0));
  overlay.Mark(2, 2, 10);
  EXPECT_EQ(upload(), std::pair(0, 1));
  overlay.Mark(2, 2, 5);  // no rise, no upload
  EXPECT_EQ(upload(), std::pair(0, 0));
  overlay.OnDeviceLost();
  EXPECT_EQ(upload(), std::pair(4, 4));
  EXPECT_EQ(overlay.Segment(0).Vertices().size(), size_t(overlay.Segment(0).Segment().VertexCount()) * 6);
}
