#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "engine/core/GXException.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXRenderer.h"
#include "engine/render/GXScene.h"
#include "tests/engine/render/GXRenderTestSupport.h"

namespace gx {
namespace {

using test::Box;
using test::TTestObject;
using test::TTestPrimitive;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<std::string> Tail(const std::vector<std::string>& log, size_t from) {
  return {log.begin() + static_cast<std::ptrdiff_t>(std::min(from, log.size())), log.end()};
}

size_t IndexOf(const std::vector<std::string>& log, const std::string& line, size_t from = 0) {
  for (size_t i = from; i < log.size(); ++i)
    if (log[i] == line) return i;
  return log.size();
}

int CountOf(const std::vector<std::string>& log, const std::string& line) {
  return static_cast<int>(std::count(log.begin(), log.end(), line));
}

struct RendererFixture : ::testing::Test {
  TGXNullRenderDevice Device;
  TGXEffectParameterManager Parameters;
  TGXRenderer Renderer{Device, Parameters};
  TGXScene Scene;
  TGXRef<TGXRenderTarget> Target = MakeRef<TGXRenderTarget>(640, 480);
  TGXViewport* Viewport = Target->AddViewport(0, 0, 1, 1);
  TGXSceneNode* CameraNode = new TGXSceneNode("Camera", Scene.Root());
  TGXCamera* Camera = new TGXCamera(CameraNode);
  test::TRecordingEffect* Recorder = nullptr;
  // E1: T0 one opaque pass, T1 two opaque passes; E2: T0 one opaque pass.
  TGXRef<TGXEffect> E1 = test::MakeEffect(Device, "E1", {{false}, {false, false}}, &Parameters, &Recorder);
  TGXRef<TGXEffect> E2 = test::MakeEffect(Device, "E2", {{false}}, &Parameters);
  TGXRef<TGXNullVertexDeclaration> Decl = MakeRef<TGXNullVertexDeclaration>("Decl");
  TGXRef<TGXNullVertexBuffer> VB = MakeRef<TGXNullVertexBuffer>("VB", 960);
  TGXRef<TGXNullIndexBuffer> IB = MakeRef<TGXNullIndexBuffer>("IB", 600, GXFormatIndex16);
  std::vector<std::unique_ptr<TTestPrimitive>> Primitives;

  RendererFixture() {
    Target->SetSurfaces(MakeRef<TGXNullSurface>("Back", 640, 480, GXFormatX8R8G8B8),
                        MakeRef<TGXNullSurface>("Depth", 640, 480, GXFormatD24X8));
    Viewport->SetScene(&Scene);
    Viewport->SetCamera(Camera);
  }

