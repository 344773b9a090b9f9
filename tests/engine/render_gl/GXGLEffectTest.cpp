#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/core/GXException.h"
#include "engine/render/GXDdsReader.h"
#include "engine/render/GXGLEffect.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXScene.h"
#include "tests/engine/render/GXRenderTestSupport.h"

namespace gx::test {
namespace {

const char* const kFlatEffect = R"(
float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;
float4 Color = {1, 1, 1, 1};
vertexshader VS {
  in vec3 vPosition;
  void main() { gl_Position = vec4(vPosition, 1) * World * ViewProjection; }
}
pixelshader PS {
  out vec4 fragment;
  void main() { fragment = Color; }
}
technique Flat { pass { VertexShader = VS; PixelShader = PS; CullMode = None; } }
technique Blend {
  pass {
    VertexShader = VS; PixelShader = PS; CullMode = None;
    AlphaBlendEnable = true; SrcBlend = SrcAlpha; DestBlend = InvSrcAlpha;
  }
}
)";

// Draws through the renderer into a 16 x 8 target: a viewport without camera (identity view
// and projection), primitives of a unit quad placed by their world matrices.
class TGLEffectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      Core = std::make_unique<TGXRenderCore>();
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
    TGXGLRenderDevice& device = Core->Device();
    Target = MakeRef<TGXRenderTarget>(16, 8);
    Target->SetSurfaces(device.CreateRenderTarget(16, 8, GXFormatA8R8G8B8),
                        device.CreateDepthStencilSurface(16, 8, GXFormatD24X8));
    Viewport = Target->AddViewport(0, 0, 1, 1);
    Viewport->SetScene(&Scene);
    Viewport->SetClearColor(0xFF000000);
    const float quad[] = {-0.5f, -1, 0.5f, -0.5f, 1, 0.5f, 0.5f, 1, 0.5f,
                          -0.5f, -1, 0.5f, 0.5f, 1, 0.5f, 0.5f, -1, 0.5f};
    auto vb = device.CreateVertexBuffer(sizeof quad);
    static_cast<TGXGLVertexBuffer*>(vb.Get())->Write(0, quad, sizeof quad);
    const TGXVertexElement position[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0}};
    Geometry = TGXVertexGeometry{0, 6, device.CreateVertexDeclaration(position), {vb}, {12}};
    Effect = MakeRef<TGXEffect>(nullptr, "flat.fx", true);
    GXBuildGLEffect(*Effect, device, Core->EffectParameters(), kFlatEffect);
  }
  void TearDown() override {
    Primitives.clear();
    Materials.clear();
    Effect.Reset();
    Viewport = nullptr;
    Target.Reset();
    Core.reset();
  }

  TGXRef<TGXMaterial> Material(std::vector<float> color, const char* technique = "Flat") {
    auto m = MakeRef<TGXMaterial>(nullptr, std::string("M").append(std::to_string(Materials.size())), true);
    m->SetEffect(Effect);
    m->Load();
    m->SetTechnique(Effect->FindTechnique(technique));
    m->FindValue("Color")->SetFloats(color);
    Materials.push_back(m);
    return m;
  }

  // The quad moved by dx in clip space, queued at the node's distance z.
  void Place(const TGXRef<TGXMaterial>& material, float dx, float z) {
    auto p = std::make_unique<TTestPrimitive>();
    p->Material = material;
    p->VertexGeometry = Geometry;
    p->HasWorld = true;
    p->World = GXMatrixTranslation(dx, 0, 0);
    auto* node = new TGXSceneNode("Object", Scene.Root());
    node->SetPosition({0, 0, z});
    auto* object = new TTestObject(Box(-1, -1, -1, 1, 1, 1));
    object->Primitives = {p.get()};
    node->AttachObject(object);
    Primitives.push_back(std::move(p));
  }

  std::vector<uint32_t> Render() {
    Core->Renderer().Render(*Viewport);
    return Core->Device().ReadPixels(Target->ColorSurface());
  }

  std::unique_ptr<TGXRenderCore> Core;
  TGXScene Scene;
  TGXRef<TGXRenderTarget> Target;
  TGXViewport* Viewport = nullptr;
  TGXVertexGeometry Geometry;
  TGXRef<TGXEffect> Effect;
  std::vector<TGXRef<TGXMaterial>> Materials;
  std::vector<std::unique_ptr<TTestPrimitive>> Primitives;
};

TEST_F(TGLEffectTest, TwoMaterialsOfOneEffectDrawTheirOwnValuesSideBySide) {
  // Both items share technique and pass: the second material's colour reaches the GPU only
  // through the commit before its draw.
  Place(Material({1, 0, 0, 1}), -0.5f, 10);
  Place(Material({0, 1, 0, 1}), 0.5f, 11);
  const auto pixels = Render();
  EXPECT_EQ(pixels[4 * 16 + 3], 0xFFFF0000u);
  EXPECT_EQ(pixels[4 * 16 + 12], 0xFF00FF00u);
  // Rendered again, nothing went stale between the frames.
  const auto again = Render();
  EXPECT_EQ(again, pixels);
}

