#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/GXException.h"
#include "engine/render/GXRenderCore.h"
#include "tests/engine/render_gl/GXGLTestSupport.h"

namespace gx::test {
namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kBlack = 0xFF000000;

TGXViewportRect Rect(int x, int y, uint32_t w, uint32_t h) {
  TGXViewportRect r;
  r.X = x;
  r.Y = y;
  r.Width = w;
  r.Height = h;
  return r;
}

// A quad of two clockwise triangles (as seen in the image) over the clip rectangle, at depth z.
std::vector<TColorVertex> Quad(float x0, float y0, float x1, float y1, float z, uint32_t color) {
  return {{x0, y0, z, color}, {x0, y1, z, color}, {x1, y1, z, color},
          {x0, y0, z, color}, {x1, y1, z, color}, {x1, y0, z, color}};
}

using TGLDeviceTest = TGLTest;

TEST_F(TGLDeviceTest, ClearsOnlyTheViewportWithEveryChannelWhateverTheMasks) {
  BindTarget(8, 4);
  Device->SetViewport(Rect(0, 0, 8, 4));
  Device->Clear(GXClearTarget, kBlack, 1, 0);
  // A pass that masked all colour writes must not stop the clear.
  Device->SetRenderState(GXRSColorWriteEnable, 0);
  Device->SetViewport(Rect(0, 0, 4, 2));  // top left
  Device->Clear(GXClearTarget, kRed, 1, 0);
  Device->SetViewport(Rect(4, 2, 4, 2));  // bottom right
  Device->Clear(GXClearTarget | GXClearZBuffer, 0x80000000 | (kBlue & 0xFFFFFF), 1, 0);
  const auto pixels = Device->ReadPixels(Target.Get());
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 8; ++x) {
      const uint32_t expected = x < 4 && y < 2 ? kRed : x >= 4 && y >= 2 ? 0x800000FF : kBlack;
      EXPECT_EQ(Pixel(pixels, x, y), expected) << x << "," << y;
    }
}

TEST_F(TGLDeviceTest, ReadsAnX8SurfaceAsOpaque) {
  Target = Device->CreateRenderTarget(2, 2, GXFormatX8R8G8B8);
  Device->SetRenderTarget(Target.Get());
  Device->SetViewport(Rect(0, 0, 2, 2));
  Device->Clear(GXClearTarget, 0x00123456, 1, 0);
  for (uint32_t p : Device->ReadPixels(Target.Get())) EXPECT_EQ(p, 0xFF123456);
}

// Triangle (-0.5, -0.5), (0, 0.5), (0.5, -0.5) runs clockwise as seen in the image; reversed it
// runs counter-clockwise. Cull mode 3 (the default) drops counter-clockwise triangles, 2 clockwise.
struct TCullCase {
  uint32_t CullMode;
  bool Clockwise;
  bool Drawn;
};

class TGLCullTest : public TGLTest, public ::testing::WithParamInterface<TCullCase> {};

