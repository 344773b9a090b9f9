// Model materials on a real GL device (llvmpipe): every feature set the material rules can
// produce compiles from data/shaders/Model.fx, colour maps reach the screen, the cull mode and the
// blending come from the material, and a model is lit before any light exists. The pictures go
// into material-pictures/ of the test output folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/RRMaterial.h"
#include "app/RRModelServices.h"
#include "app/RRProjectSerializer.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXModel.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"
#include "engine/render/GXScene.h"

namespace {

using namespace rr;

constexpr uint32_t kSize = 64;
constexpr uint32_t kBackground = 0xFF203040u;

class TMaterialGLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine = gx::TGXEngine::CreateEngine();
    try {
      Engine->AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
    Folder = std::filesystem::temp_directory_path() / ("materials-gl-" + std::to_string(::getpid()));
    const std::filesystem::path shader = Folder / "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}" / "Shader";
    std::filesystem::create_directories(shader);
    std::filesystem::copy_file(std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "shaders" / "Model.fx",
                               shader / "Model.fx", std::filesystem::copy_options::overwrite_existing);
    Engine->FileSystem().SetRoot("Game", Folder.string());
    TRRModelServices services;
    services.FileSystem = &Engine->FileSystem();
    services.Resources = &Engine->ResourceManager();
    services.ReportAssetError = [this](const TRRAssetFileName& file, std::exception_ptr e) {
      std::string message = file.EffectiveFileName();
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        message += std::string(": ") + x.what();
      }
      Reports.push_back(message);
    };
    services.Reflections = &Reflections;
    TRRModelServices::Install(services);