TEST_F(TGLEffectTest, EachViewportClearsItsOwnRectangleWithItsOwnColour) {
  // Left half red, right half green; then the right one with flags 0 keeps what it had while
  // the left is cleared blue.
  Viewport->SetRect(0, 0, 0.5f, 1);
  Viewport->SetClearColor(0xFFFF0000);
  TGXViewport* right = Target->AddViewport(0.5f, 0, 0.5f, 1);
  right->SetClearColor(0xFF00FF00);
  Target->Render(Core->Renderer());
  auto pixels = Core->Device().ReadPixels(Target->ColorSurface());
  EXPECT_EQ(pixels[3 * 16 + 7], 0xFFFF0000u);
  EXPECT_EQ(pixels[3 * 16 + 8], 0xFF00FF00u);
  Viewport->SetClearColor(0xFF0000FF);
  right->SetClearFlags(0);
  Target->Render(Core->Renderer());
  pixels = Core->Device().ReadPixels(Target->ColorSurface());
  EXPECT_EQ(pixels[0], 0xFF0000FFu);
  EXPECT_EQ(pixels[7 * 16 + 15], 0xFF00FF00u);
}

TEST_F(TGLEffectTest, BlendedItemsAreDrawnBackToFrontAndTheStateIsPutBack) {
  ASSERT_TRUE(Effect->FindTechnique("Blend")->Pass(0)->AlphaBlend());
  ASSERT_FALSE(Effect->FindTechnique("Flat")->Pass(0)->AlphaBlend());
  // Queued near first; drawn far (blue) first, then near (red) over it.
  Place(Material({1, 0, 0, 0.5f}, "Blend"), 0, 10);
  Place(Material({0, 0, 1, 0.5f}, "Blend"), 0, 20);
  const uint32_t p = Render()[4 * 16 + 8];
  EXPECT_NEAR(int((p >> 16) & 0xFF), 128, 3);  // red: 0.5
  EXPECT_NEAR(int(p & 0xFF), 64, 3);           // blue: 0.5 * 0.5
  EXPECT_EQ(Core->Device().RenderState(GXRSAlphaBlendEnable), 0u);
}

TEST_F(TGLEffectTest, AutomaticParametersAreBoundBySemantic) {
  EXPECT_EQ(Effect->WorldParameterCount(), 1);
  EXPECT_EQ(Effect->AutoParameterCount(), 1);
  auto m = Material({1, 1, 1, 1});
  EXPECT_EQ(m->ParameterCount(), 1);  // only Color belongs to the material
  EXPECT_NE(m->FindParameter("Color"), nullptr);
  EXPECT_EQ(m->FindParameter("World"), nullptr);
}

TEST_F(TGLEffectTest, ShaderErrorsRaiseWithTheCompilerLog) {
  auto broken = MakeRef<TGXEffect>(nullptr, "broken.fx", true);
  const char* text =
      "vertexshader VS { void main() { gl_Position = undefinedThing; } }\n"
      "pixelshader PS { out vec4 f; void main() { f = vec4(1); } }\n"
      "technique T { pass { VertexShader = VS; PixelShader = PS; } }\n";
  try {
    GXBuildGLEffect(*broken, Core->Device(), Core->EffectParameters(), text);
    FAIL() << "no error";
  } catch (const EDirect3D& e) {
    EXPECT_NE(std::string(e.what()).find("D3DXCreateEffect failed"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("undefinedThing"), std::string::npos);
  }
  EXPECT_EQ(broken->TechniqueCount(), 0);
}

const char* const kTexturedEffect = R"(
float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;
texture Map;
sampler2D MapSampler { Texture = Map; MinFilter = Point; MagFilter = Point; MipFilter = None; AddressU = Clamp; AddressV = Clamp; };
vertexshader VS {
  in vec3 vPosition; in vec2 vTexCoord0; out vec2 uv;
  void main() { gl_Position = vec4(vPosition, 1) * World * ViewProjection; uv = vTexCoord0; }
}
pixelshader PS { in vec2 uv; out vec4 fragment; void main() { fragment = texture(MapSampler, uv); } }
technique T { pass { VertexShader = VS; PixelShader = PS; CullMode = None; } }
)";