TEST_P(TGLCullTest, DrawsOrCullsByWindingAndMode) {
  const TCullCase c = GetParam();
  BindTarget(16, 16);
  Device->Clear(GXClearTarget, kBlack, 1, 0);
  ColorProgram();
  std::vector<TColorVertex> triangle = {{-0.5f, -0.5f, 0.5f, kGreen}, {0, 0.5f, 0.5f, kGreen}, {0.5f, -0.5f, 0.5f, kGreen}};
  if (!c.Clockwise) std::swap(triangle[1], triangle[2]);
  BindVertices(triangle);
  Device->SetRenderState(GXRSCullMode, c.CullMode);
  ASSERT_TRUE(Device->BeginScene());
  Device->DrawPrimitive(GXTriangleList, 0, 1);
  Device->EndScene();
  const auto pixels = Device->ReadPixels(Target.Get());
  EXPECT_EQ(Pixel(pixels, 8, 9), c.Drawn ? kGreen : kBlack);
  if (c.Drawn) {
    // The apex at clip y = +0.5 is at the image top: row 4 is covered near the centre only,
    // row 11 (the base) nearly across.
    EXPECT_EQ(Pixel(pixels, 8, 5), kGreen);
    EXPECT_EQ(Pixel(pixels, 5, 5), kBlack);
    EXPECT_EQ(Pixel(pixels, 5, 11), kGreen);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, TGLCullTest,
                         ::testing::Values(TCullCase{GXCullNone, true, true}, TCullCase{GXCullNone, false, true},
                                           TCullCase{GXCullCounterClockwise, true, true},
                                           TCullCase{GXCullCounterClockwise, false, false},
                                           TCullCase{GXCullClockwise, true, false},
                                           TCullCase{GXCullClockwise, false, true}));

TEST_F(TGLDeviceTest, DepthUsesTheZeroToOneRangeOfTheProjection) {
  BindTarget(8, 8, true);
  Device->Clear(GXClearTarget | GXClearZBuffer, kBlack, 1, 0);
  ColorProgram();
  // The far quad is drawn last but stays behind; at z = 0.05 and 0.1 both lie in [0, 1] only
  // when depth is mapped from the stored range, not GL's [-1, 1].
  auto near = Quad(-1, -1, 1, 1, 0.05f, kRed);
  auto far = Quad(-1, -1, 1, 1, 0.1f, kBlue);
  near.insert(near.end(), far.begin(), far.end());
  BindVertices(near);
  ASSERT_TRUE(Device->BeginScene());
  Device->DrawPrimitive(GXTriangleList, 0, 4);
  Device->EndScene();
  EXPECT_EQ(Device->ReadPixels(Target.Get())[27], kRed);
  // A quad behind the far plane is clipped away.
  BindVertices(Quad(-1, -1, 1, 1, 1.5f, kGreen));
  Device->SetRenderState(GXRSZEnable, 0);
  Device->DrawPrimitive(GXTriangleList, 0, 2);
  EXPECT_EQ(Device->ReadPixels(Target.Get())[27], kRed);
}

// Attribute arrays are switched on and off only as declarations change: an attribute the new
// declaration lacks must be off (the shader then reads GL's constant 0, 0, 0, 1), and one it
// brings back must be on again.
TEST_F(TGLDeviceTest, DeclarationsSwitchTheirAttributesOnAndOff) {
  BindTarget(4, 4);
  ColorProgram();
  auto enabled = [](GLuint location) {
    GLint on = -1;
    glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &on);
    return on;
  };
  const TGXVertexElement positionOnly[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0}};
  auto bare = Device->CreateVertexDeclaration(positionOnly);
  for (int round = 0; round < 2; ++round) {
    Device->Clear(GXClearTarget, kBlue, 1, 0);
    BindVertices(Quad(-1, -1, 1, 1, 0.5f, kRed));
    Device->DrawPrimitive(GXTriangleList, 0, 2);
    EXPECT_EQ(Device->ReadPixels(Target.Get())[5], kRed) << round;
    EXPECT_EQ(enabled(0), 1) << round;
    EXPECT_EQ(enabled(2), 1) << round;
    EXPECT_EQ(enabled(1), 0) << round;

    Device->Clear(GXClearTarget, kBlue, 1, 0);
    Device->SetVertexDeclaration(bare.Get());
    Device->DrawPrimitive(GXTriangleList, 0, 2);
    EXPECT_EQ(Device->ReadPixels(Target.Get())[5], kBlack) << round;
    EXPECT_EQ(enabled(0), 1) << round;
    EXPECT_EQ(enabled(2), 0) << round;
  }
}

TEST_F(TGLDeviceTest, AlphaBlendingFollowsTheBlendStates) {
  BindTarget(4, 4);
  Device->Clear(GXClearTarget, kBlue, 1, 0);
  ColorProgram();
  BindVertices(Quad(-1, -1, 1, 1, 0.5f, 0x80FF0000));
  Device->SetRenderState(GXRSAlphaBlendEnable, 1);
  Device->SetRenderState(GXRSSrcBlend, 5);   // source alpha
  Device->SetRenderState(GXRSDestBlend, 6);  // inverse source alpha
  Device->DrawPrimitive(GXTriangleList, 0, 2);
  const uint32_t p = Device->ReadPixels(Target.Get())[5];
  EXPECT_NEAR(int((p >> 16) & 0xFF), 128, 2);
  EXPECT_NEAR(int(p & 0xFF), 127, 2);
}

