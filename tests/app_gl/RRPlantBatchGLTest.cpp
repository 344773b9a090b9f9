// Plants drawn instanced on a real GL device (llvmpipe): a few houses, turned and scaled, and
// windmills at different times of their animation give the same picture drawn one by one and
// drawn by the plant batch, which needs one draw call per sub-mesh. The pictures go into
// model-pictures/ of the test output folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/RRModelServices.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RRModel.h"
#include "app/entities/scenery/RRPlantBatch.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"
#include "engine/render/GXScene.h"
#include "tests/app/ModelTestSupport.h"

namespace {

using namespace rr;

constexpr uint32_t kWidth = 160, kHeight = 120;
constexpr const char* kPackage = "{8E1F2A3B-4C5D-4E6F-8071-A2B3C4D5E6F7}";

TEST(RRPlantBatchGLTest, InstancedPlantsLookLikePlantsDrawnOneByOne) {
  auto engine = gx::TGXEngine::CreateEngine();
  try {
    engine->AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
  } catch (const std::exception& e) {
    FAIL() << "No OpenGL 3.3 core context: " << e.what();
  }
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("plants-gl-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder / RRBasePackageID / "Shader");
  std::filesystem::create_directories(folder / kPackage);
  std::filesystem::copy_file(std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "shaders" / "Model.fx",
                             folder / RRBasePackageID / "Shader" / "Model.fx",
                             std::filesystem::copy_options::overwrite_existing);
  auto put = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(folder / kPackage / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  };
  std::vector<uint32_t> plaster(64);
  for (size_t i = 0; i < plaster.size(); ++i) plaster[i] = (i / 16) % 2 ? 0xFFE0C890u : 0xFF906040u;
  put("Putz.png", RREncodePng(8, 8, plaster, false));
  put("Haus.x", modeltest::Write(modeltest::House(gx::EGXModelFormat::XFile)));
  put("Muehle.3ds", modeltest::Write(modeltest::Windmill(gx::EGXModelFormat::Format3DS)));
  engine->FileSystem().SetRoot("Game", folder.string());
  TRRDefaultReflectionManager reflections;
  TRRModelServices services;
  services.FileSystem = &engine->FileSystem();
  services.Resources = &engine->ResourceManager();
  services.Reflections = &reflections;
  TRRModelServices::Install(services);

  {
    gx::TGXScene scene;
    gx::TGXOffscreenSurface surface(kWidth, kHeight);
    auto window = gx::MakeRef<gx::TGXRenderWindow>(&surface);
    auto* eye = new gx::TGXSceneNode("Auge", scene.Root());
    auto camera = gx::MakeRef<gx::TGXCamera>();
    eye->AttachObject(camera.Get());
    eye->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, 0.35f));
    eye->SetPosition({0, 12, -30});
    gx::TGXViewport* view = window->AddViewport(0, 0, 1, 1);
    view->SetScene(&scene);
    view->SetCamera(camera.Get());
    view->SetClearColor(0xFF203040u);

    auto asset = [](const std::string& name) {
      return TRRAssetFileName(name, std::string(kPackage) + "\\" + name);
    };
    std::vector<TRRModel*> plants;
    for (int i = 0; i < 4; ++i) {
      TRRModelDesc d;
      d.SetID(1);
      const bool mill = i % 2 == 1;
      d.ModelFile() = {asset(mill ? "Muehle.3ds" : "Haus.x"), {asset("Putz.png")}};
      d.SetPosition({float(i) * 9 - 13, 0, float(i % 2) * 6});
      d.SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, 0.4f * float(i)));
      const float scale = 1 + 0.1f * float(i);
      d.SetScale({scale, scale, scale});
      plants.push_back(static_cast<TRRModel*>(TRRModel::StaticClass().Create(scene.Root(), nullptr, d)));
      if (mill) plants.back()->Animate(true, 0.2f * float(i));
    }
    gx::TGXRenderer& renderer = gx::GXCurrentRenderCore()->Renderer();
    auto render = [&](const std::string& picture) {
      scene.Root()->Update(false);
      window->RenderAll();
      std::vector<uint32_t> frame = surface.Frame();
#ifdef VELMORA_TEST_OUTPUT_DIR
      const std::filesystem::path out = std::filesystem::path(VELMORA_TEST_OUTPUT_DIR) / "model-pictures";
      std::filesystem::create_directories(out);
      const std::vector<uint8_t> png = RREncodePng(kWidth, kHeight, frame, false);
      std::ofstream(out / (picture + ".png"), std::ios::binary)
          .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
#endif
      return frame;
    };
    const std::vector<uint32_t> single = render("pflanzen-einzeln");
    const int singleCalls = renderer.DrawCallCount();
    for (TRRModel* p : plants) TRRPlantBatch::Attach(*p);
    // The first frame draws through the plants' proxies, the second through the plant field that
    // took the houses over; both look like the plants drawn one by one.
    for (const char* picture : {"pflanzen-instanziert", "pflanzen-feld"}) {
      SCOPED_TRACE(picture);
      const std::vector<uint32_t> instanced = render(picture);
      // Houses: body (walls, roof) and door; mills: tower and sails - two of each, one call each.
      EXPECT_EQ(singleCalls, 2 * 3 + 2 * 2);
      EXPECT_EQ(renderer.DrawCallCount(), 3 + 2);
      ASSERT_EQ(single.size(), instanced.size());
      size_t covered = 0, differing = 0;
      for (size_t i = 0; i < single.size(); ++i) {
        covered += single[i] != 0xFF203040u;
        int worst = 0;
        for (int shift : {0, 8, 16}) {
          const int a = int((single[i] >> shift) & 0xFF), b = int((instanced[i] >> shift) & 0xFF);
          worst = std::max(worst, std::abs(a - b));
        }
        differing += worst > 2;
      }
      EXPECT_GT(covered, size_t(kWidth * kHeight / 20));
      EXPECT_EQ(differing, 0u);
    }
    EXPECT_FALSE(plants[0]->RenderEnabled());  // a house the field draws
    view->SetScene(nullptr);
    scene.Root()->DeleteChildren();
  }
  TRRModelServices::Clear();
  engine.reset();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