// An 8 x 8 DXT1 file of four solid blocks: red, green (top), blue, white (bottom).
std::vector<uint8_t> QuadrantDxt1() {
  std::vector<uint8_t> f(128, 0);
  auto put = [&f](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
  put(0, 0x20534444);
  put(4, 124);
  put(8, 0x1007);
  put(12, 8);
  put(16, 8);
  put(76, 32);
  put(80, 0x4);
  put(84, GXFormatDXT1);
  for (uint16_t color : {uint16_t(0xF800), uint16_t(0x07E0), uint16_t(0x001F), uint16_t(0xFFFF)}) {
    const uint8_t block[8] = {uint8_t(color), uint8_t(color >> 8), 0, 0, 0, 0, 0, 0};  // all texels color 0
    f.insert(f.end(), block, block + 8);
  }
  return f;
}

TEST_F(TGLEffectTest, SamplesADxtTextureWithItsTopRowAtVZero) {
  TGXGLRenderDevice& device = Core->Device();
  const std::vector<uint8_t> file = QuadrantDxt1();
  auto texture = device.CreateTexture(GXReadDds(file), file);
  auto effect = MakeRef<TGXEffect>(nullptr, "textured.fx", true);
  GXBuildGLEffect(*effect, device, Core->EffectParameters(), kTexturedEffect);
  auto material = MakeRef<TGXMaterial>(nullptr, "Textured", true);
  material->SetEffect(effect);
  material->Load();
  ASSERT_NE(material->FindTexture("Map"), nullptr);
  material->FindTexture("Map")->SetDeviceTexture(texture);
  Materials.push_back(material);

  // Full-target quad, u to the right and v downwards as in the image.
  const float v[] = {-1, 1, 0.5f, 0, 0, 1, 1, 0.5f, 1, 0, 1, -1, 0.5f, 1, 1,
                     -1, 1, 0.5f, 0, 0, 1, -1, 0.5f, 1, 1, -1, -1, 0.5f, 0, 1};
  auto vb = device.CreateVertexBuffer(sizeof v);
  static_cast<TGXGLVertexBuffer*>(vb.Get())->Write(0, v, sizeof v);
  const TGXVertexElement elements[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0},
                                       {0, 12, GXDeclFloat2, 0, GXUsageTexCoord, 0}};
  Geometry = TGXVertexGeometry{0, 6, device.CreateVertexDeclaration(elements), {vb}, {20}};
  Place(material, 0, 10);
  const auto pixels = Render();
  EXPECT_EQ(pixels[2 * 16 + 2], 0xFFFF0000u);   // top left
  EXPECT_EQ(pixels[2 * 16 + 13], 0xFF00FF00u);  // top right
  EXPECT_EQ(pixels[6 * 16 + 2], 0xFF0000FFu);   // bottom left
  EXPECT_EQ(pixels[6 * 16 + 13], 0xFFFFFFFFu);  // bottom right
}

// A render texture drawn as an image (top half red, bottom half green) and then sampled in a
// second pass: its top must come out at the top, not mirrored.
TEST_F(TGLEffectTest, SamplesARenderTextureTheRightWayUp) {
  TGXGLRenderDevice& device = Core->Device();
  auto surface = device.CreateRenderTexture(8, 8, GXFormatX8R8G8B8);
  auto offscreen = MakeRef<TGXRenderTarget>(8, 8);
  offscreen->SetSurfaces(surface, nullptr);
  offscreen->AddViewport(0, 0, 1, 0.5f)->SetClearColor(0xFFFF0000);
  offscreen->AddViewport(0, 0.5f, 1, 0.5f)->SetClearColor(0xFF00FF00);
  for (int i = 0; i < 2; ++i) Core->Renderer().Render(*offscreen->Viewport(i));

  auto effect = MakeRef<TGXEffect>(nullptr, "textured.fx", true);
  GXBuildGLEffect(*effect, device, Core->EffectParameters(), kTexturedEffect);
  auto material = MakeRef<TGXMaterial>(nullptr, "Sampled", true);
  material->SetEffect(effect);
  material->Load();
  material->FindTexture("Map")->SetDeviceTexture(static_cast<TGXGLSurface*>(surface.Get())->Texture());
  Materials.push_back(material);
  const float v[] = {-1, 1, 0.5f, 0, 0, 1, 1, 0.5f, 1, 0, 1, -1, 0.5f, 1, 1,
                     -1, 1, 0.5f, 0, 0, 1, -1, 0.5f, 1, 1, -1, -1, 0.5f, 0, 1};
  auto vb = device.CreateVertexBuffer(sizeof v);
  static_cast<TGXGLVertexBuffer*>(vb.Get())->Write(0, v, sizeof v);
  const TGXVertexElement elements[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0},
                                       {0, 12, GXDeclFloat2, 0, GXUsageTexCoord, 0}};
  Geometry = TGXVertexGeometry{0, 6, device.CreateVertexDeclaration(elements), {vb}, {20}};
  Place(material, 0, 10);
  const auto pixels = Render();
  EXPECT_EQ(pixels[1 * 16 + 8], 0xFFFF0000u);
  EXPECT_EQ(pixels[6 * 16 + 8], 0xFF00FF00u);
}

}  // namespace
}  // namespace gx::test
