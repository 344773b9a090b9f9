// Render windows over an offscreen surface, render textures, the target tree and the lost/reset
// protocol of the device.

#include <gtest/gtest.h>

#include "engine/core/GXException.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderTexture.h"
#include "engine/render/GXRenderWindow.h"
#include "engine/render/GXScene.h"
#include "tests/engine/render/GXRenderTestSupport.h"

namespace gx::test {
namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

const char* const kSampling = R"(
float4x4 World : WORLD;
texture Map;
sampler2D MapSampler { Texture = Map; MinFilter = Point; MagFilter = Point; MipFilter = None; AddressU = Clamp; AddressV = Clamp; };
vertexshader VS { in vec3 vPosition; in vec2 vTexCoord0; out vec2 uv;
  void main() { gl_Position = vec4(vPosition, 1) * World; uv = vTexCoord0; } }
pixelshader PS { in vec2 uv; out vec4 fragment; void main() { fragment = texture(MapSampler, uv); } }
technique T { pass { VertexShader = VS; PixelShader = PS; CullMode = None; ZEnable = false; } }
)";

class TRenderTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      Core = std::make_unique<TGXRenderCore>();
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
  }
  void TearDown() override { Core.reset(); }
  std::unique_ptr<TGXRenderCore> Core;
};

class TCallback : public IGXDeviceCallback {
 public:
  void OnDeviceLost() override {
    ++Lost;
    if (Victim) Core->UnregisterDeviceCallback(Victim);
  }
  void OnDeviceReset() override { ++Reset; }
  TGXRenderCore* Core = nullptr;
  IGXDeviceCallback* Victim = nullptr;
  int Lost = 0, Reset = 0;
};

TEST_F(TRenderTargetTest, WindowPresentsItsFrameAndFollowsTheSurfaceSize) {
  TGXOffscreenSurface surface(32, 16);
  auto window = MakeRef<TGXRenderWindow>(&surface);
  EXPECT_TRUE(window->IsPrimary());
  const TGXPresentParameters& p = window->PresentParameters();
  EXPECT_EQ(p.BackBufferFormat, 22u);
  EXPECT_EQ(p.AutoDepthStencilFormat, uint32_t(GXFormatD32));
  EXPECT_EQ(p.PresentationInterval, GXPresentIntervalOne);
  EXPECT_EQ(p.DeviceWindow, &surface);
  ASSERT_NE(window->DepthSurface(), nullptr);
  TGXViewport* left = window->AddViewport(0, 0, 0.5f, 1);
  left->SetClearColor(kRed);
  window->AddViewport(0.5f, 0, 0.5f, 1)->SetClearColor(kBlue);
  window->RenderAll();
  EXPECT_EQ(surface.PresentCount(), 1);
  ASSERT_EQ(surface.Frame().size(), 32u * 16);
  EXPECT_EQ(surface.Frame()[5 * 32 + 3], kRed);
  EXPECT_EQ(surface.Frame()[5 * 32 + 30], kBlue);

  // Inside a drag the size is not taken; at its end once.
  EXPECT_FALSE(window->HandleMessage(561, 0, 0));
  surface.SetClientSize(40, 20);
  EXPECT_TRUE(window->HandleMessage(5, 0, 0));
  EXPECT_EQ(window->Width(), 32u);
  window->HandleMessage(562, 0, 0);
  EXPECT_FALSE(window->InSizeMove());
  EXPECT_EQ(window->Width(), 40u);
  EXPECT_EQ(window->ColorSurface()->Width(), 40u);
  EXPECT_EQ(left->Rect().Width, 20u);
  // Minimised, the old size stays.
  surface.SetMinimised(true);
  surface.SetClientSize(0, 0);
  window->HandleMessage(5, 0, 0);
  EXPECT_EQ(window->Height(), 20u);
  EXPECT_TRUE(window->HandleMessage(16, 0, 0));  // closing is not the user's
  EXPECT_FALSE(window->HandleMessage(0x200, 0, 0));

  // A second window is not primary; the first one's end frees the role.
  TGXOffscreenSurface other(8, 8);
  auto second = MakeRef<TGXRenderWindow>(&other);
  EXPECT_FALSE(second->IsPrimary());
}

