#include "tools/assetgen/Cameras.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/entities/RRCamera.h"
#include "tools/assetgen/Buildings.h"
#include "tools/assetgen/ModelCatalogue.h"
#include "tools/assetgen/ModelKit.h"

namespace assetgen {

namespace {

namespace fs = std::filesystem;
using K = TModelKit;

gx::TGXQuaternion RotationX(float angle) { return {std::sin(angle / 2), 0, 0, std::cos(angle / 2)}; }

}  // namespace

gx::TGXModelData CameraModel() {
  K k;
  const std::string body = ColourMaterial(0.18f, 0.18f, 0.2f), metal = ColourMaterial(0.62f, 0.62f, 0.6f),
                    glass = ColourMaterial(0.25f, 0.45f, 0.7f), red = ColourMaterial(0.75f, 0.1f, 0.08f);
  k.Part("Kamera");
  // The body, centred on the camera's own point, and the viewfinder at its back.
  k.Box(body, {-2.5f, -2.2f, -4}, {2.5f, 2.2f, 4}, kFit, K::kAll);
  k.Box(metal, {-0.8f, 0.6f, -5.2f}, {0.8f, 1.6f, -4}, kFit, K::kAll);
  // A red recording light on the front.
  k.Box(red, {1.4f, 1.4f, 4}, {2.0f, 1.9f, 4.3f}, kFit, K::kAll);
  // Two film reels on top, standing across the view direction.
  const float pi = 3.14159265f;
  for (float z : {-2.2f, 2.0f}) {
    k.Part("Spule", 0, {0, 2.2f + 2.4f, z}, AxisRotation({0, 0, 1}, pi / 2));
    k.Frustum(metal, {0, 0, 0}, 2.4f, 2.4f, -0.6f, 0.6f, 16, kFit, K::kTop | K::kBottom);
    k.Frustum(body, {0, 0, 0}, 0.5f, 0.5f, -0.8f, 0.8f, 8, kFit, K::kTop | K::kBottom);
  }
  // The lens along +z: a tube with a glass front.
  k.Part("Objektiv", 0, {0, 0, 4}, RotationX(pi / 2));
  k.Frustum(metal, {0, 0, 0}, 1.5f, 1.8f, 0, 3, 16, kFit, 0);
  k.Frustum(glass, {0, 0, 0}, 1.8f, 1.8f, 3, 3.1f, 16, kFit, K::kTop);
  // A short stand under the body.
  k.Part("Stativ", 0);
  k.Frustum(metal, {0, 0, 0}, 0.5f, 0.5f, -6, -2.2f, 8, kFit, 0);
  for (int i = 0; i < 3; ++i) {
    const float a = static_cast<float>(i) * 2 * pi / 3;
    k.Beam(metal, {0, -6, 0}, {3.5f * std::sin(a), -9, 3.5f * std::cos(a)}, 0.4f, kFit);
  }
  return k.Build(gx::EGXModelFormat::XFile);
}

std::shared_ptr<void> AddCameraEntry(rr::TRRAsset& catalogue, const fs::path& workRoot) {
  auto scratch = std::make_shared<TScratch>();
  scratch->Folder = workRoot / "Kameraquellen.tmp";
  fs::remove_all(scratch->Folder);
  fs::create_directories(scratch->Folder);
  WriteFile(scratch->Folder / "Kamera.x", ModelFileBytes(CameraModel(), TModelFileForm::XText));

  // Stored once through the package writer, then named as the SDK keeps it.
  scratch->Package = std::make_unique<rr::TRRAsset>(catalogue.Database());
  scratch->Package->SetIdentifier(catalogue.Identifier());
  auto source = std::make_unique<rr::TRRModelDesc>();
  source->SetAssetID(ModelAssetID("Kamera"));
  source->ModelFile().Model.FileName = (scratch->Folder / "Kamera.x").string();
  auto* stored = static_cast<rr::TRRModelDesc*>(scratch->Package->Root().AddDescription(std::move(source)));
  scratch->Package->WritePackage((scratch->Folder / "Quellen.vma").string(), true);
  scratch->Package->Mount();

  rr::TRRModelFileName file = stored->ModelFile();
  if (file.Model.RelativeName.empty()) throw std::runtime_error("Modell Kamera nicht gespeichert.");
  file.Model.FileName = std::string(ModelSourceFolder) + "\\Kamera.x";
  auto d = std::make_unique<rr::TRRCameraDesc>();
  d->SetType(rr::RRCameraPlaced);
  d->SetAssetID(ModelAssetID(CameraCataloguePath));
  d->Name().SetText(gx::GX_LANG_GERMAN, "Kamera", true);
  d->SetCataloguePath(CameraCataloguePath);
  d->ModelFile() = std::move(file);
  catalogue.Root().AddDescription(std::move(d));
  return scratch;
}

void AddSampleCameras(rr::TRREntityManager& manager, const rr::TRRDatabase& database) {
  auto* projectNode = dynamic_cast<gx::TGXSceneNode*>(manager.Project().ProjectNode());
  if (!projectNode) return;
  projectNode->Update(false);
  // The layout: everything but the light (high above one corner) and cameras.
  std::vector<rr::TRREntity*> all;
  gx::TGXVector3 lo{0, 0, 0}, hi{0, 0, 0};
  bool any = false;
  for (int i = 0; i < projectNode->ChildCount(); ++i) {
    auto* e = dynamic_cast<rr::TRREntity*>(projectNode->Child(i));
    if (!e || e == manager.Light() || e->Is<rr::TRRCamera>() || e->WorldBounds().Empty) continue;
    all.push_back(e);
    lo = any ? gx::GXVec3Minimize(lo, e->WorldBounds().Min()) : e->WorldBounds().Min();
    hi = any ? gx::GXVec3Maximize(hi, e->WorldBounds().Max()) : e->WorldBounds().Max();
    any = true;
  }
  gx::TGXBoundingBox box;
  if (any) box = gx::BoxFromMinMax(lo, hi);
  auto make = [&](rr::TRREntityDescription& d) {
    d.SetID(manager.NextID());
    manager.ReserveIDs(1);
    auto* camera = static_cast<rr::TRRCamera*>(manager.CreateEntity(nullptr, d));
    projectNode->Update(false);
    return camera;
  };
  const float quarter = 3.14159265f / 4, half = 3.14159265f / 2;

  // The free camera looks down 45 degrees at the whole layout; it is the active one.
  rr::TRRCamera* free = nullptr;
  {
    rr::TRRCameraDesc d;
    d.SetType(rr::RRCameraFree);
    d.Name().SetText(gx::GX_LANG_GERMAN, rr::RRNameFreeCamera, true);
    d.SetRotation(RotationX(quarter));
    free = make(d);
  }
  // Twice the diagonal frames from far; the layout fills more of the view from two thirds of it.
  free->FrameEntities(all);
  if (!box.Empty) {
    const gx::TGXVector3 centre = (box.Min() + box.Max()) * 0.5f;
    free->SetWorldPosition(centre + (free->WorldPosition() - centre) * 0.6f);
    free->Update(false);
  }
  const uint8_t types[] = {rr::RRCameraTopDown, rr::RRCameraTechnical};
  const char* names[] = {rr::RRName2DCamera, rr::RRNameTechnicalCamera};
  for (int i = 0; i < 2; ++i) {
    rr::TRRCameraDesc d;
    d.SetType(types[i]);
    d.Name().SetText(gx::GX_LANG_GERMAN, names[i], true);
    // Over the layout at a height that shows all of it at 16:9 with a margin (a new layout's
    // rule of at least 300 cm would leave the small layout a speck).
    gx::TGXVector3 over = rr::RRTopDownPlaceOver(box);
    if (!box.Empty) {
      const gx::TGXVector3 size = box.Max() - box.Min();
      over.y = std::clamp(1.15f * std::max(size.z, size.x * 9.0f / 16.0f), rr::RRTopDownMinHeight,
                          rr::RRTopDownMaxHeight);
    }
    d.SetPosition(over);
    d.SetRotation(RotationX(half));
    make(d);
  }

  // The placed camera from the catalogue, over one corner looking across the layout.
  const gx::TGXGuid id = database.FindAssetIDByPath(CameraCataloguePath);
  rr::TRREntityDescriptionList found(false);
  database.CollectCatalogByAsset(id, found);
  if (found.Count() == 0) throw std::runtime_error("Beispielanlage: Kamera fehlt im Katalog.");
  std::unique_ptr<rr::TRREntityDescription> view = found.Item(0)->Clone();
  view->Name().SetText(gx::GX_LANG_GERMAN, SampleViewCameraName, true);
  rr::TRRCamera* placed = make(*view);
  if (!box.Empty) {
    const gx::TGXVector3 centre = (lo + hi) * 0.5f;
    const float size = std::max(hi.x - lo.x, hi.z - lo.z);
    placed->SetWorldPosition({lo.x - 0.15f * size, lo.y + 0.35f * size, lo.z - 0.2f * size});
    placed->Update(false);
    placed->LookAt({centre.x, lo.y, centre.z});
    placed->Update(false);
  }
  free->SetActive(true);
}

rr::TRRCamera* AddPlacedCamera(rr::TRREntityManager& manager, const rr::TRRDatabase& database,
                               const std::string& name, const gx::TGXVector3& eye, const gx::TGXVector3& target) {
  rr::TRREntityDescriptionList found(false);
  database.CollectCatalogByAsset(database.FindAssetIDByPath(CameraCataloguePath), found);
  if (found.Count() == 0) throw std::runtime_error("Beispielanlage: Kamera fehlt im Katalog.");
  std::unique_ptr<rr::TRREntityDescription> d = found.Item(0)->Clone();
  d->Name().SetText(gx::GX_LANG_GERMAN, name, true);
  d->SetID(manager.NextID());
  manager.ReserveIDs(1);
  auto* camera = static_cast<rr::TRRCamera*>(manager.CreateEntity(nullptr, *d));
  // A viewpoint, not a prop: its model would stand in the other cameras' pictures.
  camera->SetShowModel(false);
  camera->SetWorldPosition(eye);
  camera->Update(false);
  camera->LookAt(target);
  camera->Update(false);
  return camera;
}

}  // namespace assetgen