TEST_F(TGLDeviceTest, DrawsIndexedWith16And32BitIndicesAndABaseVertex) {
  for (uint32_t format : {uint32_t(GXFormatIndex16), uint32_t(GXFormatIndex32)}) {
    BindTarget(8, 8);
    Device->Clear(GXClearTarget, kBlack, 1, 0);
    ColorProgram();
    // Four unused vertices, then the left half (red) and the right half (green) as quads.
    std::vector<TColorVertex> v(4, TColorVertex{0, 0, 0, kBlue});
    for (auto [x0, x1, c] : {std::tuple{-1.0f, 0.0f, kRed}, std::tuple{0.0f, 1.0f, kGreen}}) {
      v.push_back({x0, -1, 0.5f, c});
      v.push_back({x0, 1, 0.5f, c});
      v.push_back({x1, 1, 0.5f, c});
      v.push_back({x1, -1, 0.5f, c});
    }
    BindVertices(v);
    const uint32_t idx[] = {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7};
    const uint32_t size = format == GXFormatIndex32 ? 4 : 2;
    auto indices = Device->CreateIndexBuffer(12 * size, format);
    for (uint32_t i = 0; i < 12; ++i) static_cast<TGXGLIndexBuffer*>(indices.Get())->Write(i * size, &idx[i], size);
    Device->SetIndices(indices.Get());
    Device->CreateIndexBuffer(4, format);  // making another buffer leaves the bound one bound
    Device->DrawIndexedPrimitive(GXTriangleList, 4, 0, 8, 0, 4);
    const auto pixels = Device->ReadPixels(Target.Get());
    EXPECT_EQ(Pixel(pixels, 1, 4), kRed) << format;
    EXPECT_EQ(Pixel(pixels, 6, 4), kGreen) << format;
  }
}

// Draws reaching past a buffer would let the driver read foreign memory: they are refused.
TEST_F(TGLDeviceTest, RefusesDrawsBeyondTheBuffers) {
  BindTarget(4, 4);
  ColorProgram();
  BindVertices(Quad(-1, -1, 1, 1, 0.5f, kRed));  // 6 vertices
  EXPECT_THROW(Device->DrawPrimitive(GXTriangleList, 1, 2), EInvalidParameter);
  EXPECT_THROW(Device->DrawPrimitive(GXTriangleList, 0xFFFFFFF0u, 2), EInvalidParameter);
  auto indices = Device->CreateIndexBuffer(6 * 2, GXFormatIndex16);
  const uint16_t idx[] = {0, 1, 2, 3, 4, 6};
  static_cast<TGXGLIndexBuffer*>(indices.Get())->Write(0, idx, sizeof idx);
  Device->SetIndices(indices.Get());
  EXPECT_NO_THROW(Device->DrawIndexedPrimitive(GXTriangleList, 0, 0, 6, 0, 1));
  EXPECT_THROW(Device->DrawIndexedPrimitive(GXTriangleList, 0, 0, 6, 3, 1), EInvalidParameter);  // index 6
  EXPECT_THROW(Device->DrawIndexedPrimitive(GXTriangleList, 0, 0, 6, 3, 2), EInvalidParameter);  // past end
  EXPECT_THROW(Device->DrawIndexedPrimitive(GXTriangleList, -1, 0, 6, 0, 1), EInvalidParameter);
  EXPECT_THROW(static_cast<TGXGLIndexBuffer*>(indices.Get())->Write(10, idx, 4), EInvalidParameter);
  Device->SetStreamSource(0, nullptr, 0, 0);
  EXPECT_THROW(Device->DrawPrimitive(GXTriangleList, 0, 1), EInvalidParameter);
}

