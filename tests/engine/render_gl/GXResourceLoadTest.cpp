// Effects, materials and textures loaded as resources through the engine's file system, and drawn.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXScene.h"
#include "engine/render/GXTexture.h"
#include "tests/engine/render/GXRenderTestSupport.h"

namespace gx::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> EncodePng(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_BGRA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
  std::vector<uint8_t> file(size);
  png_image_write_to_memory(&image, file.data(), &size, 0, pixels.data(), 0, nullptr);
  file.resize(size);
  return file;
}

// A 24-bit BMP of one colour.
std::vector<uint8_t> SolidBmp(uint32_t width, uint32_t height, uint32_t color) {
  const uint32_t stride = (width * 3 + 3) / 4 * 4;
  std::vector<uint8_t> f(54 + size_t(stride) * height, 0);
  auto put = [&f](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
  f[0] = 'B', f[1] = 'M';
  put(2, uint32_t(f.size()));
  put(10, 54);
  put(14, 40);
  put(18, width);
  put(22, height);
  f[26] = 1, f[28] = 24;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* p = &f[54 + size_t(y) * stride + x * 3];
      p[0] = uint8_t(color), p[1] = uint8_t(color >> 8), p[2] = uint8_t(color >> 16);
    }
  return f;
}

class TBytesLoader : public TGXDataLoader {
 public:
  TBytesLoader(std::string name, std::vector<uint8_t> bytes) : TGXDataLoader(std::move(name)), FBytes(std::move(bytes)) {}
  std::unique_ptr<TGXMemoryStream> LoadData() override { return std::make_unique<TGXMemoryStream>(FBytes); }

 private:
  std::vector<uint8_t> FBytes;
};

const char* const kCommon = R"(
float4x4 World : WORLD;
float4x4 ViewProjection : VIEWPROJECTION;
)";

const char* const kFlat = R"(
#include "Common.fxh"
float4 Color = {0, 0, 1, 1};
float3 Tint;
float Scale;
texture Map;
sampler2D MapSampler { Texture = Map; MinFilter = Point; MagFilter = Point; MipFilter = None; AddressU = Clamp; AddressV = Clamp; };
vertexshader VS {
  in vec3 vPosition; in vec2 vTexCoord0; out vec2 uv;
  void main() { gl_Position = vec4(vPosition, 1) * World * ViewProjection; uv = vTexCoord0; }
}
pixelshader PS {
  in vec2 uv; out vec4 fragment;
#ifdef TEXTURED
  void main() { fragment = texture(MapSampler, uv); }
#else
  void main() { fragment = Color; }
#endif
}
technique Main { pass { VertexShader = VS; PixelShader = PS; CullMode = None; } }
technique Shadow <string Kind = "SHADOWGENERATION";> { pass { VertexShader = VS; PixelShader = PS; } }
)";

