// Reflections on a real GL device (llvmpipe): a full-strength water mirror shows what stands above
// it where its mirror image falls, leaves out what lies under the water, and shows only the
// background once the camera dives below the surface (no stale picture); small mirrors with
// environment maps show, each, the coloured wall their reflected view ray meets, so every cube
// face holds the side it belongs to. The pictures go into reflection-pictures/ of the test
// output folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/RRMaterial.h"
#include "app/RRModelServices.h"
#include "app/RRProjectSerializer.h"
#include "app/RRReflectionManager.h"
#include "app/entities/RRLight.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXModel.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"
#include "engine/render/GXScene.h"

namespace {

using namespace rr;

constexpr uint32_t kSize = 128;
constexpr uint32_t kBackground = 0xFF203040u;

class TReflectionGLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine = gx::TGXEngine::CreateEngine();
    try {
      Engine->AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
    RRAddGlobalEffectSources(gx::GXCurrentRenderCore()->EffectParameters());
    Folder = std::filesystem::temp_directory_path() / ("reflections-gl-" + std::to_string(::getpid()));
    const std::filesystem::path shader = Folder / "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}" / "Shader";
    std::filesystem::create_directories(shader);
    std::filesystem::copy_file(std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "shaders" / "Model.fx",
                               shader / "Model.fx", std::filesystem::copy_options::overwrite_existing);
    Engine->FileSystem().SetRoot("Game", Folder.string());
    Manager = std::make_unique<TRRReflectionManager>(std::make_unique<TRRRenderCoreReflectionDevice>(), 2, 2);
    TRRModelServices services;
    services.FileSystem = &Engine->FileSystem();
    services.Resources = &Engine->ResourceManager();
    services.ReportAssetError = [this](const TRRAssetFileName& file, std::exception_ptr) {
      Reports.push_back(file.EffectiveFileName());
    };
    services.Reflections = Manager.get();
    TRRModelServices::Install(services);

    Project = new gx::TGXSceneNode("Project", Scene.Root());
    Surface = std::make_unique<gx::TGXOffscreenSurface>(kSize, kSize);
    Window = gx::MakeRef<gx::TGXRenderWindow>(Surface.get());
    Eye = new gx::TGXSceneNode("Auge", Scene.Root());
    Camera = gx::MakeRef<gx::TGXCamera>();
    Eye->AttachObject(Camera.Get());
    Camera->SetPerspective(1.0f, 1, 5000);
    gx::TGXViewport* v = Window->AddViewport(0, 0, 1, 1);
    v->SetScene(&Scene);
    v->SetCamera(Camera.Get());
    v->SetClearColor(kBackground);
  }
  void TearDown() override {
    if (Window) Window->Viewport(0)->SetScene(nullptr);
    Window.Reset();
    Scene.Root()->DeleteChildren();
    Manager.reset();
    TRRModelServices::Clear();
    if (gx::GXCurrentRenderCore()) RRRemoveGlobalEffectSources(gx::GXCurrentRenderCore()->EffectParameters());
    Engine.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }

