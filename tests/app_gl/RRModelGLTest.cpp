// Model entities on a real GL device (llvmpipe): a house from a .x file is drawn lit and with its
// texture, in one flat colour in the technical view and as before afterwards; the sails of a
// windmill from a .3ds file stand elsewhere at another time of its animation. The pictures go
// into model-pictures/ of the test output folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "app/RRModelServices.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RRModel.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"
#include "engine/render/GXScene.h"
#include "tests/app/ModelTestSupport.h"

namespace {

using namespace rr;

constexpr uint32_t kWidth = 160, kHeight = 120;
constexpr uint32_t kBackground = 0xFF203040u;
constexpr const char* kPackage = "{5D7C1A20-3B4E-4F60-8A71-92A3B4C5D6E7}";

class TModelGLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine = gx::TGXEngine::CreateEngine();
    try {
      Engine->AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
    Folder = std::filesystem::temp_directory_path() / ("models-gl-" + std::to_string(::getpid()));
    const std::filesystem::path shader = Folder / RRBasePackageID / "Shader";
    std::filesystem::create_directories(shader);
    std::filesystem::create_directories(Folder / kPackage);
    std::filesystem::copy_file(std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "shaders" / "Model.fx",
                               shader / "Model.fx", std::filesystem::copy_options::overwrite_existing);
    Engine->FileSystem().SetRoot("Game", Folder.string());
    TRRModelServices services;
    services.FileSystem = &Engine->FileSystem();
    services.Resources = &Engine->ResourceManager();
    services.ReportAssetError = [this](const TRRAssetFileName& file, std::exception_ptr) {
      Reports.push_back(file.EffectiveFileName());
    };
    services.Reflections = &Reflections;
    TRRModelServices::Install(services);

    // A plaster texture of two tones in stripes, 8 x 8.
    std::vector<uint32_t> plaster(64);
    for (size_t i = 0; i < plaster.size(); ++i) plaster[i] = (i / 16) % 2 ? 0xFFE0C890u : 0xFF906040u;
    Put("Putz.png", RREncodePng(8, 8, plaster, false));
    Put("Haus.x", modeltest::Write(modeltest::House(gx::EGXModelFormat::XFile)));
    Put("Muehle.3ds", modeltest::Write(modeltest::Windmill(gx::EGXModelFormat::Format3DS)));

    Surface = std::make_unique<gx::TGXOffscreenSurface>(kWidth, kHeight);
    Window = gx::MakeRef<gx::TGXRenderWindow>(Surface.get());
    Eye = new gx::TGXSceneNode("Auge", Scene.Root());
    Camera = gx::MakeRef<gx::TGXCamera>();
    Eye->AttachObject(Camera.Get());
    // In front of the model (towards -z), a little above it, looking slightly down.
    Eye->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, 0.25f));
    Eye->SetPosition({0, 7, -20});
    Camera->SetOrthographic(1, 100, 9);
    gx::TGXViewport* v = Window->AddViewport(0, 0, 1, 1);
    v->SetScene(&Scene);
    v->SetCamera(Camera.Get());
    v->SetClearColor(kBackground);
  }
  void TearDown() override {
    if (Window) Window->Viewport(0)->SetScene(nullptr);
    Window.Reset();
    Scene.Root()->DeleteChildren();
    TRRModelServices::Clear();
    Engine.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }

  void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(Folder / kPackage / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  static TRRAssetFileName Asset(const std::string& name) {
    return TRRAssetFileName(name, std::string(kPackage) + "\\" + name);
  }
  TRRModel* MakeModel(const std::string& file, float turn) {
    TRRModelDesc d;
    d.SetID(1);
    d.ModelFile() = {Asset(file), {Asset("Putz.png")}};
    d.SetCADType(3);
    d.SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, turn));
    return static_cast<TRRModel*>(TRRModel::StaticClass().Create(Scene.Root(), nullptr, d));
  }

  std::vector<uint32_t> Render(const std::string& picture) {
    Scene.Root()->Update(false);
    Window->RenderAll();
    const std::vector<uint32_t> frame = Surface->Frame();
#ifdef VELMORA_TEST_OUTPUT_DIR
    const std::filesystem::path folder = std::filesystem::path(VELMORA_TEST_OUTPUT_DIR) / "model-pictures";
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> png = RREncodePng(kWidth, kHeight, frame, false);
    std::ofstream(folder / (picture + ".png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
#endif
    return frame;
  }
  // The colours where the model is (every pixel that is not background) and how many there are.
  static std::set<uint32_t> ModelColours(const std::vector<uint32_t>& frame, size_t& covered) {
    std::set<uint32_t> colours;
    covered = 0;
    for (uint32_t p : frame)
      if (p != kBackground) colours.insert(p & 0xFFFFFF), ++covered;
    return colours;
  }

  std::unique_ptr<gx::TGXEngine> Engine;
  std::filesystem::path Folder;
  TRRDefaultReflectionManager Reflections;
  std::vector<std::string> Reports;
  gx::TGXScene Scene;
  std::unique_ptr<gx::TGXOffscreenSurface> Surface;
  gx::TGXRef<gx::TGXRenderWindow> Window;
  gx::TGXSceneNode* Eye = nullptr;
  gx::TGXRef<gx::TGXCamera> Camera;
};

TEST_F(TModelGLTest, AHouseIsDrawnLitAndTexturedAndFlatInTheTechnicalView) {
  TRRModel* house = MakeModel("Haus.x", 0.6f);
  ASSERT_TRUE(house->ModelEntity()->HasModel());
  ASSERT_FALSE(house->ModelEntity()->IsDummy());
  const std::vector<uint32_t> lit = Render("haus");
  size_t litCovered = 0;
  const std::set<uint32_t> litColours = ModelColours(lit, litCovered);
  ASSERT_GT(litCovered, kWidth * kHeight / 20) << "the house fills a good part of the picture";
  // Two plaster tones on two walls lit differently, the roof and the door: many colours.
  EXPECT_GE(litColours.size(), 6u);

  house->UpdateView(true);
  const std::vector<uint32_t> technical = Render("haus-technisch");
  size_t techCovered = 0;
  const std::set<uint32_t> techColours = ModelColours(technical, techCovered);
  EXPECT_EQ(techCovered, litCovered);  // the same outline
  ASSERT_EQ(techColours.size(), 1u) << "one flat colour";
  const uint32_t flat = *techColours.begin();
  const gx::TGXVector3 cad = RRCadColour(3);
  EXPECT_NEAR(int((flat >> 16) & 0xFF), int(cad.x * 255), 2);
  EXPECT_NEAR(int((flat >> 8) & 0xFF), int(cad.y * 255), 2);
  EXPECT_NEAR(int(flat & 0xFF), int(cad.z * 255), 2);

  house->UpdateView(false);
  EXPECT_EQ(Render("haus-wieder"), lit);
  EXPECT_TRUE(Reports.empty()) << Reports.front();
}

TEST_F(TModelGLTest, TheWindmillsSailsStandElsewhereAtAnotherTime) {
  TRRModel* mill = MakeModel("Muehle.3ds", 0);
  ASSERT_TRUE(mill->HasAnimation());
  mill->ResetAnimation(true);
  mill->Animate(true, 0.1f);
  const std::vector<uint32_t> early = Render("muehle-0.1s");
  mill->Animate(true, 0.4f);
  const std::vector<uint32_t> later = Render("muehle-0.5s");
  size_t differing = 0;
  for (size_t i = 0; i < early.size(); ++i) differing += early[i] != later[i];
  EXPECT_GT(differing, 100u);
  // Played on to the same time of the next turn, the picture is the same again.
  mill->Animate(true, mill->Duration() - 0.4f);
  EXPECT_NEAR(mill->CurrentTime(), 0.1f, 1e-4);
  EXPECT_EQ(Render("muehle-1.7s"), early);
  EXPECT_TRUE(Reports.empty()) << Reports.front();
}

}  // namespace