// The engine with its Game root in a fresh folder, and a render core attached to it.
class TResourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velmora-render-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Dir = pattern;
    fs::create_directories(Dir + "/Shaders");
    Engine = TGXEngine::CreateEngine();
    Engine->FileSystem().SetRoot("Game", Dir);
    try {
      Engine->AttachRenderCore(std::make_unique<TGXRenderCore>());
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
    Core = static_cast<TGXRenderCore*>(Engine->RenderCore());
    Write("Shaders/Common.fxh", kCommon);
    Write("Shaders/Flat.fx", kFlat);
  }
  void TearDown() override {
    Engine.reset();
    fs::remove_all(Dir);
  }

  void Write(const std::string& path, std::string_view bytes) {
    std::ofstream(Dir + "/" + path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  }
  void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    Write(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  template <class T>
  TGXRef<T> Get(const std::string& name, bool unique = false, bool manual = false) {
    return Engine->ResourceManager().Get<T>(name, unique, manual);
  }

  // A material file: header, effect name, records of (class, name, value bytes).
  static std::vector<uint8_t> MaterialFile(const std::string& effect,
                                           const std::vector<std::pair<std::string, std::vector<uint8_t>>>& records) {
    TGXMemoryStream s;
    TGXSerializer(IID_IGXMaterial, 1).WriteFileHeader(s);
    WriteAnsiString(s, effect);
    WriteInteger(s, int32_t(records.size()));
    for (const auto& [name, value] : records) {
      WriteAnsiString(s, "TGXEffectParameterSource");
      WriteAnsiString(s, name);
      s.WriteBuffer(value.data(), int64_t(value.size()));
    }
    return s.Data();
  }
  static std::vector<uint8_t> Floats(std::initializer_list<float> values) {
    std::vector<uint8_t> bytes(values.size() * 4);
    std::memcpy(bytes.data(), values.begin(), bytes.size());
    return bytes;
  }
  static std::vector<uint8_t> Text(const std::string& text) {
    TGXMemoryStream s;
    WriteAnsiString(s, text);
    return s.Data();
  }

  // Draws a full-target quad (u right, v down) with the material into a 16 x 8 target.
  std::vector<uint32_t> DrawFullQuad(const IGXMaterial& material) {
    TGXGLRenderDevice& device = Core->Device();
    auto target = MakeRef<TGXRenderTarget>(16, 8);
    target->SetSurfaces(device.CreateRenderTarget(16, 8, GXFormatA8R8G8B8), nullptr);
    TGXScene scene;
    TGXViewport* viewport = target->AddViewport(0, 0, 1, 1);
    viewport->SetScene(&scene);
    const float v[] = {-1, 1, 0.5f, 0, 0, 1, 1, 0.5f, 1, 0, 1, -1, 0.5f, 1, 1,
                       -1, 1, 0.5f, 0, 0, 1, -1, 0.5f, 1, 1, -1, -1, 0.5f, 0, 1};
    auto vb = device.CreateVertexBuffer(sizeof v);
    static_cast<TGXGLVertexBuffer*>(vb.Get())->Write(0, v, sizeof v);
    const TGXVertexElement elements[] = {{0, 0, GXDeclFloat3, 0, GXUsagePosition, 0},
                                         {0, 12, GXDeclFloat2, 0, GXUsageTexCoord, 0}};
    TTestPrimitive primitive;
    primitive.Material = material;
    primitive.VertexGeometry = TGXVertexGeometry{0, 6, device.CreateVertexDeclaration(elements), {vb}, {20}};
    auto* object = new TTestObject(Box(-1, -1, -1, 1, 1, 1));
    object->Primitives = {&primitive};
    scene.Root()->AttachObject(object);
    Core->Renderer().Render(*viewport);
    auto pixels = device.ReadPixels(target->ColorSurface());
    viewport->SetScene(nullptr);
    return pixels;
  }

  std::string Dir;
  std::unique_ptr<TGXEngine> Engine;
  TGXRenderCore* Core = nullptr;
};

TEST_F(TResourceTest, EffectLoadsThroughTheFileSystemWithIncludesMacrosAndParameters) {
  auto effect = Get<TGXEffect>("Game:\\Shaders\\Flat.fx");
  EXPECT_EQ(Get<TGXEffect>("Game:\\Shaders\\Flat.fx"), effect);  // shared by name
  effect->Load();
  ASSERT_TRUE(effect->IsLoaded());
  EXPECT_EQ(effect->TechniqueCount(), 2);
  EXPECT_EQ(effect->FirstValidTechnique()->Name(), "Main");
  EXPECT_EQ(effect->SpecialTechnique(GXShadowGeneration), effect->FindTechnique("Shadow"));
  EXPECT_EQ(effect->SpecialTechnique(GXShadowMapping), nullptr);
  EXPECT_EQ(effect->SpecialTechnique(7), nullptr);
  // World and view-projection come from the manager; the rest belongs to materials.
  EXPECT_EQ(effect->WorldParameterCount(), 1);
  EXPECT_EQ(effect->AutoParameterCount(), 1);
  ASSERT_EQ(effect->ParameterCount(), 4);
  EXPECT_EQ(effect->Parameter(0).Source->ClassName(), "TGXEffectVector4Source");
  EXPECT_EQ(effect->Parameter(1).Source->ClassName(), "TGXEffectVector3Source");
  EXPECT_EQ(effect->Parameter(1).Source->DataSize(), 12u);
  EXPECT_EQ(effect->Parameter(2).Source->ClassName(), "TGXEffectSingleSource");
  EXPECT_EQ(effect->Parameter(3).Source->ClassName(), "TGXEffectTextureSource");
  EXPECT_TRUE(Core->DeviceCallbacks().Registered(effect.Get()));

  // A second effect of the same file gets its own program, but the same global sources.
  auto other = Get<TGXEffect>("Game:\\Shaders\\Flat.fx", true);
  other->SetMacros({"TEXTURED"});
  other->Load();
  EXPECT_TRUE(other->IsLoaded());
  EXPECT_NE(other.Get(), effect.Get());

  // Through a data loader the includes are found next to the loader's name.
  auto loaded = Get<TGXEffect>("Anything");
  loaded->SetDataLoader(MakeRef<TBytesLoader>("Game:\\Shaders\\Copy.fx", std::vector<uint8_t>(kFlat, kFlat + std::strlen(kFlat))));
  loaded->Load();
  EXPECT_TRUE(loaded->IsLoaded());
}

TEST_F(TResourceTest, EffectFailuresNameTheirCause) {
  auto missing = Get<TGXEffect>("Game:\\Shaders\\Missing.fx");
  EXPECT_THROW(missing->Load(), EGXPackageFileOpenError);
  EXPECT_TRUE(missing->IsFailed());

  Write("Shaders/NoInclude.fx", "#include \"Nowhere.fxh\"\n");
  auto noInclude = Get<TGXEffect>("Game:\\Shaders\\NoInclude.fx");
  try {
    noInclude->Load();
    FAIL() << "no error";
  } catch (const EDirect3D& e) {
    EXPECT_NE(std::string(e.what()).find("D3DXCreateEffect failed"), std::string::npos) << e.what();
  }
  Write("Shaders/Broken.fx", "float4 Color = {1, 2;\n");
  auto broken = Get<TGXEffect>("Game:\\Shaders\\Broken.fx");
  EXPECT_THROW(broken->Load(), EDirect3D);
  EXPECT_EQ(broken->TechniqueCount(), 0);
  EXPECT_NE(broken->LoadError().find("Broken.fx(1)"), std::string::npos) << broken->LoadError();
}

TEST_F(TResourceTest, MaterialFileGivesItsOwnValuesAndWritesTheSameBytes) {
  const auto file = MaterialFile("Game:\\Shaders\\Flat.fx", {{"Color", Floats({1, 0, 0, 1})},
                                                            {"Scale", Floats({2.5f})},
                                                            {"Map", Text("")}});
  Write("Red.gxmat", file);
  auto red = Get<TGXMaterial>("Game:\\Red.gxmat");
  red->Load();
  ASSERT_TRUE(red->IsLoaded());
  EXPECT_EQ(red->GetEffect(), Get<TGXEffect>("Game:\\Shaders\\Flat.fx"));
  EXPECT_EQ(red->GetTechnique()->Name(), "Main");
  ASSERT_EQ(red->ParameterCount(), 4);
  float scale = 0;
  std::memcpy(&scale, red->FindValue("Scale")->Data().data(), 4);
  EXPECT_EQ(scale, 2.5f);
  // A parameter the file does not set keeps the effect's initial value, or zero without one.
  EXPECT_EQ(red->FindValue("Tint")->Data(), std::vector<uint8_t>(12, 0));
  EXPECT_EQ(red->FindTexture("Map")->GetTexture(), nullptr);

  // Another material of the same effect has its own parameter objects and values.
  auto plain = Get<TGXMaterial>("Plain", true, true);
  plain->SetEffectByName("Game:\\Shaders\\Flat.fx");
  plain->Load();
  EXPECT_NE(plain->FindParameter("Color"), red->FindParameter("Color"));
  EXPECT_EQ(plain->FindValue("Color")->Data(), Floats({0, 0, 1, 1}));

  // Drawn side by side: each draws its own colour.
  EXPECT_EQ(DrawFullQuad(red)[4 * 16 + 8], 0xFFFF0000u);
  EXPECT_EQ(DrawFullQuad(plain)[4 * 16 + 8], 0xFF0000FFu);

  // Written back: the same bytes, records in the effect's order with their class names.
  TGXMemoryStream saved;
  red->SaveToStream(saved);
  const auto expected = [&] {
    TGXMemoryStream s;
    TGXSerializer(IID_IGXMaterial, 1).WriteFileHeader(s);
    WriteAnsiString(s, "Game:\\Shaders\\Flat.fx");
    WriteInteger(s, 4);
    for (auto [cls, name, value] : {std::tuple{"TGXEffectVector4Source", "Color", Floats({1, 0, 0, 1})},
                                    std::tuple{"TGXEffectVector3Source", "Tint", Floats({0, 0, 0})},
                                    std::tuple{"TGXEffectSingleSource", "Scale", Floats({2.5f})},
                                    std::tuple{"TGXEffectTextureSource", "Map", Text("")}}) {
      WriteAnsiString(s, cls);
      WriteAnsiString(s, name);
      s.WriteBuffer(value.data(), int64_t(value.size()));
    }
    return s.Data();
  }();
  EXPECT_EQ(saved.Data(), expected);
}

TEST_F(TResourceTest, BrokenMaterialFilesFailWithAReasonAndNeverWait) {
  // A record of a parameter the effect does not have cannot be skipped: the file is refused.
  Write("Unknown.gxmat", MaterialFile("Game:\\Shaders\\Flat.fx", {{"Colour", Floats({1, 0, 0, 1})},
                                                                  {"Scale", Floats({2})}}));
  auto unknown = Get<TGXMaterial>("Game:\\Unknown.gxmat");
  EXPECT_THROW(unknown->Load(), EGXException);
  EXPECT_TRUE(unknown->IsFailed());
  EXPECT_NE(unknown->LoadError().find("Colour"), std::string::npos) << unknown->LoadError();

  // An effect that failed earlier fails the material at once.
  Write("Shaders/Broken.fx", "technique {");
  auto effect = Get<TGXEffect>("Game:\\Shaders\\Broken.fx");
  EXPECT_THROW(effect->Load(), EDirect3D);
  Write("Broken.gxmat", MaterialFile("Game:\\Shaders\\Broken.fx", {}));
  auto broken = Get<TGXMaterial>("Game:\\Broken.gxmat");
  EXPECT_THROW(broken->Load(), EGXException);
  EXPECT_NE(broken->LoadError().find("Effekt konnte nicht geladen werden"), std::string::npos);

  // Truncated values, counts beyond the file and wrong headers.
  auto file = MaterialFile("Game:\\Shaders\\Flat.fx", {{"Color", Floats({1, 0, 0, 1})}});
  file.resize(file.size() - 3);
  Write("Short.gxmat", file);
  EXPECT_THROW(Get<TGXMaterial>("Game:\\Short.gxmat")->Load(), EGXStreamReadError);
  file = MaterialFile("Game:\\Shaders\\Flat.fx", {});
  file[file.size() - 1] = 0x7F;
  Write("Count.gxmat", file);
  EXPECT_THROW(Get<TGXMaterial>("Game:\\Count.gxmat")->Load(), EGXStreamReadError);
  file = MaterialFile("Game:\\Shaders\\Flat.fx", {});
  file[5] ^= 0xFF;
  Write("Guid.gxmat", file);
  EXPECT_THROW(Get<TGXMaterial>("Game:\\Guid.gxmat")->Load(), EGXException);
  EXPECT_THROW(Get<TGXMaterial>("Game:\\None.gxmat")->Load(), EGXPackageFileOpenError);

  // An effect without a valid technique.
  Write("Shaders/Empty.fx", "float4 Color;\n");
  Write("Empty.gxmat", MaterialFile("Game:\\Shaders\\Empty.fx", {}));
  auto empty = Get<TGXMaterial>("Game:\\Empty.gxmat");
  EXPECT_THROW(empty->Load(), EGXException);
  EXPECT_NE(empty->LoadError().find("No valid technique found"), std::string::npos);
}

TEST_F(TResourceTest, PngTextureNamedByAMaterialIsSampledAtItsTexels) {
  // 2 x 2: red, green on top; blue, white below.
  Write("Quadrants.png", EncodePng(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
  Write("Shaders/Textured.fx", std::string("#define TEXTURED\n") + kFlat);
  Write("Textured.gxmat", MaterialFile("Game:\\Shaders\\Textured.fx", {{"Map", Text("Game:\\Quadrants.png")}}));
  auto material = Get<TGXMaterial>("Game:\\Textured.gxmat");
  material->Load();
  TGXTexture* texture = material->FindTexture("Map")->GetTexture();
  ASSERT_NE(texture, nullptr);
  EXPECT_TRUE(texture->IsLoaded());
  EXPECT_EQ(texture, Get<TGXTexture>("Game:\\Quadrants.png").Get());
  EXPECT_EQ(texture->GetWidth(), 2u);
  EXPECT_EQ(texture->GetLevels(), 2u);  // the complete chain
  EXPECT_EQ(texture->GetFormat(), uint32_t(GXFormatA8R8G8B8));
  EXPECT_EQ(texture->GetPool(), uint32_t(GXPoolManaged));
  const auto pixels = DrawFullQuad(material);
  EXPECT_EQ(pixels[1 * 16 + 2], 0xFFFF0000u);
  EXPECT_EQ(pixels[1 * 16 + 13], 0xFF00FF00u);
  EXPECT_EQ(pixels[6 * 16 + 2], 0xFF0000FFu);
  EXPECT_EQ(pixels[6 * 16 + 13], 0xFFFFFFFFu);
}

TEST_F(TResourceTest, TexturesFromLoadersManualTexturesAndTheirFailures) {
  auto bmp = Get<TGXTexture>("Wall.bmp");
  bmp->SetDataLoader(MakeRef<TBytesLoader>("", SolidBmp(8, 4, 0x336699)));
  bmp->SetLevels(1);
  bmp->Load();
  EXPECT_EQ(bmp->GetWidth(), 8u);
  EXPECT_EQ(bmp->GetHeight(), 4u);
  EXPECT_EQ(bmp->GetLevels(), 1u);
  EXPECT_EQ(bmp->GetFormat(), uint32_t(GXFormatX8R8G8B8));
  EXPECT_EQ(bmp->GetDataLoader(), nullptr);  // released after loading

  auto corrupt = Get<TGXTexture>("Corrupt.png");
  corrupt->SetDataLoader(MakeRef<TBytesLoader>("", std::vector<uint8_t>{0x89, 'P', 'N', 'G', 1, 2, 3}));
  try {
    corrupt->Load();
    FAIL() << "no error";
  } catch (const EDirect3D& e) {
    EXPECT_NE(std::string(e.what()).find("D3DXGetImageInfoFromFileInMemory failed"), std::string::npos);
  }

  auto manual = Get<TGXTexture>("Target", true, true);
  manual->SetWidth(64);
  manual->SetHeight(32);
  manual->SetUsage(GXUsageRenderTarget);
  manual->SetPool(GXPoolDefault);
  manual->Load();
  ASSERT_NE(manual->GetDeviceTexture(), nullptr);
  EXPECT_EQ(manual->GetLevels(), 7u);
  EXPECT_EQ(manual->GetPool(), uint32_t(GXPoolDefault));

  auto absurd = Get<TGXTexture>("Absurd", true, true);
  absurd->SetWidth(1u << 30);
  absurd->SetHeight(4);
  try {
    absurd->Load();
    FAIL() << "no error";
  } catch (const EDirect3D& e) {
    EXPECT_NE(std::string(e.what()).find("D3DXCreateTexture failed"), std::string::npos);
  }

  auto cube = Get<TGXCubeTexture>("Sky", true, true);
  cube->SetEdgeLength(16);
  cube->SetLevels(1);
  cube->Load();
  ASSERT_NE(cube->GetDeviceTexture(), nullptr);
  EXPECT_TRUE(cube->GetDeviceTexture()->Cube());
  auto badCube = Get<TGXCubeTexture>("Wall.bmp");
  badCube->SetDataLoader(MakeRef<TBytesLoader>("", SolidBmp(8, 4, 0)));
  EXPECT_THROW(badCube->Load(), EDirect3D);
  auto zeroCube = Get<TGXCubeTexture>("Zero", true, true);
  try {
    zeroCube->Load();
    FAIL() << "no error";
  } catch (const EDirect3D& e) {
    EXPECT_NE(std::string(e.what()).find("D3DXCreateCubeTexture failed"), std::string::npos);
  }
}

}  // namespace
}  // namespace gx::test
