// The project's 3D view on a real GL device (llvmpipe) with the build's packages: a new layout
// with a crate 30 m in front of the free camera shows the sky above and the floor below the
// horizon and the crate in front of the sky; the top-down camera shows as much of the ground as
// it stands high; the technical view has the flat background without floor and sky; a placed
// camera at the free camera's place sees the same picture. "velmora-cli render" writes the view
// image the project itself draws, the same bytes on every run, in PNG, BMP and JPEG. The
// pictures go into view-pictures/ of the test output folder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/RREntityManager.h"
#include "app/RRFloor.h"
#include "app/RRGlobal.h"
#include "app/RRMaterial.h"
#include "app/RRProject.h"
#include "app/RRProjectRenderWindow.h"
#include "app/RRProjectSerializer.h"
#include "app/RRSkybox.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRModel.h"
#include "cli/RenderCommand.h"
#include "engine/core/GXTimer.h"
#include "engine/render/GXImageReader.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderer.h"
#include "engine/render/GXRenderWindow.h"

namespace fs = std::filesystem;

namespace {

using namespace rr;

constexpr uint32_t kWidth = 320, kHeight = 240;

class TFrameClock final : public gx::IGXClock {
 public:
  int64_t Frequency() const override { return 1000; }
  int64_t Counter() const override { return Now; }
  uint32_t TickCount() const override { return uint32_t(Now); }
  int64_t Now = 0;
};

int R(uint32_t p) { return int(p >> 16 & 0xFF); }
int G(uint32_t p) { return int(p >> 8 & 0xFF); }
int B(uint32_t p) { return int(p & 0xFF); }
// The placeholder crate (orange to pale yellow as the light falls on it, a black question mark):
// neither the sky's blue nor the meadow's green.
bool Crate(uint32_t p) { return R(p) >= G(p) && R(p) >= B(p) + 20; }
bool Meadow(uint32_t p) { return G(p) > R(p) + 5 && G(p) > B(p) + 5; }

std::vector<uint8_t> ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class TProjectView : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = (fs::temp_directory_path() / "velmora-view-XXXXXX").string();
    ASSERT_NE(mkdtemp(Dir.data()), nullptr);
    TRRStartOptions options;
    options.UI = &Ui;
    options.Roots.push_back({"Game", VELMORA_CLI_DATA_DIR});
    for (const char* root : {"User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
      options.Roots.push_back({root, Dir + "/" + root});
    options.CreateRenderCore = [](gx::TGXEngine&) -> std::unique_ptr<gx::TGXEngineCore> {
      return std::make_unique<gx::TGXRenderCore>();
    };
    Global = std::make_unique<TRRGlobal>(options);
    ASSERT_NE(gx::GXCurrentRenderCore(), nullptr) << "No OpenGL 3.3 core context";
    Project().SetViewSurface(&Surface);
    Project().SetFrameClock(&Clock);
  }
  void TearDown() override {
    if (Global) {
      Project().CloseProject();
      Project().SetViewSurface(nullptr);
      Project().SetFrameClock(nullptr);
    }
    Global.reset();
    fs::remove_all(Dir);
  }
  TRRProject& Project() { return Global->Project(); }

  // A new layout with the crate, 3 m on each side, standing 30 m along +z.
  void NewLayoutWithCrate() {
    ASSERT_TRUE(Project().NewProject({}));
    TRRModelDesc crate;
    crate.ModelFile() = {TRRAssetFileName(std::string("Game:\\") + RRBasePackageID + "\\Dummy.x",
                                          std::string(RRBasePackageID) + "\\Dummy.x"),
                         {}};
    crate.SetPosition({0, 0, 3000});
    crate.SetScale({30, 30, 30});
    crate.SetID(Project().Manager()->NextID());
    Project().Manager()->ReserveIDs(1);
    ASSERT_NE(Project().Manager()->CreateEntity(nullptr, crate), nullptr);
  }
  TRRCamera* CameraOfType(uint8_t type) {
    for (TRREntity* e : Project().Manager()->Cameras())
      if (auto* c = dynamic_cast<TRRCamera*>(e); c && c->Type() == type) return c;
    return nullptr;
  }
  std::vector<uint32_t> Frame(const std::string& picture, int ticks = 1) {
    for (int i = 0; i < ticks; ++i) {
      Clock.Now += 40;
      Project().Tick();
    }
    TRRProjectRenderWindow* window = Project().RenderWindow();
    EXPECT_NE(window, nullptr);
    if (!window) return {};
    std::vector<uint32_t> frame = window->LastFrame();
    EXPECT_EQ(frame.size(), size_t(kWidth) * kHeight);
#ifdef VELMORA_TEST_OUTPUT_DIR
    const fs::path folder = fs::path(VELMORA_TEST_OUTPUT_DIR) / "view-pictures";
    fs::create_directories(folder);
    const std::vector<uint8_t> png = RREncodePng(kWidth, kHeight, frame, false);
    std::ofstream(folder / (picture + ".png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
#endif
    return frame;
  }
  static uint32_t At(const std::vector<uint32_t>& f, uint32_t x, uint32_t y) {
    return f.at(size_t(y) * kWidth + x);
  }
  // The share of crate pixels in the square of the half size around (x, y).
  static double CrateShare(const std::vector<uint32_t>& f, uint32_t x, uint32_t y, uint32_t half) {
    int orange = 0, all = 0;
    for (uint32_t j = y - half; j <= y + half; ++j)
      for (uint32_t i = x - half; i <= x + half; ++i) orange += Crate(At(f, i, j)), ++all;
    return double(orange) / all;
  }

  std::string Dir;
  TRRScriptedUIService Ui;
  std::unique_ptr<TRRGlobal> Global;
  gx::TGXOffscreenSurface Surface{kWidth, kHeight};
  TFrameClock Clock;
};

TEST_F(TProjectView, SkyAboveFloorBelowAndAFarObjectInFrontOfTheSky) {
  NewLayoutWithCrate();
  ASSERT_TRUE(Project().Floor()->Drawable());
  ASSERT_TRUE(Project().Skybox()->Drawable());
  TRRCamera* free = CameraOfType(RRCameraFree);
  ASSERT_NE(free, nullptr);
  ASSERT_EQ(Project().ActiveCamera(), free);
  // Eye height 1.5 m looking along +z, level: the horizon runs through the middle.
  free->SetPosition({0, 150, 0});
  free->SetRotation({0, 0, 0, 1});
  const std::vector<uint32_t> f = Frame("frei-horizont", 2);
  ASSERT_FALSE(f.empty());
  // Sky: bluish rows at the top, none of it the technical grey.
  for (uint32_t x : {10u, kWidth / 2, kWidth - 10}) {
    const uint32_t p = At(f, x, 4);
    EXPECT_GT(B(p), R(p) + 10) << std::hex << p;
    EXPECT_NE(p & 0xFFFFFF, RRTechnicalBackground & 0xFFFFFF);
  }
  // Floor: the meadow's green at the bottom.
  for (uint32_t x : {10u, kWidth / 2, kWidth - 10}) {
    const uint32_t p = At(f, x, kHeight - 4);
    EXPECT_GT(G(p), B(p) + 10) << std::hex << p;
  }
  // The crate, 28.5 m away, stands in the middle in front of the sky (about 47 pixels across).
  EXPECT_GT(CrateShare(f, kWidth / 2, kHeight / 2 - 12, 8), 0.6);
  EXPECT_GT(Project().RenderWindow()->DrawCallCount(), 6);

  // A placed camera at the same place sees the same picture.
  TRRCameraDesc placed;
  placed.SetType(RRCameraPlaced);
  placed.SetPosition({0, 150, 0});
  placed.SetID(Project().Manager()->NextID());
  Project().Manager()->ReserveIDs(1);
  auto* camera = dynamic_cast<TRRCamera*>(Project().Manager()->CreateEntity(nullptr, placed));
  ASSERT_NE(camera, nullptr);
  camera->SetVisible(false);
  Project().SetActiveCamera(camera);
  EXPECT_EQ(Frame("gesetzt-horizont", 2), f);
}

TEST_F(TProjectView, FloorAndSkyAreDrawnAfterEverythingOpaqueThatCanCoverThem) {
  // Drawn first they would be shaded under the baseboard and every model, only to be covered.
  NewLayoutWithCrate();
  TRRCamera* free = CameraOfType(RRCameraFree);
  ASSERT_NE(free, nullptr);
  free->SetPosition({0, 300, -500});
  free->SetRotation(gx::GXQuaternionRotationAxis({1, 0, 0}, 0.4f));
  Frame("reihenfolge");
  gx::TGXRenderer& renderer = gx::GXCurrentRenderCore()->Renderer();
  renderer.BuildQueue(*Project().RenderWindow()->View());
  const gx::TGXRenderQueue& queue = renderer.Queue();
  int floor = -1, firstSky = -1, lastSky = -1, lastOther = -1, terrain = 0, models = 0;
  for (int i = 0; i < queue.ItemCount(); ++i) {
    const gx::TGXEffectPass* pass = queue.Items(i).Pass;
    if (pass->AlphaBlend()) continue;
    const std::string& technique = pass->Technique()->Name();
    if (technique == "Floor") {
      floor = i;
    } else if (technique == "Skybox") {
      if (firstSky < 0) firstSky = i;
      lastSky = i;
    } else {
      lastOther = i;
      terrain += technique == "Terrain";
      models += technique == "Model";
    }
  }
  EXPECT_GT(terrain, 0);
  EXPECT_GT(models, 0);
  ASSERT_GE(floor, 0);
  ASSERT_GE(firstSky, 0);
  EXPECT_LT(lastOther, floor);
  EXPECT_LT(floor, firstSky);
  EXPECT_EQ(lastSky, firstSky + 4);
}

// While the pointer drags, a CPU rasteriser draws the view at half size (an odd size rounds);
// the picture still shows the crate in the middle, the cameras keep the full view's aspect for
// picking, and the next frame after the drag is full size again.
TEST_F(TProjectView, FollowingThePointerOnACpuRasteriserDrawsHalfSizeAndKeepsTheAspect) {
  Surface.SetClientSize(321, 241);
  NewLayoutWithCrate();
  TRRCamera* free = CameraOfType(RRCameraFree);
  ASSERT_NE(free, nullptr);
  free->SetPosition({0, 150, 0});
  free->SetRotation({0, 0, 0, 1});
  TRRProjectRenderWindow* window = Project().RenderWindow();
  ASSERT_NE(window, nullptr);
  const bool cpu = gx::GXCurrentRenderCore()->Adapter().Info.Software;
  auto tick = [&] {
    Clock.Now += 40;
    Project().Tick();
  };
  tick();
  for (const bool following : {true, false}) {
    SCOPED_TRACE(following);
    window->SetFollowingPointer(following);
    tick();
    const bool half = following && cpu;
    EXPECT_EQ(window->DrawScale(), half ? 0.5f : 1.0f);
    const uint32_t w = half ? 161 : 321, h = half ? 121 : 241;
    ASSERT_EQ(window->FrameWidth(), w);
    ASSERT_EQ(window->FrameHeight(), h);
    const std::vector<uint32_t> f = window->LastFrame();
    ASSERT_EQ(f.size(), size_t(w) * h);
    int crate = 0, all = 0;
    for (uint32_t y = h / 2 - h / 20; y <= h / 2; ++y)
      for (uint32_t x = w / 2 - w / 40; x <= w / 2 + w / 40; ++x) crate += Crate(f[size_t(y) * w + x]), ++all;
    EXPECT_GT(crate, all / 2);
    EXPECT_EQ(window->Width(), 321u);
    EXPECT_FLOAT_EQ(window->Camera()->Aspect(), 321.0f / 241.0f);
    EXPECT_EQ(window->ViewImage().has_value(), true);
  }
}

TEST_F(TProjectView, TopDownCameraShowsAsMuchGroundAsItStandsHigh) {
  NewLayoutWithCrate();
  TRRCamera* topDown = CameraOfType(RRCameraTopDown);
  ASSERT_NE(topDown, nullptr);
  Project().SetActiveCamera(topDown);
  topDown->SetPosition({0, 600, 3000});
  const std::vector<uint32_t> f = Frame("2d-kiste", 2);
  ASSERT_FALSE(f.empty());
  EXPECT_FLOAT_EQ(topDown->EngineCamera()->OrthoHeight(), 600);
  // The crate's 300 of the 600 visible centimetres: half the picture's height.
  int rows = 0;
  for (uint32_t y = 0; y < kHeight; ++y) rows += !Meadow(At(f, kWidth / 2 + 20, y));
  EXPECT_NEAR(rows, int(kHeight / 2), 8);
  // Around it the floor's green.
  EXPECT_GT(G(At(f, 5, 5)), B(At(f, 5, 5)) + 10);
}

TEST_F(TProjectView, TechnicalViewHasTheFlatBackgroundWithoutFloorAndSky) {
  NewLayoutWithCrate();
  TRRCamera* topDown = CameraOfType(RRCameraTopDown);
  TRRCamera* drawing = CameraOfType(RRCameraTechnical);
  ASSERT_NE(topDown, nullptr);
  ASSERT_NE(drawing, nullptr);
  Project().SetActiveCamera(topDown);
  topDown->SetPosition({0, 600, 3000});
  Frame("2d-vorher");
  // Switched from the top-down camera the drawing camera takes its place.
  Project().SetActiveCamera(drawing);
  const std::vector<uint32_t> f = Frame("technisch-kiste", 2);
  ASSERT_FALSE(f.empty());
  EXPECT_FALSE(Project().Floor()->IsShown());
  EXPECT_FALSE(Project().SkyboxNode()->Visible());
  for (auto [x, y] :
       {std::pair<uint32_t, uint32_t>{2, 2}, {kWidth - 3, 2}, {2, kHeight - 3}, {kWidth - 3, kHeight - 3}})
    EXPECT_EQ(At(f, x, y), RRTechnicalBackground) << x << "," << y;
  // The crate in one flat colour of its kind.
  const uint32_t centre = At(f, kWidth / 2 + 20, kHeight / 2 + 20);
  EXPECT_NE(centre, RRTechnicalBackground);
  for (uint32_t y = kHeight / 2 + 10; y < kHeight / 2 + 30; ++y)
    for (uint32_t x = kWidth / 2 + 10; x < kWidth / 2 + 30; ++x)
      EXPECT_EQ(At(f, x, y), centre) << x << "," << y;
  // Back to the top-down camera: floor and sky return.
  Project().SetActiveCamera(topDown);
  EXPECT_TRUE(Project().Floor()->IsShown());
}

TEST_F(TProjectView, RenderCommandWritesTheProjectsOwnViewImageInEveryFormat) {
  NewLayoutWithCrate();
  CameraOfType(RRCameraFree)->SetPosition({0, 150, 0});
  CameraOfType(RRCameraFree)->SetRotation({0, 0, 0, 1});
  const std::string layout = Dir + "/Kiste.vmp";
  ASSERT_TRUE(Project().SaveProject(layout));
  Project().CloseProject();

  auto render = [&](const std::string& out, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {layout, "-o", out, "--size", "320x240"};
    args.insert(args.end(), more.begin(), more.end());
    std::ostringstream o, e;
    const int status = cli::RunRenderCommand(args, o, e);
    EXPECT_EQ(status, 0) << e.str();
    return o.str();
  };
  render(Dir + "/a.png");
  render(Dir + "/b.png");
  const std::vector<uint8_t> a = ReadAll(Dir + "/a.png"), b = ReadAll(Dir + "/b.png");
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(a, b);

  // The same steps through the project: load, one frame on the 40 ms clock.
  Clock.Now = 0;
  ASSERT_TRUE(Project().LoadProject(layout, false));
  Clock.Now += 40;
  Project().Tick();
  std::optional<TRRBitmap> view = Project().RenderWindow()->ViewImage();
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(RREncodePng(*view), a);
  const std::vector<uint32_t> pixels = Project().RenderWindow()->LastFrame();
  Project().CloseProject();

  const std::string json = render(Dir + "/c.bmp", {"--json", "--frames", "3"});
  EXPECT_NE(json.find("\"frames\":3"), std::string::npos) << json;
  EXPECT_NE(json.find("\"size\":{\"width\":320,\"height\":240}"), std::string::npos) << json;
  EXPECT_NE(json.find("\"camera\":{\"name\":\"Freie Kamera\",\"type\":1}"), std::string::npos) << json;
  render(Dir + "/d.jpg");
  const gx::TGXImage png = gx::GXReadImage(a);
  const gx::TGXImage bmp = gx::GXReadImage(ReadAll(Dir + "/c.bmp"));
  const gx::TGXImage jpg = gx::GXReadImage(ReadAll(Dir + "/d.jpg"));
  for (const gx::TGXImage* image : {&png, &bmp, &jpg}) {
    ASSERT_EQ(image->Width, kWidth);
    ASSERT_EQ(image->Height, kHeight);
  }
  double jpegError = 0;
  for (size_t i = 0; i < pixels.size(); ++i) {
    EXPECT_EQ(png.Pixels[i] & 0xFFFFFF, pixels[i] & 0xFFFFFF) << i;
    EXPECT_EQ(bmp.Pixels[i] & 0xFFFFFF, pixels[i] & 0xFFFFFF) << i;
    jpegError += std::abs(G(jpg.Pixels[i]) - G(pixels[i]));
    if (HasFailure()) break;
  }
  EXPECT_LT(jpegError / double(pixels.size()), 6.0);
}

}  // namespace
