// Instanced draws and buffer writes through the device: what the renderer asks of the device for
// a primitive drawn once, many times in one call, or not at all (drawn as part of another), the
// draw calls it counts, and the null device's record of writes and their failures.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/render/GXEntity.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXRenderer.h"
#include "engine/render/GXScene.h"
#include "tests/engine/render/GXRenderTestSupport.h"

namespace gx {
namespace {

TEST(GXInstancedDraw, RendererDrawsByInstanceCountAndCountsItsCalls) {
  TGXNullRenderDevice device;
  TGXEffectParameterManager parameters;
  TGXRenderer renderer(device, parameters);
  TGXScene scene;
  auto target = MakeRef<TGXRenderTarget>(64, 64);
  target->SetSurfaces(MakeRef<TGXNullSurface>("Back", 64, 64, GXFormatX8R8G8B8), nullptr);
  TGXViewport* viewport = target->AddViewport(0, 0, 1, 1);
  viewport->SetScene(&scene);
  auto* cameraNode = new TGXSceneNode("Camera", scene.Root());
  viewport->SetCamera(new TGXCamera(cameraNode));
  TGXRef<TGXEffect> effect = test::MakeEffect(device, "E", {{false}}, &parameters);
  auto decl = MakeRef<TGXNullVertexDeclaration>("Decl");
  auto vb = MakeRef<TGXNullVertexBuffer>("VB", 960);
  auto ib = MakeRef<TGXNullIndexBuffer>("IB", 600, GXFormatIndex16);
  std::vector<std::unique_ptr<test::TTestPrimitive>> prims;
  auto* node = new TGXSceneNode("Object", scene.Root());
  node->SetPosition({0, 0, 10});
  auto* object = new test::TTestObject(test::Box(-1, -1, -1, 1, 1, 1));
  for (uint32_t count : {0u, 1u, 5u}) {
    auto p = std::make_unique<test::TTestPrimitive>();
    p->Name = "P" + std::to_string(count);
    p->Device = &device;
    p->Material = test::MakeMaterial(&device, "M", effect);
    p->VertexGeometry = TGXVertexGeometry{0, 4, decl, {vb}, {24}};
    p->IndexGeometry = TGXIndexGeometry{0, 6, ib};
    p->InstanceCount = count;
    object->Primitives.push_back(p.get());
    prims.push_back(std::move(p));
  }
  node->AttachObject(object);
  renderer.Render(*viewport);
  const std::vector<std::string> log = device.Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "DrawIndexedPrimitive(4, 0, 0, 4, 0, 2)"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "DrawIndexedPrimitiveInstanced(4, 0, 0, 4, 0, 2, 5)"), 1);
  // The primitive with no instances is asked to prepare, then nothing is done for it.
  EXPECT_EQ(std::count(log.begin(), log.end(), "BeforeRender(P0)"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Apply(M, changed)") +
                std::count(log.begin(), log.end(), "Apply(M, same)"),
            2);
  EXPECT_EQ(renderer.DrawCallCount(), 2);
  EXPECT_EQ(device.DrawCallCount(), 2);
  EXPECT_EQ(device.PrimitivesDrawn(), 2 + 2 * 5);
  viewport->SetScene(nullptr);
}

TEST(GXInstancedDraw, NullDeviceRecordsWritesAndRefusesWhatCannotBeWritten) {
  TGXNullRenderDevice device;
  auto vb = device.CreateVertexBuffer(64);
  auto ib = device.CreateIndexBuffer(8, GXFormatIndex16);
  const uint8_t bytes[64] = {};
  EXPECT_TRUE(device.WriteVertexBuffer(vb.Get(), 0, bytes, 64));
  EXPECT_FALSE(device.WriteVertexBuffer(vb.Get(), 8, bytes, 64));  // beyond the end
  EXPECT_TRUE(device.WriteIndexBuffer(ib.Get(), 4, bytes, 4));
  device.SetWriteResult(false);  // a lock that fails
  EXPECT_FALSE(device.WriteIndexBuffer(ib.Get(), 0, bytes, 2));
  EXPECT_FALSE(device.WriteVertexBuffer(nullptr, 0, bytes, 2));
  const std::vector<std::string> log = device.Log();
  EXPECT_THAT(std::vector<std::string>(log.begin() + 2, log.end()),
              ::testing::ElementsAre(
                  "WriteVertexBuffer(VertexBuffer1, 0, 64)", "WriteVertexBuffer(VertexBuffer1, 8, 64) failed",
                  "WriteIndexBuffer(IndexBuffer2, 4, 4)", "WriteIndexBuffer(IndexBuffer2, 0, 2) failed",
                  "WriteVertexBuffer(none, 0, 2) failed"));
}

// Takes the entity when told to, remembering what it was given, and marks the sub-entities it
// took as drawn by someone else.
class TTakingHook : public TGXEntityQueueHook {
 public:
  bool Queue(TGXEntity& entity, float distance, TGXRenderQueue*) override {
    Seen.push_back(distance);
    if (Take)
      for (const auto& sub : entity.SubEntities()) sub->InstanceCount = 0;
    return Take;
  }
  bool Take = false;
  std::vector<float> Seen;
};

TEST(GXInstancedDraw, AQueueHookTakesTheEntityOrLetsItQueueItself) {
  TGXNullRenderDevice device;
  TGXRef<TGXEffect> effect = test::MakeEffect(device, "E", {{false}});
  IGXMesh mesh = MakeRef<TGXMesh>(nullptr, "Mesh", true);
  for (int i = 0; i < 2; ++i) mesh->AddSubMesh()->Material = test::MakeMaterial(&device, "M", effect);
  TGXSceneNode node("Plant");
  node.SetPosition({0, 0, 3});
  node.Update(true);
  TGXRef<TGXEntity> entity = TGXEntity::Create(&node, mesh);
  auto hook = MakeRef<TTakingHook>();
  struct TCase {
    const char* Name;
    bool Hooked, Take;
    int Items;
  } cases[] = {{"no hook", false, false, 2}, {"hook declines", true, false, 2}, {"hook takes", true, true, 0},
               {"declines after taking", true, false, 2}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    entity->SetQueueHook(c.Hooked ? TGXRef<TGXEntityQueueHook>(hook) : nullptr);
    hook->Take = c.Take;
    TGXRenderQueue queue;
    queue.Clear();
    entity->AddToRenderQueue(nullptr, &queue);
    EXPECT_EQ(queue.ItemCount(), c.Items);
    // The instance counts an earlier take set to 0 are back at 1 for the entity's own draw.
    for (const auto& sub : entity->SubEntities()) EXPECT_EQ(sub->InstanceCount, c.Take ? 0u : 1u);
  }
  ASSERT_EQ(hook->Seen.size(), 3u);
  EXPECT_FLOAT_EQ(hook->Seen[0], 9.0f);  // the squared distance from the origin
}

TEST(GXInstancedDraw, NullDeviceShowsTheStreamFrequenciesOfADeclaration) {
  TGXNullRenderDevice device;
  auto plain = MakeRef<TGXNullVertexDeclaration>("Plain");
  auto instanced = MakeRef<TGXNullVertexDeclaration>("Instanced", std::vector<uint32_t>{0, 1});
  device.SetVertexDeclaration(plain.Get());
  device.SetVertexDeclaration(instanced.Get());
  EXPECT_THAT(device.Log(), ::testing::ElementsAre("SetVertexDeclaration(Plain)",
                                                   "SetVertexDeclaration(Instanced, frequencies 0 1)"));
}

}  // namespace
}  // namespace gx