  // A quad (corners clockwise seen from its front) in a model of its own under the project node,
  // dressed with the sub description.
  gx::TGXSceneNode* Quad(const char* name, const gx::TGXVector3 (&c)[4], const TRRMaterialSubDesc& sub) {
    gx::TGXModelData data;
    data.Format = gx::EGXModelFormat::XFile;
    gx::TGXModelMesh m;
    const gx::TGXVector3 n = gx::GXVec3Normalize(gx::GXVec3Cross(c[1] - c[0], c[2] - c[0]));
    const gx::TGXVector2 uvs[4] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
    for (int i = 0; i < 4; ++i) m.Vertices.push_back({c[i], n, uvs[i]});
    m.Indices = {0, 1, 2, 0, 2, 3};
    m.SubMeshes = {{0, 6, "", {}, {}}};
    gx::GXModelCalculateBounds(m);
    data.Meshes.push_back(m);
    gx::TGXModelNode node;
    node.Name = name;
    node.Meshes = {0};
    data.Nodes.push_back(node);
    auto* model = new gx::TGXSceneNode(name, Project);
    gx::GXBuildModel(data, model);
    TRRMaterialDesc desc;
    desc.Set("Root\\Node_0\\Mesh_0\\SubMesh_0", sub);
    TRRMaterialGenerator::ApplyMaterials(model, desc);
    return model;
  }
  static TRRMaterialSubDesc Flat(uint32_t rgb, uint8_t reflection = RRReflectionNone) {
    TRRMaterialSubDesc sub;
    sub.Lit = false;
    sub.Diffuse = {((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f, (rgb & 0xFF) / 255.0f};
    sub.ReflectionMode = reflection;
    sub.ReflectionStrength = 1.0f;
    return sub;
  }

  std::vector<uint32_t> Render(const std::string& picture) {
    Scene.Root()->Update(false);
    Manager->Update(Camera.Get(), kBackground, nullptr, 1.0f);
    Window->RenderAll();
    std::vector<uint32_t> frame = Surface->Frame();
#ifdef VELMORA_TEST_OUTPUT_DIR
    const std::filesystem::path folder =
        std::filesystem::path(VELMORA_TEST_OUTPUT_DIR) / "reflection-pictures";
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> png = RREncodePng(kSize, kSize, frame, false);
    std::ofstream(folder / (picture + ".png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
#endif
    return frame;
  }
  // The pixel where the camera shows the world point.
  uint32_t At(const std::vector<uint32_t>& f, const gx::TGXVector3& p) {
    const gx::TGXVector3 ndc = gx::GXVec3TransformCoord(p, Camera->GetViewProjectionMatrix());
    const int x = std::clamp(int((ndc.x + 1) / 2 * kSize), 0, int(kSize) - 1);
    const int y = std::clamp(int((1 - ndc.y) / 2 * kSize), 0, int(kSize) - 1);
    return f[size_t(y) * kSize + size_t(x)] & 0xFFFFFF;
  }
  static int Channel(uint32_t p, int shift) { return int((p >> shift) & 0xFF); }
  static bool Reddish(uint32_t p) { return Channel(p, 16) > 150 && Channel(p, 8) < 80 && Channel(p, 0) < 80; }

  std::unique_ptr<gx::TGXEngine> Engine;
  std::filesystem::path Folder;
  std::unique_ptr<TRRReflectionManager> Manager;
  std::vector<std::string> Reports;
  gx::TGXScene Scene;
  gx::TGXSceneNode* Project = nullptr;
  std::unique_ptr<gx::TGXOffscreenSurface> Surface;
  gx::TGXRef<gx::TGXRenderWindow> Window;
  gx::TGXSceneNode* Eye = nullptr;
  gx::TGXRef<gx::TGXCamera> Camera;
};

TEST_F(TReflectionGLTest, WaterMirrorsWhatIsAboveLeavesOutWhatIsBelowAndIsClearedFromBelow) {
  // Water at y = 0 from z = -50 to 300, a red board standing on it at z = 150 facing the camera,
  // a green board under the water near the camera.
  Quad("Wasser", {{-200, 0, -50}, {-200, 0, 300}, {200, 0, 300}, {200, 0, -50}},
       Flat(0x0000FF, RRReflectionPlanar));
  Quad("Rot", {{-20, 2, 150}, {-20, 40, 150}, {20, 40, 150}, {20, 2, 150}}, Flat(0xFF0000));
  Quad("Gruen", {{-30, -12, 20}, {-30, -2, 20}, {30, -2, 20}, {30, -12, 20}}, Flat(0x00FF00));
  Eye->SetPosition({0, 30, -100});
  Eye->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, 0.3f));
  std::vector<uint32_t> f = Render("wasser-von-oben");
  ASSERT_TRUE(Reports.empty()) << Reports.front();
  ASSERT_EQ(Manager->RecordCount(), 1);
  // The board itself, and its mirror image where the point mirrored in the water is seen.
  EXPECT_TRUE(Reddish(At(f, {0, 20, 150}))) << std::hex << At(f, {0, 20, 150});
  EXPECT_TRUE(Reddish(At(f, {0, -20, 150}))) << std::hex << At(f, {0, -20, 150});
  // Beside the mirror image the water shows the background (full strength).
  EXPECT_EQ(At(f, {120, -20, 150}), kBackground & 0xFFFFFF);
  // The green board lies under the water: neither seen nor mirrored (where its mirror image
  // would fall, the water shows the red board's instead).
  EXPECT_TRUE(Reddish(At(f, {0, 7, 20}))) << std::hex << At(f, {0, 7, 20});

  // Under the water: the mirror is cleared to the background, nothing red is left anywhere (the
  // board is hidden behind the water).
  Eye->SetPosition({0, -20, -100});
  Eye->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, -0.3f));
  f = Render("wasser-von-unten");
  int red = 0;
  for (uint32_t p : f) red += Reddish(p & 0xFFFFFF) ? 1 : 0;
  EXPECT_EQ(red, 0);
  EXPECT_EQ(At(f, {80, 0, 150}), kBackground & 0xFFFFFF);
}