    Surface = std::make_unique<gx::TGXOffscreenSurface>(kSize, kSize);
    Window = gx::MakeRef<gx::TGXRenderWindow>(Surface.get());
    Eye = new gx::TGXSceneNode("Auge", Scene.Root());
    Camera = gx::MakeRef<gx::TGXCamera>();
    Eye->AttachObject(Camera.Get());
    // Looking straight down on the ground: +x to the right, +z up in the picture.
    Eye->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, 3.14159265f / 2));
    Eye->SetPosition({0, 100, 0});
    Camera->SetOrthographic(1, 500, 64);
    gx::TGXViewport* v = Window->AddViewport(0, 0, 1, 1);
    v->SetScene(&Scene);
    v->SetCamera(Camera.Get());
    v->SetClearColor(kBackground);
  }
  void TearDown() override {
    if (Window) Window->Viewport(0)->SetScene(nullptr);
    Window.Reset();
    Model = nullptr;
    Scene.Root()->DeleteChildren();
    TRRModelServices::Clear();
    Engine.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }

  // Two 20-unit squares on the ground under the model node: "Oben" at x = -16 facing up (the
  // camera sees its front), "Unten" at x = +16 facing down (the camera sees its back).
  gx::TGXSceneNode* MakeModel() {
    gx::TGXModelData data;
    data.Format = gx::EGXModelFormat::XFile;
    for (int side = 0; side < 2; ++side) {
      gx::TGXModelMesh m;
      const float cx = side == 0 ? -16.0f : 16.0f, h = 10.0f, ny = side == 0 ? 1.0f : -1.0f;
      const gx::TGXVector3 corners[4] = {{cx - h, 0, -h}, {cx - h, 0, h}, {cx + h, 0, h}, {cx + h, 0, -h}};
      const gx::TGXVector2 uvs[4] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
      for (int i = 0; i < 4; ++i) m.Vertices.push_back({corners[i], {0, ny, 0}, uvs[i]});
      // Clockwise seen from above for the upper square, from below for the lower one.
      if (side == 0)
        m.Indices = {0, 1, 2, 0, 2, 3};
      else
        m.Indices = {0, 2, 1, 0, 3, 2};
      m.SubMeshes = {{0, 6, "", {}, {}}};
      gx::GXModelCalculateBounds(m);
      data.Meshes.push_back(m);
      gx::TGXModelNode node;
      node.Name = side == 0 ? "Oben" : "Unten";
      node.Meshes = {uint32_t(side)};
      data.Nodes.push_back(node);
    }
    Model = new gx::TGXSceneNode("Modell", Scene.Root());
    gx::GXBuildModel(data, Model);
    return Model;
  }

  void Apply(const TRRMaterialSubDesc& sub) {
    TRRMaterialDesc desc;
    desc.Set("Root\\Node_0\\Mesh_0\\SubMesh_0", sub);
    desc.Set("Root\\Node_1\\Mesh_0\\SubMesh_0", sub);
    TRRMaterialGenerator::ApplyMaterials(Model, desc);
  }

  std::vector<uint32_t> Render(const std::string& picture) {
    Window->RenderAll();
    const std::vector<uint32_t> frame = Surface->Frame();
#ifdef VELMORA_TEST_OUTPUT_DIR
    const std::filesystem::path folder = std::filesystem::path(VELMORA_TEST_OUTPUT_DIR) / "material-pictures";
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> png = RREncodePng(kSize, kSize, frame, false);
    std::ofstream(folder / (picture + ".png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
#endif
    return frame;
  }
  // The pixel over the upper (left) and the lower (right) square.
  static uint32_t Left(const std::vector<uint32_t>& f) { return f[size_t(kSize / 2) * kSize + kSize / 4]; }
  static uint32_t Right(const std::vector<uint32_t>& f) {
    return f[size_t(kSize / 2) * kSize + kSize * 3 / 4];
  }
  static int Channel(uint32_t p, int shift) { return int((p >> shift) & 0xFF); }

  std::unique_ptr<gx::TGXEngine> Engine;
  std::filesystem::path Folder;
  TRRDefaultReflectionManager Reflections;
  std::vector<std::string> Reports;
  gx::TGXScene Scene;
  std::unique_ptr<gx::TGXOffscreenSurface> Surface;
  gx::TGXRef<gx::TGXRenderWindow> Window;
  gx::TGXSceneNode* Eye = nullptr;
  gx::TGXSceneNode* Model = nullptr;
  gx::TGXRef<gx::TGXCamera> Camera;
};

TEST_F(TMaterialGLTest, EveryFeatureSetTheRulesCanMakeCompiles) {
  // Lit or explicit colour; with or without a map, scaling and alpha test; no blending,
  // transparency or additive blending; no reflection, a planar mirror or an environment map.
  int compiled = 0;
  for (uint16_t colour : {RRFeatureLight, RRFeatureExplicitColor})
    for (uint16_t map : {0, int(RRFeatureDiffuseMap)})
      for (uint16_t scaling : {0, int(RRFeatureTexScaling)})
        for (uint16_t alpha : {0, int(RRFeatureAlphaTest)})
          for (uint16_t blend : {0, int(RRFeatureTransparency), int(RRFeatureAdditiveBlending)})
            for (uint16_t reflection : {0, int(RRFeatureReflection), int(RRFeatureEnvironmentMapping)}) {
              const uint16_t bits = colour | map | scaling | alpha | blend | reflection;
              SCOPED_TRACE(TRRMaterialGenerator::EffectMacroList(bits));
              gx::IGXEffect effect = TRRMaterialGenerator::MakeEffect(bits);
              ASSERT_TRUE(effect) << (Reports.empty() ? "" : Reports.back());
              gx::TGXEffectTechnique* technique = effect->FirstValidTechnique();
              ASSERT_NE(technique, nullptr);
              EXPECT_EQ(technique->Pass(0)->AlphaBlend(), blend != 0);
              for (const char* name :
                   {"CullMode", "DepthBias", "Ambient", "Diffuse", "Specular", "SpecularPower",
                    "ExplicitColor", "DiffuseMap", "TexScaling", "AlphaRef", "Opacity", "Reflection",
                    "ReflectionMap", "EnvironmentMap"}) {
                bool found = false;
                for (int i = 0; i < effect->ParameterCount(); ++i)
                  found = found || effect->Parameter(i).Source->Name() == name;
                EXPECT_TRUE(found) << name;
              }
              ++compiled;
            }
  EXPECT_EQ(compiled, 144);
  EXPECT_TRUE(Reports.empty());
}

TEST_F(TMaterialGLTest, ColourMapsAndTheMaterialsCullMode) {
  MakeModel();
  TRRMaterialSubDesc green;
  green.Lit = false;
  green.Diffuse = {1, 1, 1};
  green.DiffuseMap = TRRAssetFileName("$ff00ff00");
  Apply(green);
  std::vector<uint32_t> f = Render("zweiseitig");
  EXPECT_EQ(Left(f) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(Right(f) & 0xFFFFFF, 0x00FF00u);

  green.TwoSided = false;
  Apply(green);
  f = Render("einseitig");
  EXPECT_EQ(Left(f) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(Right(f), kBackground);

  // Half-transparent red over the background.
  TRRMaterialSubDesc glass = green;
  glass.DiffuseMap = TRRAssetFileName("$ffff0000");
  glass.Transparency = true;
  glass.Opacity = 0.5f;
  Apply(glass);
  f = Render("durchsichtig");
  EXPECT_NEAR(Channel(Left(f), 16), (255 + 0x20) / 2, 3);
  EXPECT_NEAR(Channel(Left(f), 0), 0x40 / 2, 3);
  EXPECT_TRUE(Reports.empty()) << Reports.front();
}

TEST_F(TMaterialGLTest, ModelsAreLitBeforeAnyLightExists) {
  MakeModel();
  TRRMaterialSubDesc red;
  red.TwoSided = false;
  red.Ambient = {0.2f, 0, 0};
  red.Diffuse = {1, 0, 0};
  red.Specular = {0, 0, 0};
  Apply(red);
  const std::vector<uint32_t> f = Render("beleuchtet");
  // The preview lighting: ambient 0.5, diffuse 0.7 from (1000, 1000, -500).
  EXPECT_GT(Channel(Left(f), 16), 110);
  EXPECT_LT(Channel(Left(f), 16), 180);
  EXPECT_LT(Channel(Left(f), 8), 8);
  EXPECT_LT(Channel(Left(f), 0), 8);
  EXPECT_TRUE(Reports.empty()) << Reports.front();
}

}  // namespace