// A second stream that advances per instance moves each copy of a quad; after it a declaration
// without that stream draws one quad again (the divisor goes back to per vertex).
TEST_F(TGLDeviceTest, InstancedStreamsAdvancePerInstanceAndAreChecked) {
  BindTarget(8, 2);
  const uint32_t program = BuildProgram(
      "#version 330 core\n"
      "in vec4 vPosition; in vec4 vColor0; in vec4 vTexCoord4; uniform mat4 ClipFix; out vec4 color;\n"
      "void main() { gl_Position = (vPosition + vec4(vTexCoord4.xy, 0, 0)) * ClipFix; color = vColor0; }\n",
      "#version 330 core\n"
      "in vec4 color; out vec4 fragment;\n"
      "void main() { fragment = color; }\n");
  Device->UseProgram(program);
  const TGXMatrix fix = Device->ClipFix();
  glUniformMatrix4fv(glGetUniformLocation(program, "ClipFix"), 1, GL_TRUE, &fix.m[0][0]);
  BindVertices(Quad(-1, -1, -0.5f, 1, 0.5f, kGreen));  // the left quarter
  const float offsets[] = {0, 0, 0, 0, 1, 0, 0, 0, 1.5f, 0, 0, 0};  // quarters 0, 2 and 3
  auto instances = Device->CreateVertexBuffer(sizeof offsets);
  static_cast<TGXGLVertexBuffer*>(instances.Get())->Write(0, offsets, sizeof offsets);
  const TGXVertexElement elements[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0},
                                       {0, 12, GXDeclColor, 0, GXUsageColor, 0},
                                       {1, 0, GXDeclFloat4, 0, GXUsageTexCoord, 4}};
  const uint32_t frequencies[] = {0, 1};
  auto instanced = Device->CreateVertexDeclaration(elements, frequencies);
  auto indices = Device->CreateIndexBuffer(6 * 2, GXFormatIndex16);
  const uint16_t idx[] = {0, 1, 2, 3, 4, 5};
  static_cast<TGXGLIndexBuffer*>(indices.Get())->Write(0, idx, sizeof idx);
  Device->SetIndices(indices.Get());
  Device->SetVertexDeclaration(instanced.Get());
  Device->SetStreamSource(1, instances.Get(), 0, 16);
  Device->Clear(GXClearTarget, kBlack, 1, 0);
  Device->DrawIndexedPrimitiveInstanced(GXTriangleList, 0, 0, 6, 0, 2, 3);
  auto pixels = Device->ReadPixels(Target.Get());
  for (uint32_t x = 0; x < 8; ++x) EXPECT_EQ(Pixel(pixels, x, 1), x / 2 == 1 ? kBlack : kGreen) << x;
  // A fourth instance would read past the buffer; a plain draw reads instance 0.
  EXPECT_THROW(Device->DrawIndexedPrimitiveInstanced(GXTriangleList, 0, 0, 6, 0, 2, 4), EInvalidParameter);
  Device->SetStreamSource(1, nullptr, 0, 0);
  EXPECT_THROW(Device->DrawIndexedPrimitive(GXTriangleList, 0, 0, 6, 0, 2), EInvalidParameter);

  Device->Clear(GXClearTarget, kBlack, 1, 0);
  const TGXVertexElement perVertex[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0},
                                        {0, 12, GXDeclColor, 0, GXUsageColor, 0},
                                        {0, 0, GXDeclFloat4, 0, GXUsageTexCoord, 4}};
  auto plain = Device->CreateVertexDeclaration(perVertex);
  Device->SetVertexDeclaration(plain.Get());
  Device->DrawIndexedPrimitiveInstanced(GXTriangleList, 0, 0, 6, 0, 2, 3);
  pixels = Device->ReadPixels(Target.Get());
  GLint divisor = -1;
  glGetVertexAttribiv(GLuint(GXGLAttributeLocation(GXUsageTexCoord, 4)), GL_VERTEX_ATTRIB_ARRAY_DIVISOR, &divisor);
  EXPECT_EQ(divisor, 0);
  EXPECT_EQ(Pixel(pixels, 6, 1), kBlack);
  const uint32_t tooMany[GXMaxVertexStreams + 1] = {};
  EXPECT_THROW(Device->CreateVertexDeclaration(elements, tooMany), EInvalidParameter);
  glDeleteProgram(program);
}

TEST_F(TGLDeviceTest, RejectsUnusableSurfacesAndDeclarations) {
  EXPECT_THROW(Device->CreateRenderTarget(0, 4, GXFormatA8R8G8B8), EDirect3D);
  EXPECT_THROW(Device->CreateRenderTarget(1u << 30, 4, GXFormatA8R8G8B8), EDirect3D);
  EXPECT_THROW(Device->CreateRenderTarget(4, 4, GXFormatD16), EDirect3D);
  EXPECT_THROW(Device->CreateIndexBuffer(7, GXFormatIndex16), EDirect3D);
  const TGXVertexElement bad[] = {{0, 0, 99, 0, GXUsagePosition, 0}};
  EXPECT_THROW(Device->CreateVertexDeclaration(bad), EInvalidParameter);
  const TGXVertexElement twice[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0},
                                    {1, 0, GXDeclFloat3, 0, GXUsagePosition, 0}};
  EXPECT_THROW(Device->CreateVertexDeclaration(twice), EInvalidParameter);
}

