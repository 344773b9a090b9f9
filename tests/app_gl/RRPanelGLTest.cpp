// A painted U-shaped baseboard drawn offscreen on the GL device (llvmpipe) with the real panel
// effects and ground textures: blended textures over several packs, the walls, the technical
// view's raster and the transparent surface. The pictures go into panel-pictures/ of the test
// output folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/RRModelServices.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/panel/RRPanelPartition.h"
#include "app/entities/panel/RRPanelSegment.h"
#include "app/entities/panel/RRPanelTexture.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"
#include "engine/render/GXScene.h"
#include "tools/assetgen/PanelAssets.h"

namespace {

using namespace rr;

constexpr uint32_t kWidth = 320, kHeight = 200;
constexpr uint32_t kBackground = 0xFF203040u;
const char* const kBase = "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}";

class TPanelGLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine = gx::TGXEngine::CreateEngine();
    try {
      Engine->AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
    } catch (const std::exception& e) {
      FAIL() << "No OpenGL 3.3 core context: " << e.what();
    }
    Folder = std::filesystem::temp_directory_path() / ("panel-gl-" + std::to_string(::getpid()));
    const std::filesystem::path base = Folder / kBase;
    std::filesystem::create_directories(base / "Shader" / "Bodenplatte");
    std::filesystem::create_directories(base / "Textures");
    std::filesystem::create_directories(base / "PanelTextures");
    const std::filesystem::path data = std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "shaders";
    std::filesystem::copy_file(data / "Model.fx", base / "Shader" / "Model.fx",
                               std::filesystem::copy_options::overwrite_existing);
    for (const auto& entry : std::filesystem::directory_iterator(data / "Bodenplatte"))
      std::filesystem::copy_file(entry.path(), base / "Shader" / "Bodenplatte" / entry.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
    auto put = [](const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
      std::ofstream(file, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    const uint32_t n = assetgen::GroundTextureSize;
    put(base / "Textures" / "Bodenraster.png", RREncodePng(n, n, assetgen::PaintGroundRaster(), false));
    // PNG beside the names the entries use (the texture reader goes by content).
    for (const std::string& name : assetgen::GroundTextureNames())
      put(base / "PanelTextures" / name, RREncodePng(n, n, assetgen::PaintGroundTexture(name), false));
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
    TRRModelServices::Install(services);

    Surface = std::make_unique<gx::TGXOffscreenSurface>(kWidth, kHeight);
    Window = gx::MakeRef<gx::TGXRenderWindow>(Surface.get());
    Eye = new gx::TGXSceneNode("Auge", Scene.Root());
    Camera = gx::MakeRef<gx::TGXCamera>();
    Eye->AttachObject(Camera.Get());
    Camera->SetPerspective(0.8f, 10, 5000);
    gx::TGXViewport* v = Window->AddViewport(0, 0, 1, 1);
    v->SetScene(&Scene);
    v->SetCamera(Camera.Get());
    v->SetClearColor(kBackground);
    for (int i = 0; i < 12; ++i) {
      Textures[i].FileName = RRPanelBuiltInTexture(i);
      Textures[i].Texture =
          Engine->ResourceManager().Get<gx::TGXTexture>(Textures[i].FileName.EffectiveFileName());
      Textures[i].Texture->Load();
    }
  }
  void TearDown() override {
    if (Window) Window->Viewport(0)->SetScene(nullptr);
    Window.Reset();
    Partitions.clear();
    Scene.Root()->DeleteChildren();
    for (TRRPanelTexture& t : Textures) t.Texture = {};
    TRRModelServices::Clear();
    Engine.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }

  // A U shape, 300 x 200 cm at 5 cm: body 300 x 120, left arm 100 wide and right arm 80 wide,
  // both 80 deep.
  void BuildPanel() {
    Panel = new gx::TGXSceneNode("Platte", Scene.Root());
    const uint32_t g = 60, h = 40, m = 20, l = 24, e = 16;
    struct TRectEdges {
      uint32_t X0, Y0, X1, Y1;
      TRRPanelEdge Front, Back;
    } rects[3] = {
        {0, 0, g, l, {1, 0, 0, int32_t(g), 0}, {1, int32_t(m), int32_t(l), int32_t(g - e), int32_t(l)}},
        {0, l, m, h, {0, 0, int32_t(l), int32_t(m), int32_t(l)}, {1, 0, int32_t(h), int32_t(m), int32_t(h)}},
        {g - e,
         l,
         g,
         h,
         {0, int32_t(g - e), int32_t(l), int32_t(g), int32_t(l)},
         {1, int32_t(g - e), int32_t(h), int32_t(g), int32_t(h)}},
    };
    auto services = RRPanelEngineDrawServices();
    ASSERT_NE(services, nullptr);
    for (const TRectEdges& r : rects) {
      TRRPanelObjectCreation c;
      c.X0 = r.X0, c.Y0 = r.Y0, c.X1 = r.X1, c.Y1 = r.Y1;
      c.QuadWidth = 5;
      c.Edges[RRPanelEdgeFront] = r.Front;
      c.Edges[RRPanelEdgeBack] = r.Back;
      c.Edges[RRPanelEdgeLeft] = {1, int32_t(r.X0), int32_t(r.Y0), int32_t(r.X0), int32_t(r.Y1)};
      c.Edges[RRPanelEdgeRight] = {1, int32_t(r.X1), int32_t(r.Y0), int32_t(r.X1), int32_t(r.Y1)};
      c.DefaultTexture = Textures[0].Texture;
      c.DefaultTextureName = Textures[0].FileName.EffectiveFileName();
      c.Thickness = 8;
      c.TechnicalView = &Technical;
      c.Services = services;
      c.VertexNormal = [this](uint32_t x, uint32_t y) {
        gx::TGXVector3 sum{0, 0, 0};
        for (TRRPanelPartition* p : Partitions) sum = sum + p->Normal(x, y);
        return gx::GXVec3Normalize({sum.x / 5, sum.y, sum.z / 5});
      };
      auto* p = new TRRPanelPartition(c, true);
      p->SetPosition({float(r.X0) * 5, 0, -float(r.Y0) * 5});
      Panel->AddChild(p);
      Partitions.push_back(p);
    }
    // Terrain: a hill in the body's back right, a hollow (drawn at 0) on the left.
    auto forEach = [&](const std::function<void(uint32_t, uint32_t)>& f) {
      for (TRRPanelPartition* p : Partitions)
        for (uint32_t y = p->Y0(); y <= p->Y1(); ++y)
          for (uint32_t x = p->X0(); x <= p->X1(); ++x) f(x, y);
    };
    forEach([&](uint32_t x, uint32_t y) {
      const float dx = float(x) - 42, dy = float(y) - 20;
      const float hill = 30 * std::exp(-(dx * dx + dy * dy) / 60.0f);
      SetHeight(x, y, hill);
      // Meadow everywhere, flowers on the left, rock, granite and snow up the hill, sand in front
      // and mud around the hollow: more than four textures, so segments carry two packs.
      Paint(9, x, y, 255);
      if (x < 20) Paint(1, x, y, uint8_t(std::clamp(255 - int(x) * 12, 0, 255)));
      if (hill > 6) Paint(3, x, y, uint8_t(std::min(255.0f, (hill - 6) * 25)));
      if (hill > 14) Paint(4, x, y, uint8_t(std::min(255.0f, (hill - 14) * 30)));
      if (hill > 22) Paint(7, x, y, uint8_t(std::min(255.0f, (hill - 22) * 60)));
      if (y < 6) Paint(10, x, y, uint8_t(std::clamp(int(6 - y) * 50, 0, 255)));
      const float hx = float(x) - 12, hy = float(y) - 14;
      if (hx * hx + hy * hy < 30) Paint(6, x, y, 200);
    });
    for (TRRPanelPartition* p : Partitions) {
      p->FinishEdit();
      p->UpdateBounds();
    }
    Eye->SetPosition({150, 260, 180});
    Scene.Root()->Update();  // LookAt starts from the updated world position
    Eye->LookAt({150, 0, -110}, {0, 1, 0});
  }
  void SetHeight(uint32_t x, uint32_t y, float h) {
    for (TRRPanelPartition* p : Partitions) p->SetHeight(x, y, h);
  }
  void Paint(int texture, uint32_t x, uint32_t y, uint8_t w) {
    for (TRRPanelPartition* p : Partitions) p->SetWeight(Textures[texture], x, y, true, w);
  }
  void SetTransparent(bool value) {
    for (TRRPanelPartition* p : Partitions) p->SetTransparent(value);
  }

  std::vector<uint32_t> Render(const std::string& picture) {
    Window->RenderAll();
    const std::vector<uint32_t> frame = Surface->Frame();
#ifdef VELMORA_TEST_OUTPUT_DIR
    const std::filesystem::path folder = std::filesystem::path(VELMORA_TEST_OUTPUT_DIR) / "panel-pictures";
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> png = RREncodePng(kWidth, kHeight, frame, false);
    std::ofstream(folder / (picture + ".png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
#endif
    return frame;
  }
  static uint32_t At(const std::vector<uint32_t>& f, uint32_t x, uint32_t y) {
    return f[size_t(y) * kWidth + x];
  }
  static int Green(uint32_t c) { return int((c >> 8) & 255); }
  static int Red(uint32_t c) { return int((c >> 16) & 255); }
  static int Blue(uint32_t c) { return int(c & 255); }

  std::unique_ptr<gx::TGXEngine> Engine;
  std::filesystem::path Folder;
  std::vector<std::string> Reports;
  std::unique_ptr<gx::TGXOffscreenSurface> Surface;
  gx::TGXRef<gx::TGXRenderWindow> Window;
  gx::TGXScene Scene;
  gx::TGXSceneNode* Eye = nullptr;
  gx::TGXRef<gx::TGXCamera> Camera;
  gx::TGXSceneNode* Panel = nullptr;
  std::vector<TRRPanelPartition*> Partitions;
  TRRPanelTexture Textures[12];
  bool Technical = false;
};

}  // namespace

TEST_F(TPanelGLTest, APaintedShapedPanelInEachView) {
  BuildPanel();
  int segmentsWithTwoPacks = 0;
  for (TRRPanelPartition* p : Partitions)
    p->ForEachSegment([&](TRRPanelSegment& s) { segmentsWithTwoPacks += s.Surface().PackCount() > 1; });
  EXPECT_GT(segmentsWithTwoPacks, 0);

  const std::vector<uint32_t> painted = Render("bemalt");
  EXPECT_TRUE(Reports.empty()) << Reports.front();
  // The middle of the board shows meadow: green above red and blue.
  const uint32_t meadow = At(painted, kWidth / 2, kHeight * 3 / 5);
  EXPECT_NE(meadow, kBackground);
  EXPECT_GT(Green(meadow), Red(meadow));
  EXPECT_GT(Green(meadow), Blue(meadow));
  // The gap between the arms shows the background.
  EXPECT_EQ(At(painted, kWidth / 2, 8), kBackground);

  Technical = true;
  const std::vector<uint32_t> cad = Render("technisch");
  const uint32_t paper = At(cad, kWidth / 2, kHeight * 3 / 5);
  EXPECT_GT(Green(paper), 150);
  EXPECT_LT(std::abs(Green(paper) - Red(paper)), 40);  // pale, not meadow green

  SetTransparent(true);
  const std::vector<uint32_t> cadBlend = Render("technisch-transparent");
  Technical = false;
  const std::vector<uint32_t> glass = Render("transparent");
  // Transparent: the surface lets the background through (bluer than the opaque picture).
  EXPECT_NE(At(glass, kWidth / 2, kHeight * 3 / 5), meadow);
  EXPECT_NE(At(cadBlend, kWidth / 2, kHeight * 3 / 5), paper);
}