TEST_F(TRenderTargetTest, PresentParametersFromTheAdapterSettings) {
  const TGXPresentParameters p = GXInitPresentParameters(nullptr, 4, false, false);
  EXPECT_EQ(p.Adapter, &Core->Adapter());
  EXPECT_EQ(p.BackBufferCount, 1u);
  EXPECT_EQ(p.MultiSampleType, 4u);
  EXPECT_EQ(p.SwapEffect, 1u);
  EXPECT_TRUE(p.Windowed);
  EXPECT_EQ(p.PresentationInterval, GXPresentIntervalImmediate);
  ASSERT_NE(Core->Adapter().FindSettings(0, true), nullptr);
  EXPECT_EQ(Core->Adapter().FindSettings(0, true)->Format, 22u);
  EXPECT_EQ(Core->Adapter().BestDepthFormat(23), uint32_t(GXFormatD32));
  EXPECT_EQ(Core->Adapter().FindSettings(99, true), nullptr);

  TGXRenderAdapter bare;
  TGXPresentParameters q = GXInitPresentParameters(&bare, 0, true, true);
  try {
    GXUpdatePresentParameters(q, nullptr);
    FAIL() << "no error";
  } catch (const EGXException& e) {
    EXPECT_NE(std::string(e.what()).find("TGXPresentParameters, UpdateD3DParameters"), std::string::npos) << e.what();
  }
}

TEST_F(TRenderTargetTest, ChildrenRenderFirstSoTheWindowSamplesThisFramesTexture) {
  TGXOffscreenSurface surface(8, 8);
  auto window = MakeRef<TGXRenderWindow>(&surface);
  auto texture = MakeRef<TGXRenderTexture>(4, 4);
  texture->SetParent(window.Get());
  EXPECT_EQ(window->ChildCount(), 1);
  EXPECT_EQ(texture->Parent(), window.Get());
  TGXViewport* inner = texture->AddViewport(0, 0, 1, 1);
  EXPECT_THROW(window->SetParent(texture.Get()), EInvalidParameter);

  auto effect = MakeRef<TGXEffect>(nullptr, "Sampling.fx", true);
  effect->SetSourceText(kSampling);
  auto material = MakeRef<TGXMaterial>(nullptr, "Sampling", true);
  material->SetEffect(effect);
  material->Load();
  material->FindTexture("Map")->SetDeviceTexture(texture->Texture()->GetDeviceTexture());
  TGXGLRenderDevice& device = Core->Device();
  const float v[] = {-1, 1, 0.5f, 0, 0, 1, 1, 0.5f, 1, 0, 1, -1, 0.5f, 1, 1,
                     -1, 1, 0.5f, 0, 0, 1, -1, 0.5f, 1, 1, -1, -1, 0.5f, 0, 1};
  auto vb = device.CreateVertexBuffer(sizeof v);
  static_cast<TGXGLVertexBuffer*>(vb.Get())->Write(0, v, sizeof v);
  const TGXVertexElement elements[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0},
                                       {0, 12, GXDeclFloat2, 0, GXUsageTexCoord, 0}};
  TTestPrimitive primitive;
  primitive.Material = material;
  primitive.VertexGeometry = TGXVertexGeometry{0, 6, device.CreateVertexDeclaration(elements), {vb}, {20}};
  TGXScene scene;
  auto* object = new TTestObject(Box(-1, -1, -1, 1, 1, 1));
  object->Primitives = {&primitive};
  scene.Root()->AttachObject(object);
  window->AddViewport(0, 0, 1, 1)->SetScene(&scene);

  for (uint32_t color : {kRed, kGreen}) {
    inner->SetClearColor(color);
    window->RenderAll();
    EXPECT_EQ(surface.Frame()[4 * 8 + 4], color);
  }
  window->Viewport(0)->SetScene(nullptr);
}