TEST_F(TGLDeviceTest, DepthBiasSettlesCoplanarQuads) {
  for (float bias : {0.0f, -0.0005f}) {
    BindTarget(4, 4, true);
    Device->Clear(GXClearTarget | GXClearZBuffer, kBlack, 1, 0);
    ColorProgram();
    auto quads = Quad(-1, -1, 1, 1, 0.5f, kRed);
    auto second = Quad(-1, -1, 1, 1, 0.5f, kGreen);
    quads.insert(quads.end(), second.begin(), second.end());
    BindVertices(quads);
    Device->SetRenderState(GXRSZFunc, 2);  // less: an equal depth loses
    Device->DrawPrimitive(GXTriangleList, 0, 2);
    uint32_t bits;
    std::memcpy(&bits, &bias, 4);
    Device->SetRenderState(GXRSDepthBias, bits);
    Device->DrawPrimitive(GXTriangleList, 6, 2);
    Device->SetRenderState(GXRSDepthBias, 0);
    EXPECT_EQ(Device->ReadPixels(Target.Get())[5], bias == 0 ? kRed : kGreen) << bias;
  }
}

TEST_F(TGLDeviceTest, ALostDeviceBeginsNoScene) {
  Device->SetLost(true);
  EXPECT_FALSE(Device->BeginScene());
  Device->SetLost(false);
  EXPECT_TRUE(Device->BeginScene());
  Device->EndScene();
}

TEST(TGLRenderCoreTest, ReadsTheAdapterFromGL) {
  std::unique_ptr<TGXRenderCore> core;
  ASSERT_NO_THROW(core = std::make_unique<TGXRenderCore>());
  const TGXRenderAdapter& a = core->Adapter();
  EXPECT_FALSE(a.Info.Renderer.empty());
  EXPECT_GE(a.Info.MajorVersion * 10 + a.Info.MinorVersion, 33);
  EXPECT_GE(a.Info.MaxTextureSize, 1024);
  EXPECT_EQ(a.BestDepthFormat(), uint32_t(GXFormatD32));
  ASSERT_FALSE(a.FilterLevels.empty());
  EXPECT_EQ(a.FilterLevels[0].MipFilter, 1u);
  // A CPU rasteriser offers no anisotropic level (its anisotropic sampling stalled single draws
  // for seconds).
  EXPECT_EQ(a.Info.Software, GXIsSoftwareRasterizer(a.Info.Renderer));
  if (a.Info.Software) {
    EXPECT_FALSE(a.Info.Anisotropic);
    for (const TGXTextureFilterLevel& level : a.FilterLevels) EXPECT_EQ(level.MaxAnisotropy, 1u);
  }
}

TEST(TGLRenderCoreTest, RecognisesSoftwareRasterizers) {
  const std::pair<const char*, bool> cases[] = {
      {"llvmpipe (LLVM 15.0.6, 256 bits)", true}, {"Softpipe", true}, {"Mesa DRI swrast", true},
      {"Generic Software Rasterizer", true},      {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
      {"AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6)", false}, {"", false}};
  for (const auto& [renderer, software] : cases) EXPECT_EQ(GXIsSoftwareRasterizer(renderer), software) << renderer;
}

TEST(TGLFilterLevelTest, FollowTheAdaptersAnisotropy) {
  EXPECT_EQ(GXFilterLevels(false, 1).size(), 2u);
  auto two = GXFilterLevels(true, 2);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[1].MinFilter, 3u);
  EXPECT_EQ(two[1].MaxAnisotropy, 2u);
  auto sixteen = GXFilterLevels(true, 16);
  ASSERT_EQ(sixteen.size(), 3u);
  EXPECT_EQ(sixteen[1].MaxAnisotropy, 2u);
  EXPECT_EQ(sixteen[2].MaxAnisotropy, 16u);
}

}  // namespace
}  // namespace gx::test
