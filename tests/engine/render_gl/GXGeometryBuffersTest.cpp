#include "engine/render/GXGeometryBuffers.h"

#include <gtest/gtest.h>

#include "engine/core/GXException.h"
#include "engine/render/GXGLEffect.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXTexture.h"
#include "tests/engine/render_gl/GXGLTestSupport.h"

namespace gx::test {
namespace {

using TGeometryBuffersTest = TGLTest;

TEST_F(TGeometryBuffersTest, OffsetIndicesWidenOnlyWhenTheyMust) {
  const uint16_t small[] = {0, 100, 7};
  auto narrow = GXOffsetIndexBuffer(*Device, *GXCreateIndexBuffer(*Device, small), 10);
  EXPECT_EQ(narrow->Format(), uint32_t(GXFormatIndex16));
  EXPECT_EQ(narrow->Index(1), 110u);
  const uint16_t large[] = {65000, 3};
  auto wide = GXOffsetIndexBuffer(*Device, *GXCreateIndexBuffer(*Device, large), 1000);
  EXPECT_EQ(wide->Format(), uint32_t(GXFormatIndex32));
  EXPECT_EQ(wide->IndexCount(), 2u);
  EXPECT_EQ(wide->Index(0), 66000u);
  EXPECT_EQ(wide->Index(1), 1003u);
  EXPECT_THROW(GXOffsetIndexBuffer(*Device, *wide, 0xFFFFFF00u), EInvalidParameter);
  EXPECT_THROW(GXCreateIndexBuffer(*Device, std::span<const uint16_t>()), EDirect3D);
}

TEST_F(TGeometryBuffersTest, CopiesAndCombinationsHoldTheBytesInOrder) {
  const uint8_t a[] = {1, 2, 3, 4}, b[] = {5, 6, 7, 8, 9, 10, 11, 12};
  auto first = GXCreateVertexBuffer(*Device, a), second = GXCreateVertexBuffer(*Device, b);
  const TGXGLVertexBuffer* both[] = {first.Get(), second.Get()};
  auto combined = GXCombineVertexBuffers(*Device, both);
  EXPECT_EQ(combined->Data(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  auto copy = GXCopyVertexBuffer(*Device, *second);
  EXPECT_NE(copy.Get(), second.Get());
  EXPECT_EQ(copy->Data(), second->Data());
}

TEST(TGXEffectStateRecorderTest, PassesBlendOnlyWhenTheyTurnBlendingOn) {
  std::unique_ptr<TGXRenderCore> core;
  ASSERT_NO_THROW(core = std::make_unique<TGXRenderCore>());
  auto effect = MakeRef<TGXEffect>(nullptr, "States.fx", true);
  GXBuildGLEffect(*effect, core->Device(), core->EffectParameters(), R"(
vertexshader VS { in vec3 vPosition; void main() { gl_Position = vec4(vPosition, 1); } }
pixelshader PS { out vec4 f; void main() { f = vec4(1); } }
technique T {
  pass Plain { VertexShader = VS; PixelShader = PS; }
  pass Off { VertexShader = VS; PixelShader = PS; AlphaBlendEnable = false; }
  pass On { VertexShader = VS; PixelShader = PS; AlphaBlendEnable = true; }
  pass Late { VertexShader = VS; PixelShader = PS; AlphaBlendEnable = true; AlphaBlendEnable = false; }
}
)");
  TGXEffectTechnique* t = effect->Technique(0);
  ASSERT_EQ(t->PassCount(), 4);
  EXPECT_FALSE(t->Pass(0)->AlphaBlend());
  EXPECT_FALSE(t->Pass(1)->AlphaBlend());
  EXPECT_TRUE(t->Pass(2)->AlphaBlend());
  EXPECT_FALSE(t->Pass(3)->AlphaBlend());
  // Recording changed nothing on the device.
  EXPECT_EQ(core->Device().RenderState(GXRSAlphaBlendEnable), 0u);

  TGXEffectStateRecorder recorder;
  EXPECT_FALSE(recorder.RecordedRenderState(27).has_value());
  recorder.SetRenderState(27, 1);
  recorder.SetRenderState(27, 0);
  EXPECT_EQ(recorder.RecordedRenderState(27), 0u);
}

TEST(TGXTextureDeviceLossTest, ManualDefaultPoolTexturesGiveUpTheirDeviceTexture) {
  std::unique_ptr<TGXRenderCore> core;
  ASSERT_NO_THROW(core = std::make_unique<TGXRenderCore>());
  auto lost = MakeRef<TGXTexture>(nullptr, "Default", true);
  lost->SetWidth(4), lost->SetHeight(4), lost->SetPool(GXPoolDefault);
  lost->Load();
  auto kept = MakeRef<TGXTexture>(nullptr, "Managed", true);
  kept->SetWidth(4), kept->SetHeight(4);
  kept->Load();
  core->LoseDevice();
  EXPECT_EQ(lost->GetDeviceTexture(), nullptr);
  EXPECT_NE(kept->GetDeviceTexture(), nullptr);
  core->ResetDevice();
  lost->Recreate();
  EXPECT_NE(lost->GetDeviceTexture(), nullptr);
}

}  // namespace
}  // namespace gx::test