TEST_F(TRenderTargetTest, MultisampledWindowsSmoothEdgesAndPresentTheResolvedFrame) {
  const auto& offered = Core->Adapter().MultiSampleTypes;
  if (offered.size() < 2) GTEST_SKIP() << "the driver offers no multisampling";
  auto effect = MakeRef<TGXEffect>(nullptr, "White.fx", true);
  effect->SetSourceText(R"(
float4x4 World : WORLD;
vertexshader VS { in vec3 vPosition; void main() { gl_Position = vec4(vPosition, 1) * World; } }
pixelshader PS { out vec4 fragment; void main() { fragment = vec4(1, 1, 1, 1); } }
technique T { pass { VertexShader = VS; PixelShader = PS; CullMode = None; ZEnable = false; } }
)");
  auto material = MakeRef<TGXMaterial>(nullptr, "White", true);
  material->SetEffect(effect);
  material->Load();
  // Half the view below its diagonal: with samples the edge pixels are grey.
  const float v[] = {-1, -1, 0.5f, 1, -1, 0.5f, -1, 1, 0.5f};
  auto mixedPixels = [&](uint32_t samples) {
    TGXOffscreenSurface surface(16, 16);
    const TGXPresentParameters parameters = GXInitPresentParameters(nullptr, samples, true, true);
    auto window = MakeRef<TGXRenderWindow>(&surface, &parameters);
    TGXGLRenderDevice& device = Core->Device();
    auto vb = device.CreateVertexBuffer(sizeof v);
    static_cast<TGXGLVertexBuffer*>(vb.Get())->Write(0, v, sizeof v);
    const TGXVertexElement elements[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0}};
    TTestPrimitive primitive;
    primitive.Material = material;
    primitive.VertexGeometry = TGXVertexGeometry{0, 3, device.CreateVertexDeclaration(elements), {vb}, {12}};
    TGXScene scene;
    auto* object = new TTestObject(Box(-1, -1, -1, 1, 1, 1));
    object->Primitives = {&primitive};
    scene.Root()->AttachObject(object);
    TGXViewport* view = window->AddViewport(0, 0, 1, 1);
    view->SetScene(&scene);
    view->SetClearColor(0xFF000000);
    window->RenderAll();
    view->SetScene(nullptr);
    int mixed = 0, white = 0;
    for (uint32_t p : surface.Frame()) {
      if (p == 0xFFFFFFFF) ++white;
      else if (p != 0xFF000000) ++mixed;
    }
    EXPECT_GT(white, 100) << samples;
    return mixed;
  };
  EXPECT_EQ(mixedPixels(0), 0);
  EXPECT_GT(mixedPixels(offered.back()), 8);
  EXPECT_EQ(mixedPixels(offered.back() + 1000), 0);  // a count not offered: none
}

TEST_F(TRenderTargetTest, SamplersWithoutOwnFilteringFollowTheAdaptersFilterLevel) {
  TGXOffscreenSurface surface(16, 1);
  auto window = MakeRef<TGXRenderWindow>(&surface);
  EXPECT_EQ(Core->Device().FilterLevel().MipFilter, Core->Adapter().FilterLevels[0].MipFilter);
  // A 2 x 1 texture, red and green, stretched over 16 pixels by an effect whose sampler names no
  // filter: pixel 6 lies between the texel centres.
  auto texture = MakeRef<TGXRenderTexture>(2, 1);
  texture->AddViewport(0, 0, 0.5f, 1)->SetClearColor(kRed);
  texture->AddViewport(0.5f, 0, 0.5f, 1)->SetClearColor(kGreen);
  texture->RenderAll();
  auto effect = MakeRef<TGXEffect>(nullptr, "Unfiltered.fx", true);
  std::string text = kSampling;
  text.replace(text.find("MinFilter = Point; MagFilter = Point; MipFilter = None; "), 56, "");
  effect->SetSourceText(text);
  auto material = MakeRef<TGXMaterial>(nullptr, "Unfiltered", true);
  material->SetEffect(effect);
  material->Load();
  material->FindTexture("Map")->SetDeviceTexture(texture->Texture()->GetDeviceTexture());
  TGXGLRenderDevice& device = Core->Device();
  const float v[] = {-1, 1, 0.5f, 0, 0, 1, 1, 0.5f, 1, 0, 1, -1, 0.5f, 1, 1,
                     -1, 1, 0.5f, 0, 0, 1, -1, 0.5f, 1, 1, -1, -1, 0.5f, 0, 1};
  auto vb = device.CreateVertexBuffer(sizeof v);
  static_cast<TGXGLVertexBuffer*>(vb.Get())->Write(0, v, sizeof v);
  const TGXVertexElement elements[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0},
                                       {0, 12, GXDeclFloat2, 0, GXUsageTexCoord, 0}};
  TTestPrimitive primitive;
  primitive.Material = material;
  primitive.VertexGeometry = TGXVertexGeometry{0, 6, device.CreateVertexDeclaration(elements), {vb}, {20}};
  TGXScene scene;
  auto* object = new TTestObject(Box(-1, -1, -1, 1, 1, 1));
  object->Primitives = {&primitive};
  scene.Root()->AttachObject(object);
  window->AddViewport(0, 0, 1, 1)->SetScene(&scene);
  window->RenderAll();
  const uint32_t blended = surface.Frame()[6];
  EXPECT_NE(blended, kRed);
  EXPECT_GT((blended >> 8) & 0xFF, 0u);
  device.SetFilterLevel({1, 1, 0, 1});
  window->RenderAll();
  EXPECT_EQ(surface.Frame()[6], kRed);
  // A reset brings the adapter's level back; an index beyond the levels is a programming error.
  Core->Adapter().FilterLevel = 99;
  EXPECT_THROW(window->SetPresentParameters(window->PresentParameters()), EGXAssertion);
  Core->Adapter().FilterLevel = 0;
  window->SetPresentParameters(window->PresentParameters());
  texture->RenderAll();  // made anew by the reset
  material->FindTexture("Map")->SetDeviceTexture(texture->Texture()->GetDeviceTexture());
  window->RenderAll();
  EXPECT_EQ(surface.Frame()[6], blended);
  window->Viewport(0)->SetScene(nullptr);
}

