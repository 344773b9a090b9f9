#include "tools/assetgen/Catenary.h"

#include <vector>

#include "app/RRDatabase.h"
#include "app/entities/track/RRCatenary.h"
#include "tools/assetgen/Buildings.h"
#include "tools/assetgen/ModelCatalogue.h"
#include "tools/assetgen/ModelKit.h"

namespace assetgen {

namespace {

namespace fs = std::filesystem;
using K = TModelKit;

const std::string kSteel = ColourMaterial(0.55f, 0.57f, 0.56f);
const std::string kConcrete = ColourMaterial(0.63f, 0.62f, 0.58f);
const std::string kInsulator = ColourMaterial(0.46f, 0.26f, 0.16f);
const std::string kContactWire = ColourMaterial(0.42f, 0.3f, 0.2f);
const std::string kMessenger = ColourMaterial(0.32f, 0.31f, 0.3f);

constexpr float kPoleTop = 9.4f;
constexpr float kHalfFlange = 0.25f;  // the profile's half width across the line (z)
constexpr float kHalfDepth = 0.22f;   // its half depth towards the track (x)
constexpr float kFlangeThickness = 0.07f;
constexpr int kDroppers = 5;

// The messenger's distance from the contact wire along the wire (t from 0 to 1): largest at the
// masts, sagging towards the middle of the span.
float MessengerOffset(float t) {
  const float sag = 4 * t * (1 - t);
  return CatenaryMessengerOffset - 1.0f * sag;
}

void Pole(K& k) {
  // Foundation, then the H profile: two flanges across the line and the web between them.
  k.Box(kConcrete, {-0.45f, 0, -0.45f}, {0.45f, 0.4f, 0.45f}, kFit);
  for (float side : {-1.0f, 1.0f}) {
    const float z0 = side < 0 ? -kHalfFlange : kHalfFlange - kFlangeThickness;
    k.Box(kSteel, {-kHalfDepth, 0.4f, z0}, {kHalfDepth, kPoleTop, z0 + kFlangeThickness}, kFit);
  }
  k.Box(kSteel, {-0.03f, 0.4f, -kHalfFlange}, {0.03f, kPoleTop, kHalfFlange}, kFit,
        K::kLeft | K::kRight | K::kTop);
  k.Box(kSteel, {-kHalfDepth - 0.02f, kPoleTop, -kHalfFlange - 0.02f},
        {kHalfDepth + 0.02f, kPoleTop + 0.06f, kHalfFlange + 0.02f}, kFit, K::kAll);
}

void Cantilever(K& k) {
  const float messenger = CatenaryWireHeight + CatenaryMessengerOffset / 2;
  const float tip = CatenaryReach + 0.3f;
  const float start = kHalfDepth;
  // The top tube carries the messenger, the brace below it the steady arm for the contact wire;
  // both hang from the pole on insulators.
  k.Tube(kInsulator, {start, messenger, 0}, {start + 0.5f, messenger, 0}, 0.09f, 0.09f, 8, K::kTop);
  k.Beam(kSteel, {start + 0.5f, messenger, 0}, {tip, messenger, 0}, 0.1f, kFit);
  const TGXVector3 braceFoot{start, CatenaryWireHeight - 0.9f, 0};
  const TGXVector3 braceHead{CatenaryReach - 0.6f, messenger, 0};
  const TGXVector3 along = (braceHead - braceFoot) * (1.0f / gx::GXVec3Length(braceHead - braceFoot));
  k.Tube(kInsulator, braceFoot, braceFoot + along * 0.5f, 0.08f, 0.08f, 8, K::kTop | K::kBottom);
  k.Beam(kSteel, braceFoot + along * 0.5f, braceHead, 0.08f, kFit);
  // The steady arm from the brace down to the contact wire, and the hanger at the anchor.
  const TGXVector3 armFoot = braceFoot + along * 1.6f;
  k.Beam(kSteel, armFoot, {CatenaryReach, CatenaryWireHeight + 0.05f, 0}, 0.05f, kFit);
  k.Beam(kMessenger, {CatenaryReach, CatenaryWireHeight, 0}, {CatenaryReach, messenger, 0}, 0.04f, kFit);
  k.Box(kSteel, {CatenaryReach - 0.08f, messenger - 0.1f, -0.08f},
        {CatenaryReach + 0.08f, messenger + 0.08f, 0.08f}, kFit, K::kAll);
}

void Wire(K& k) {
  // Before the program halves it across: contact wire 0.16 thick on the axis, messenger 0.12,
  // droppers 0.06.
  const float length = CatenaryWireLength;
  k.Box(kContactWire, {-0.08f, 0, -0.08f}, {0.08f, length, 0.08f}, kFit, K::kAll);
  constexpr int kSegments = 8;
  constexpr float kEnd = 0.05f;
  for (int i = 0; i < kSegments; ++i) {
    const float t0 = float(i) / kSegments, t1 = float(i + 1) / kSegments;
    // Inside the contact wire's length, so that the wire's height stays its rest length.
    const float y0 = kEnd + t0 * (length - 2 * kEnd), y1 = kEnd + t1 * (length - 2 * kEnd);
    k.Beam(kMessenger, {0, y0, -MessengerOffset(t0)}, {0, y1, -MessengerOffset(t1)}, 0.12f, kFit);
  }
  for (int i = 0; i < kDroppers; ++i) {
    const float t = (float(i) + 0.5f) / kDroppers;
    k.Beam(kMessenger, {0, t * length, -0.05f}, {0, t * length, -MessengerOffset(t)}, 0.06f, kFit);
  }
}

}  // namespace

gx::TGXModelData CatenaryMastModel() {
  K k;
  k.Part(rr::RRCatenaryMastNode);
  Pole(k);
  Cantilever(k);
  k.Part(rr::RRCatenaryWireNode, -1, {CatenaryReach, CatenaryWireHeight, 0});
  Wire(k);
  return k.Build(gx::EGXModelFormat::XFile);
}

std::shared_ptr<void> AddCatenary(rr::TRRAsset& catalogue, rr::TRRAssetNode& root, const fs::path& workRoot) {
  auto scratch = std::make_shared<TScratch>();
  scratch->Folder = workRoot / "Oberleitungsquellen.tmp";
  fs::remove_all(scratch->Folder);
  fs::create_directories(scratch->Folder);

  const std::string file = std::string(CatenaryMastName) + ".x";
  const gx::TGXModelData model = CatenaryMastModel();
  const std::string path = std::string(CatenaryFolder) + "\\" + CatenaryMastName;
  WriteFile(scratch->Folder / file, ModelFileBytes(model, TModelFileForm::XText));
  std::vector<rr::TRRModelFileName> stored = StoreModelFiles(
      catalogue, *scratch, {{file, ModelTextures(model).size(), path}}, [](size_t, const std::string& f) {
        return std::string(ModelSourceFolder) + "\\" + CatenaryFolder + "\\" + f;
      });

  auto d = std::make_unique<rr::TRRCatenaryDesc>();
  d->SetAssetID(ModelAssetID(path));
  d->Name().SetText(gx::GX_LANG_GERMAN, CatenaryMastName, true);
  d->SetCataloguePath(path);
  d->SetLoop(false);
  d->SetAnimationEnabled(false);
  d->ModelFile() = std::move(stored[0]);
  SubFolder(root, CatenaryFolder)->AddDescription(std::move(d));
  return scratch;
}

}  // namespace assetgen