  TTestPrimitive* Prim(const std::string& name, const IGXMaterial& material, bool indexed = true) {
    auto p = std::make_unique<TTestPrimitive>();
    p->Name = name;
    p->Device = &Device;
    p->Material = material;
    p->VertexGeometry = TGXVertexGeometry{2, 4, Decl, {VB}, {24}};
    if (indexed) p->IndexGeometry = TGXIndexGeometry{6, 6, IB};
    Primitives.push_back(std::move(p));
    return Primitives.back().get();
  }
  // An object in front of the camera (which looks along +z from the origin) queuing primitives.
  TTestObject* Object(std::vector<TGXRenderPrimitive*> primitives, std::vector<float> layers = {},
                      TGXSceneNode* parent = nullptr, float z = 10) {
    auto* node = new TGXSceneNode("Object", parent ? parent : Scene.Root());
    node->SetPosition({0, 0, z});
    auto* object = new TTestObject(Box(-1, -1, -1, 1, 1, 1));
    object->Primitives = std::move(primitives);
    object->Layers = std::move(layers);
    node->AttachObject(object);
    return object;
  }
};

TEST_F(RendererFixture, DrawsOneIndexedPrimitiveInTheDescribedOrder) {
  Object({Prim("P", test::MakeMaterial(&Device, "M", E1))});
  Renderer.Render(*Viewport);
  EXPECT_THAT(Device.Log(),
              ElementsAre("SetRenderTarget(Back)", "SetDepthStencilSurface(Depth)",
                          "SetViewport(0, 0, 640, 480, 0, 1)", "Clear(3, 0xFF000000, 1, 0)", "BeginScene",
                          // technique begin with the per-technique matrices
                          "BeforeRender(P)", "E1.SetTechnique(1)", "E1.Begin", "E1.SetMatrix(101)",
                          "E1.SetMatrix(102)", "E1.SetMatrix(103)", "Apply(M, changed)", "E1.BeginPass(0)",
                          // per primitive: world matrix and commit, geometry, draw
                          "E1.SetMatrix(100)", "E1.Commit", "SetVertexDeclaration(Decl)",
                          "SetStreamSource(0, VB, 0, 24)", "SetIndices(IB)",
                          "DrawIndexedPrimitive(4, 2, 0, 4, 6, 2)", "EndScene",
                          // finish: end pass and technique, dummy target, unbind
                          "E1.EndPass", "E1.End", "CreateRenderTarget(1, 1, 22) -> Surface1",
                          "SetRenderTarget(Surface1)", "SetDepthStencilSurface(none)",
                          "SetStreamSource(0, none, 0, 0)", "SetIndices(none)"));
}

TEST_F(RendererFixture, AutomaticMatricesComeFromTheCameraAndThePrimitive) {
  CameraNode->SetPosition({0, 0, -5});
  TTestPrimitive* moved = Prim("Moved", test::MakeMaterial(&Device, "M", E1));
  moved->HasWorld = true;
  moved->World = GXMatrixTranslation(1, 2, 3);
  TTestPrimitive* plain = Prim("Plain", test::MakeMaterial(&Device, "M2", E1));
  Object({moved}, {0});
  Object({plain}, {1});
  Viewport->SetRect(0, 0, 0.5f, 1);  // 320 x 480
  Renderer.Render(*Viewport);

  EXPECT_FLOAT_EQ(Camera->Aspect(), 320.0f / 480.0f);
  const auto& m = Recorder->Matrices;
  EXPECT_EQ(m.at(test::HView), Camera->GetViewMatrix());
  EXPECT_EQ(m.at(test::HProjection), Camera->GetProjectionMatrix());
  EXPECT_EQ(m.at(test::HViewProjection), Camera->GetViewProjectionMatrix());
  // The last drawn primitive has no world matrix of its own: identity.
  EXPECT_EQ(m.at(test::HWorld), TGXMatrix());
  // WORLD was set once per primitive, the others once per technique begin.
  const auto log = Device.Log();
  EXPECT_EQ(CountOf(log, "E1.SetMatrix(100)"), 2);
  EXPECT_EQ(CountOf(log, "E1.SetMatrix(101)"), 1);
  EXPECT_EQ(CountOf(log, "E1.Commit"), 2);
}

TEST_F(RendererFixture, WorldMatrixOfThePrimitiveIsUsed) {
  TTestPrimitive* moved = Prim("Moved", test::MakeMaterial(&Device, "M", E1));
  moved->HasWorld = true;
  moved->World = GXMatrixTranslation(1, 2, 3);
  Object({moved});
  Renderer.Render(*Viewport);
  EXPECT_EQ(Recorder->Matrices.at(test::HWorld), GXMatrixTranslation(1, 2, 3));
}

TEST_F(RendererFixture, ParameterSourcesNeverPointIntoARendererThatIsGone) {
  Object({Prim("P", test::MakeMaterial(&Device, "M", E1))});
  CameraNode->SetPosition({1, 2, -3});
  {
    TGXRenderer other(Device, Parameters);
    other.Render(*Viewport);
  }
  EXPECT_EQ(Parameters.View()->Matrix(), nullptr);
  EXPECT_EQ(Parameters.World()->Matrix(), nullptr);
  Renderer.Render(*Viewport);
  EXPECT_EQ(Recorder->Matrices.at(test::HView), Camera->GetViewMatrix());
}

TEST_F(RendererFixture, TechniqueAndPassChangeOnlyWhenNeeded) {
  IGXMaterial a = test::MakeMaterial(&Device, "A", E1);
  IGXMaterial b = test::MakeMaterial(&Device, "B", E1);  // same technique, other material
  IGXMaterial c = test::MakeMaterial(&Device, "C", E2);
  Object({Prim("PA", a), Prim("PB", b), Prim("PB2", b), Prim("PC", c)}, {0, 1, 2, 3});
  Renderer.Render(*Viewport);
  const auto log = Device.Log();
  const size_t begin = IndexOf(log, "BeginScene");
  std::vector<std::string> notes;
  for (size_t i = begin; i < IndexOf(log, "EndScene"); ++i)
    if (log[i].rfind("E", 0) == 0 && log[i].find("SetMatrix") == std::string::npos &&
        log[i].find("Commit") == std::string::npos)
      notes.push_back(log[i]);
    else if (log[i].rfind("Apply", 0) == 0)
      notes.push_back(log[i]);
  EXPECT_THAT(notes, ElementsAre("E1.SetTechnique(1)", "E1.Begin", "Apply(A, changed)", "E1.BeginPass(0)",
                                 "Apply(B, changed)", "Apply(B, same)", "E1.EndPass", "E1.End",
                                 "E2.SetTechnique(1)", "E2.Begin", "Apply(C, changed)", "E2.BeginPass(0)"));
  // The geometry is shared, so it is bound once.
  EXPECT_EQ(CountOf(log, "SetStreamSource(0, VB, 0, 24)"), 1);
  EXPECT_EQ(CountOf(log, "SetIndices(IB)"), 1);
  EXPECT_EQ(Device.DrawCallCount(), 4);
}

TEST_F(RendererFixture, TwoPassTechniqueDrawsPassByPass) {
  IGXMaterial m = test::MakeMaterial(&Device, "M", E1, 1);
  Object({Prim("Near", m)}, {}, nullptr, 10);
  Object({Prim("Far", m)}, {}, nullptr, 20);
  Renderer.Render(*Viewport);
  std::vector<std::string> order;
  for (const std::string& line : Device.Log())
    if (line.rfind("BeforeRender", 0) == 0 || line.find("Pass") != std::string::npos) order.push_back(line);
  EXPECT_THAT(order,
              ElementsAre("BeforeRender(Near)", "E1.BeginPass(0)", "BeforeRender(Far)", "BeforeRender(Near)",
                          "E1.EndPass", "E1.BeginPass(1)", "BeforeRender(Far)", "E1.EndPass"));
}

TEST_F(RendererFixture, TargetIsSelectedOnlyWhenItChanges) {
  TGXRenderStateManager& state = Renderer.StateManager();
  state.SelectViewport(*Viewport);
  Device.ClearCalls();
  state.SelectViewport(*Viewport);
  EXPECT_THAT(Device.Log(), ElementsAre("SetViewport(0, 0, 640, 480, 0, 1)"));

  // A target without depth: after a finish (dummy bound, no depth) only the colour changes.
  TGXRef<TGXRenderTarget> flat = MakeRef<TGXRenderTarget>(100, 50);
  flat->SetSurfaces(MakeRef<TGXNullSurface>("Flat", 100, 50, GXFormatX8R8G8B8), nullptr);
  TGXViewport* v = flat->AddViewport(0.5f, 0, 0.5f, 1);
  state.Finish();
  Device.ClearCalls();
  Renderer.Render(*v);
  const auto log = Device.Log();
  EXPECT_EQ(log[0], "SetRenderTarget(Flat)");
  EXPECT_EQ(log[1], "SetViewport(50, 0, 50, 50, 0, 1)");
  // Without depth surface the clear drops depth (and stencil).
  EXPECT_EQ(log[2], "Clear(1, 0xFF000000, 1, 0)");
  EXPECT_EQ(CountOf(log, "SetDepthStencilSurface(none)"), 0);
  // The dummy surface is made once.
  EXPECT_EQ(CountOf(log, "CreateRenderTarget(1, 1, 22) -> Surface1"), 0);

  v->SetClearFlags(GXClearZBuffer | GXClearStencil);
  Device.ClearCalls();
  Renderer.Render(*v);
  for (const std::string& line : Device.Log()) EXPECT_EQ(line.rfind("Clear", 0), std::string::npos) << line;
}

TEST_F(RendererFixture, NothingIsDrawnWhenBeginSceneFailsButFinishStillHappens) {
  Object({Prim("P", test::MakeMaterial(&Device, "M", E1))});
  Device.SetBeginSceneResult(false);
  Renderer.Render(*Viewport);
  const auto log = Device.Log();
  const size_t begin = IndexOf(log, "BeginScene failed");
  ASSERT_LT(begin, log.size());
  EXPECT_THAT(Tail(log, begin + 1), ElementsAre("CreateRenderTarget(1, 1, 22) -> Surface1",
                                                "SetRenderTarget(Surface1)", "SetDepthStencilSurface(none)"));
  EXPECT_EQ(Device.DrawCallCount(), 0);
}

TEST_F(RendererFixture, CullingSkipsInvisibleDisabledAndUnseenSubtrees) {
  IGXMaterial m = test::MakeMaterial(nullptr, "M", E1);
  TTestObject* shown = Object({Prim("Shown", m)});
  TTestObject* behind = Object({Prim("Behind", m)}, {}, nullptr, -10);
  TGXSceneNode* disabledGroup = new TGXSceneNode("Disabled", Scene.Root());
  disabledGroup->SetRenderEnabled(false);
  TTestObject* inDisabled = Object({Prim("InDisabled", m)}, {}, disabledGroup);
  TGXSceneNode* hiddenGroup = new TGXSceneNode("Hidden", Scene.Root());
  hiddenGroup->SetVisible(false);
  TTestObject* inHidden = Object({Prim("InHidden", m)}, {}, hiddenGroup);
  TTestObject* hiddenObject = Object({Prim("HiddenObject", m)});
  hiddenObject->SetVisible(false);

  Renderer.Render(*Viewport);
  EXPECT_EQ(shown->Queued, 1);
  EXPECT_EQ(behind->Queued, 0);
  EXPECT_EQ(inDisabled->Queued, 0);
  EXPECT_EQ(inHidden->Queued, 0);
  EXPECT_EQ(hiddenObject->Queued, 0);
  EXPECT_EQ(Device.DrawCallCount(), 1);

  // Without a camera: identity matrices and nothing culled by the frustum.
  Viewport->SetCamera(nullptr);
  Renderer.Render(*Viewport);
  EXPECT_EQ(behind->Queued, 1);
  EXPECT_EQ(Recorder->Matrices.at(test::HView), TGXMatrix());
  EXPECT_EQ(Recorder->Matrices.at(test::HViewProjection), TGXMatrix());

  // A camera that dies with its node leaves the viewport without camera.
  Viewport->SetCamera(Camera);
  delete CameraNode;
  EXPECT_EQ(Viewport->Camera(), nullptr);
  Renderer.Render(*Viewport);
  EXPECT_EQ(behind->Queued, 2);
}

// Children are culled through their parent's packed copy of their boxes: what is queued must
// match the camera's own box test for every child, also right after children moved, and a child
// whose box is empty is still visited.
TEST_F(RendererFixture, PackedChildBoxesCullLikeTheCameraBoxTest) {
  TGXSceneNode* crowd = new TGXSceneNode("Crowd", Scene.Root());
  std::vector<std::pair<TGXSceneNode*, TTestObject*>> all;
  for (int i = 0; i < 200; ++i) {
    auto* node = new TGXSceneNode("C", crowd);
    node->SetPosition({static_cast<float>(i % 20 - 10) * 40, 0, static_cast<float>(i / 20 - 5) * 60});
    auto* object = new TTestObject(Box(-1, -1, -1, 1, 1, 1));
    node->AttachObject(object);
    all.emplace_back(node, object);
  }
  auto* emptyNode = new TGXSceneNode("Empty", crowd);
  emptyNode->SetPosition({0, 0, -1000});
  auto* emptyObject = new TTestObject(TGXBoundingBox());
  emptyNode->AttachObject(emptyObject);
  for (int round = 0; round < 2; ++round) {
    for (auto& [node, object] : all) object->Queued = 0;
    Renderer.BuildQueue(*Viewport);
    int seen = 0;
    for (auto& [node, object] : all) {
      const bool visible = Camera->IsBoxVisible(node->WorldBounds());
      EXPECT_EQ(object->Queued, visible ? 1 : 0) << "round " << round;
      seen += visible;
    }
    EXPECT_GT(seen, 5);
    EXPECT_LT(seen, 195);
    EXPECT_EQ(emptyObject->Queued, round + 1);
    for (auto& [node, object] : all) node->Translate({13, 0, 7}, TGXTransformSpace::Parent);
  }
}

TEST_F(RendererFixture, PrimitiveCountsDecideWhatIsDrawn) {
  IGXMaterial m = test::MakeMaterial(nullptr, "M", E1);
  TTestPrimitive* strip = Prim("Strip", m, false);
  strip->PrimitiveType = GXTriangleStrip;
  strip->VertexGeometry->VertexCount = 5;
  TTestPrimitive* tooFew = Prim("TooFew", m);
  tooFew->IndexGeometry->IndexCount = 2;  // a triangle list of 2 indices: nothing
  TTestPrimitive* lines = Prim("Lines", m, false);
  lines->PrimitiveType = GXLineStrip;
  lines->VertexGeometry->VertexCount = 0;
  Object({strip, tooFew, lines}, {0, 1, 2});
  Renderer.Render(*Viewport);
  std::vector<std::string> draws;
  for (const std::string& line : Device.Log())
    if (line.rfind("Draw", 0) == 0) draws.push_back(line);
  EXPECT_THAT(draws, ElementsAre("DrawPrimitive(5, 2, 3)"));
}

TEST_F(RendererFixture, StreamsFollowTheGeometry) {
  IGXMaterial m = test::MakeMaterial(nullptr, "M", E1);
  TTestPrimitive* twoStreams = Prim("Two", m);
  auto vb2 = MakeRef<TGXNullVertexBuffer>("VB2", 100);
  twoStreams->VertexGeometry->Buffers.push_back(vb2);
  twoStreams->VertexGeometry->Strides.push_back(8);
  TTestPrimitive* oneStream = Prim("One", m);
  oneStream->VertexGeometry->Strides[0] = 32;
  Object({twoStreams, oneStream}, {0, 1});
  Renderer.Render(*Viewport);
  std::vector<std::string> streams;
  for (const std::string& line : Device.Log())
    if (line.rfind("SetStreamSource", 0) == 0 || line.rfind("SetVertexDeclaration", 0) == 0)
      streams.push_back(line);
  EXPECT_THAT(streams, ElementsAre("SetVertexDeclaration(Decl)", "SetStreamSource(0, VB, 0, 24)",
                                   "SetStreamSource(1, VB2, 0, 8)", "SetStreamSource(1, none, 0, 0)",
                                   "SetStreamSource(0, VB, 0, 32)", "SetStreamSource(0, none, 0, 0)"));
}

TEST_F(RendererFixture, MissingVertexGeometryIsAnAssertionAndTheFrameStillEnds) {
  TTestPrimitive* broken = Prim("Broken", test::MakeMaterial(nullptr, "M", E1));
  broken->VertexGeometry.reset();
  Object({broken});
  EXPECT_THROW(Renderer.Render(*Viewport), EGXAssertion);
  const auto log = Device.Log();
  const size_t end = IndexOf(log, "EndScene");
  ASSERT_LT(end, log.size());
  EXPECT_EQ(IndexOf(log, "SetDepthStencilSurface(none)", end) < log.size(), true);
  EXPECT_FALSE(Device.InScene());
}

TEST_F(RendererFixture, ViewportWithoutSceneIsOnlyCleared) {
  Object({Prim("P", test::MakeMaterial(nullptr, "M", E1))});
  Viewport->SetScene(nullptr);
  Viewport->SetClearColor(0x80102030);
  Renderer.Render(*Viewport);
  EXPECT_EQ(IndexOf(Device.Log(), "Clear(3, 0x80102030, 1, 0)"), 3u);
  EXPECT_EQ(Device.DrawCallCount(), 0);
  EXPECT_EQ(Renderer.Queue().ItemCount(), 0);
}

TEST(GXViewportTest, PixelRectangleFollowsTheTarget) {
  TGXRef<TGXRenderTarget> target = MakeRef<TGXRenderTarget>(101, 50);
  TGXViewport* left = target->AddViewport(0, 0, 0.5f, 1);
  TGXViewport* right = target->AddViewport(0.5f, 0, 0.5f, 1);
  // Shared edges: the two halves tile the target.
  EXPECT_EQ(left->Rect().X + static_cast<int>(left->Rect().Width), right->Rect().X);
  EXPECT_EQ(right->Rect().X + static_cast<int>(right->Rect().Width), 101);
  EXPECT_EQ(left->Rect().MaxZ, 1);
  target->SetSize(200, 100);
  EXPECT_EQ(right->Rect().X, 100);
  EXPECT_EQ(right->Rect().Width, 100u);
  EXPECT_EQ(right->Rect().Height, 100u);
  // Outside the target and NaN are clamped.
  right->SetRect(-1, std::numeric_limits<float>::quiet_NaN(), 5, 0.25f);
  EXPECT_EQ(right->Rect().X, 0);
  EXPECT_EQ(right->Rect().Width, 200u);
  EXPECT_EQ(right->Rect().Y, 0);
  EXPECT_EQ(right->Rect().Height, 25u);
  EXPECT_TRUE(target->RemoveViewport(left));
  EXPECT_FALSE(target->RemoveViewport(left));
  EXPECT_EQ(target->ViewportCount(), 1);
}

TEST(GXEffectParameterManagerTest, FourMatrixSourcesAndUniqueNames) {
  TGXEffectParameterManager manager;
  ASSERT_EQ(manager.SourceCount(), 4);
  EXPECT_EQ(manager.Source(0)->Name(), "WORLD");
  EXPECT_EQ(manager.Source(3)->Name(), "VIEWPROJECTION");
  EXPECT_EQ(manager.FindSource("VIEW"), manager.View());
  EXPECT_EQ(manager.FindSource("view"), nullptr);
  EXPECT_THROW(manager.AddSource(MakeRef<TGXEffectMatrixPointerSource>("VIEW")), EGXAssertion);
  auto position = MakeRef<TGXEffectMatrixPointerSource>("CAMERAPOSITION");
  manager.AddSource(position);
  EXPECT_EQ(manager.SourceCount(), 5);
  // A project that closes takes its sources away; the next one adds them again.
  EXPECT_TRUE(manager.RemoveSource("CAMERAPOSITION"));
  EXPECT_FALSE(manager.RemoveSource("CAMERAPOSITION"));
  EXPECT_THROW(manager.RemoveSource("VIEW"), EInvalidParameter);
  manager.AddSource(MakeRef<TGXEffectMatrixPointerSource>("CAMERAPOSITION"));
  EXPECT_EQ(manager.SourceCount(), 5);
  EXPECT_EQ(position->RefCount(), 1);
}

TEST(GXMaterialTest, TechniqueMustBelongToTheEffect) {
  TGXNullRenderDevice device;
  TGXRef<TGXEffect> e1 = test::MakeEffect(device, "E1", {{false}, {true}});
  TGXRef<TGXEffect> e2 = test::MakeEffect(device, "E2", {{false}});
  auto m = MakeRef<test::TRecordingMaterial>(nullptr, "M");
  EXPECT_THROW(m->SetTechnique(e1->Technique(0)), EInvalidParameter);  // no effect yet
  m->SetEffect(e1);
  EXPECT_TRUE(e1->IsLoaded());
  EXPECT_EQ(m->DefaultTechnique(), e1->Technique(0));
  EXPECT_THROW(m->SetTechnique(e2->Technique(0)), EInvalidParameter);
  m->SetTechnique(e1->Technique(1));
  EXPECT_EQ(m->GetTechnique(), e1->Technique(1));
  m->Load();
  EXPECT_THROW(m->SetEffect(e2), EInvalidCall);
  EXPECT_EQ(e1->FindTechnique("T1"), e1->Technique(1));
  EXPECT_EQ(e1->FindTechnique("t1"), nullptr);
}

}  // namespace
}  // namespace gx