TEST_F(TRenderTargetTest, LostDeviceSkipsFramesUntilTheResetRecreatesEverything) {
  TGXOffscreenSurface surface(8, 8);
  auto window = MakeRef<TGXRenderWindow>(&surface);
  window->AddViewport(0, 0, 1, 1)->SetClearColor(kGreen);
  auto texture = MakeRef<TGXRenderTexture>(4, 4);
  texture->AddViewport(0, 0, 1, 1)->SetClearColor(kBlue);
  TCallback first, second;
  first.Core = Core.get();
  first.Victim = &second;  // freed by the first one's handler
  Core->RegisterDeviceCallback(&first);
  Core->RegisterDeviceCallback(&second);
  Core->RegisterDeviceCallback(&first);  // counted once

  // Recreation shows in the serial: a new texture may reuse the old one's address and GL name.
  const uint64_t before = texture->Texture()->GetDeviceTexture()->Serial();
  Core->LoseDevice();
  EXPECT_EQ(first.Lost, 1);
  EXPECT_EQ(second.Lost, 0);
  EXPECT_EQ(window->ColorSurface(), nullptr);
  EXPECT_EQ(texture->Texture()->GetDeviceTexture(), nullptr);
  EXPECT_FALSE(Core->Device().BeginScene());
  window->RenderAll();  // no frame; the primary window resets the device
  EXPECT_EQ(surface.PresentCount(), 0);
  EXPECT_FALSE(Core->Device().Lost());
  EXPECT_EQ(first.Reset, 1);
  ASSERT_NE(window->ColorSurface(), nullptr);
  ASSERT_NE(texture->Texture()->GetDeviceTexture(), nullptr);
  EXPECT_NE(texture->Texture()->GetDeviceTexture()->Serial(), before);
  window->RenderAll();
  EXPECT_EQ(surface.PresentCount(), 1);
  EXPECT_EQ(surface.Frame()[0], kGreen);
  texture->RenderAll();
  EXPECT_EQ(Core->Device().ReadPixels(texture->ColorSurface())[0], kBlue);
  Core->UnregisterDeviceCallback(&first);
}

TEST_F(TRenderTargetTest, CubeRenderTextureDrawsIntoTheSelectedFace) {
  auto cube = MakeRef<TGXCubeRenderTexture>(4);
  ASSERT_TRUE(cube->Texture()->GetDeviceTexture()->Cube());
  TGXViewport* viewport = cube->AddViewport(0, 0, 1, 1);
  const uint32_t colors[6] = {kRed, kGreen, kBlue, 0xFFFFFFFF, 0xFF808080, 0xFF000000};
  for (uint32_t face = 0; face < 6; ++face) {
    cube->SelectFace(face);
    viewport->SetClearColor(colors[face]);
    cube->RenderAll();
  }
  for (uint32_t face = 0; face < 6; ++face) {
    cube->SelectFace(face);
    EXPECT_EQ(Core->Device().ReadPixels(cube->ColorSurface())[5], colors[face]) << face;
  }
  EXPECT_THROW(cube->SelectFace(6), EInvalidParameter);
}

}  // namespace
}  // namespace gx::test