TEST_F(TReflectionGLTest, EnvironmentMapsShowTheWallTheReflectedRayMeets) {
  // Walls of six colours round the origin, each facing it.
  const float d = 300, h = 1000;
  Quad("PlusX", {{d, -h, -h}, {d, h, -h}, {d, h, h}, {d, -h, h}}, Flat(0xFF0000));
  Quad("MinusX", {{-d, -h, h}, {-d, h, h}, {-d, h, -h}, {-d, -h, -h}}, Flat(0x00FF00));
  Quad("PlusY", {{-h, d, -h}, {-h, d, h}, {h, d, h}, {h, d, -h}}, Flat(0x0000FF));
  Quad("MinusY", {{-h, -d, h}, {-h, -d, -h}, {h, -d, -h}, {h, -d, h}}, Flat(0xFFFF00));
  Quad("PlusZ", {{h, -h, d}, {h, h, d}, {-h, h, d}, {-h, -h, d}}, Flat(0xFF00FF));
  Quad("MinusZ", {{-h, -h, -d}, {-h, h, -d}, {h, h, -d}, {h, -h, -d}}, Flat(0x00FFFF));
  // Five small mirrors in front of the camera, turned so that the reflected ray of the view
  // along +z goes -z, +x, -x, +y, -y.
  struct TMirror {
    const char* Name;
    gx::TGXVector3 Centre, Normal;
    uint32_t Expected;
  } mirrors[] = {{"Gerade", {0, 0, 0}, {0, 0, -1}, 0x00FFFF},
                 {"NachRechts", {30, 0, 0}, {0.7071068f, 0, -0.7071068f}, 0xFF0000},
                 {"NachLinks", {-30, 0, 0}, {-0.7071068f, 0, -0.7071068f}, 0x00FF00},
                 {"NachOben", {0, 30, 0}, {0, 0.7071068f, -0.7071068f}, 0x0000FF},
                 {"NachUnten", {0, -30, 0}, {0, -0.7071068f, -0.7071068f}, 0xFFFF00}};
  for (const TMirror& m : mirrors) {
    // A 10-unit square with the normal, corners clockwise from its front.
    const gx::TGXVector3 up = std::abs(m.Normal.y) > 0.5f ? gx::TGXVector3{0, 0, 1} : gx::TGXVector3{0, 1, 0};
    const gx::TGXVector3 right = gx::GXVec3Normalize(gx::GXVec3Cross(up, m.Normal));
    const gx::TGXVector3 top = gx::GXVec3Cross(m.Normal, right);
    const gx::TGXVector3 r = right * 5.0f, t = top * 5.0f;
    Quad(m.Name, {{m.Centre - r - t}, {m.Centre - r + t}, {m.Centre + r + t}, {m.Centre + r - t}},
         Flat(0x808080, RRReflectionEnvironment));
  }
  Eye->SetPosition({0, 0, -150});
  Eye->SetRotation({0, 0, 0, 1});
  const std::vector<uint32_t> f = Render("umgebung");
  ASSERT_TRUE(Reports.empty()) << Reports.front();
  EXPECT_EQ(Manager->RecordCount(), 5);
  for (const TMirror& m : mirrors) {
    const uint32_t p = At(f, m.Centre);
    for (int shift : {16, 8, 0})
      EXPECT_NEAR(Channel(p, shift), Channel(m.Expected, shift), 40) << m.Name << " " << std::hex << p;
  }
}

}  // namespace
