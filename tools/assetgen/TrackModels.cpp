#include "tools/assetgen/TrackModels.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "app/RRDatabase.h"
#include "engine/render/GXModelWriter.h"
#include "tools/assetgen/ModelKit.h"

namespace assetgen {

namespace {

using K = TModelKit;

constexpr float kRail = 0.62f;   // rail height of both track meshes
constexpr float kRailX = 0.83f;  // the rails' centre lines
constexpr int kRound = 48;       // segments of the turntable's circles

std::string Colour(float r, float g, float b) { return gx::GXModelColorName(r, g, b, 1.0f); }

}  // namespace

gx::TGXModelData BufferStopModel(bool bed) {
  const std::string red = Colour(0.72f, 0.1f, 0.08f), white = Colour(0.94f, 0.94f, 0.9f),
                    steel = Colour(0.22f, 0.22f, 0.24f), rust = Colour(0.36f, 0.23f, 0.16f),
                    ballast = Colour(0.5f, 0.47f, 0.42f);
  K k;
  k.Part("Prellbock");
  // The buffer beam with a white stripe and two buffers towards +z.
  k.Box(red, {-1.5f, 1.55f, 1.35f}, {1.5f, 2.05f, 1.6f}, kFit, K::kAll);
  k.Box(white, {-0.3f, 1.55f, 1.6f}, {0.3f, 2.05f, 1.62f}, kFit, K::kBack | K::kTop | K::kLeft | K::kRight);
  for (float x : {-1.0f, 1.0f}) {
    k.Box(steel, {x - 0.12f, 1.68f, 1.6f}, {x + 0.12f, 1.92f, 2.0f}, kFit, K::kAll & ~K::kFront);
    k.Box(steel, {x - 0.25f, 1.55f, 2.0f}, {x + 0.25f, 2.05f, 2.08f}, kFit, K::kAll);
  }
  // Uprights on the rails and struts back down to them.
  for (float x : {-kRailX, kRailX}) {
    k.Box(rust, {x - 0.07f, kRail, 1.4f}, {x + 0.07f, 2.05f, 1.54f}, kFit, K::kAll & ~K::kBottom);
    k.Beam(rust, {x, kRail + 0.05f, 0.12f}, {x, 1.95f, 1.4f}, 0.14f, kFit);
    k.Box(steel, {x - 0.12f, kRail, 0.0f}, {x + 0.12f, kRail + 0.06f, 1.6f}, kFit, K::kAll & ~K::kBottom);
  }
  if (bed) {
    // The ballast bed (top 3.5 wide at 0.40, foot 5 wide) ends in a slope.
    k.Quad(ballast, {-2.5f, 0, -1.0f}, {-1.75f, 0.4f, 0}, {1.75f, 0.4f, 0}, {2.5f, 0, -1.0f}, kFit);
    k.Triangle(ballast, {-2.5f, 0, 0}, {-1.75f, 0.4f, 0}, {-2.5f, 0, -1.0f}, kFit);
    k.Triangle(ballast, {2.5f, 0, -1.0f}, {1.75f, 0.4f, 0}, {2.5f, 0, 0}, kFit);
  }
  return k.Build(gx::EGXModelFormat::XFile);
}

gx::TGXModelData TurntableModel() {
  const std::string concrete = Colour(0.62f, 0.6f, 0.56f), pitWall = Colour(0.5f, 0.48f, 0.45f),
                    floor = Colour(0.36f, 0.33f, 0.3f), steel = Colour(0.2f, 0.21f, 0.22f),
                    rail = Colour(0.45f, 0.43f, 0.42f), wood = Colour(0.45f, 0.18f, 0.12f),
                    roof = Colour(0.25f, 0.26f, 0.28f), glass = Colour(0.22f, 0.27f, 0.36f),
                    frame = Colour(0.9f, 0.9f, 0.86f);
  const float outer = TurntableModelDiameter / 2, pit = 10.0f, deck = 0.35f;
  K k;
  // The pit: the deck ring the stubs lie on, the pit wall, the floor with its circular rail and
  // the king pin.
  k.Part("Grube");
  k.Ring(concrete, {0, 0, 0}, pit, outer, deck, kRound, {4, 4});
  k.Frustum(concrete, {0, 0, 0}, outer, outer, 0, deck, kRound, {4, 4}, 0);
  k.InnerWall(pitWall, {0, 0, 0}, pit, 0.02f, deck, kRound, {4, 4});
  k.Ring(floor, {0, 0, 0}, 0.9f, pit, 0.02f, kRound, {4, 4});
  k.Ring(rail, {0, 0, 0}, 9.5f, 9.75f, 0.07f, kRound, {4, 4});
  k.Frustum(steel, {0, 0, 0}, 0.9f, 0.7f, 0.02f, 0.3f, 16, kFit, K::kTop);

  // The bridge across the pit along z, turning about the king pin.
  const int bridge = k.Part("Rad");
  for (float x : {-2.8f, 2.8f})
    k.Box(steel, {x - 0.15f, 0.05f, -9.9f}, {x + 0.15f, 0.72f, 9.9f}, kFit, K::kAll);
  for (float z : {-8.0f, -4.0f, 0.0f, 4.0f, 8.0f})
    k.Box(steel, {-2.65f, 0.05f, z - 0.15f}, {2.65f, 0.25f, z + 0.15f}, kFit, K::kAll & ~K::kBottom);
  for (float z : {-9.75f, 9.75f})
    k.Box(steel, {-3.2f, 0.05f, z - 0.2f}, {3.2f, 0.45f, z + 0.2f}, kFit, K::kAll & ~K::kBottom);
  // A handrail along the side opposite the hut.
  for (int i = 0; i <= 6; ++i) {
    const float z = -9.0f + float(i) * 3.0f;
    k.Box(rail, {-3.0f, 0.72f, z - 0.05f}, {-2.9f, 1.8f, z + 0.05f}, kFit, K::kSides);
  }
  k.Beam(rail, {-2.95f, 1.8f, -9.1f}, {-2.95f, 1.8f, 9.1f}, 0.08f, kFit);
  // The hut's platform, cantilevered from the girder.
  k.Box(steel, {2.95f, 0.55f, -1.5f}, {5.4f, 0.72f, 1.5f}, kFit, K::kAll);

  // The operator's hut: boarded walls, windows on three sides, the door towards -z.
  k.Part("Haus", bridge, {4.15f, 0.72f, 0});
  k.Box(wood, {-1.0f, 0, -1.1f}, {1.0f, 2.2f, 1.1f}, kFit, K::kSides);
  const std::vector<TWall> w = BoxWalls(-1.0f, -1.1f, 1.0f, 1.1f);
  k.Opening(frame, w[0], 0.55f, 0, 0.9f, 1.9f);
  k.Opening(roof, w[0], 0.6f, 0.05f, 0.8f, 1.8f, 0.05f);
  for (int side : {1, 2, 3}) {
    const TWall& s = w[size_t(side)];
    k.Opening(frame, s, s.Length / 2 - 0.55f, 1.0f, 1.1f, 0.9f);
    k.Opening(glass, s, s.Length / 2 - 0.47f, 1.08f, 0.94f, 0.74f, 0.05f);
  }
  K::TRoof r;
  r.X0 = -1.0f, r.Z0 = -1.1f, r.X1 = 1.0f, r.Z1 = 1.1f;
  r.Eave = 2.2f, r.Ridge = 2.9f, r.Overhang = 0.25f, r.Thickness = 0.1f, r.AlongX = false;
  r.Cover = roof, r.Under = wood, r.Gable = wood, r.CoverTile = kFit, r.GableTile = kFit;
  k.GableRoof(r);
  return k.Build(gx::EGXModelFormat::XFile);
}

std::shared_ptr<void> AddTrackModels(rr::TRRAsset& shared, const std::filesystem::path& workFolder) {
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {BufferStopModelFile, gx::GXWriteXFile(BufferStopModel(true))},
      {BufferStopNoBedModelFile, gx::GXWriteXFile(BufferStopModel(false))},
      {TurntableModelFile, gx::GXWriteXFile(TurntableModel())},
  };
  std::vector<std::filesystem::path> written;
  auto remove = [](const std::vector<std::filesystem::path>& list) {
    std::error_code ignored;
    for (const auto& f : list) std::filesystem::remove(f, ignored);
  };
  try {
    for (const auto& [entry, bytes] : files) {
      const std::string name = entry.substr(entry.rfind('\\') + 1);
      const std::filesystem::path file = workFolder / (name + ".tmp");
      written.push_back(file);
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
      if (!out) throw std::runtime_error("Datei kann nicht geschrieben werden: " + file.string());
      shared.AdditionalFiles().push_back({file.string(), entry});
    }
  } catch (...) {
    remove(written);
    throw;
  }
  return std::shared_ptr<void>(nullptr, [written, remove](void*) { remove(written); });
}

}  // namespace assetgen
