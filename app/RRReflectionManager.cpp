#include "app/RRReflectionManager.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/entities/RRLight.h"
#include "engine/core/GXException.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXNullRenderDevice.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderTarget.h"
#include "engine/render/GXRenderTexture.h"
#include "engine/render/GXRenderer.h"
#include "engine/render/GXScene.h"
#include "engine/render/GXTexture.h"
#include "engine/render/GXViewport.h"

namespace rr {

namespace {

constexpr float HalfPi = 1.5707964f;
constexpr float Pi = 3.1415927f;

// Texture resources that stand for a target of the null device: loaded, without device texture.
class TNullTexture : public gx::TGXTexture {
 public:
  using gx::TGXTexture::TGXTexture;

 protected:
  void DoLoad() override {}
};

class TNullCubeTexture : public gx::TGXCubeTexture {
 public:
  using gx::TGXCubeTexture::TGXCubeTexture;

 protected:
  void DoLoad() override {}
};

gx::TGXRenderCore& Core() {
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  if (!core)
    throw gx::EInvalidCall({gx::TGXExceptionArg::Object("TRRReflectionManager"), "Create", "No render core"});
  return *core;
}

// Whether the node and all its ancestors are visible.
bool ShownInScene(const gx::TGXSceneNode* node) {
  for (const gx::TGXNode* n = node; n; n = n->Parent())
    if (const auto* s = dynamic_cast<const gx::TGXSceneNode*>(n); s && !s->Visible()) return false;
  return true;
}

gx::TGXVector3 Reflect(const gx::TGXVector3& v, const gx::TGXVector3& n) {
  return v - n * (2 * gx::GXVec3Dot(v, n));
}

// The rotation whose local axes are the given world axes (rows of the rotation matrix).
gx::TGXQuaternion RotationFromAxes(const gx::TGXVector3& right, const gx::TGXVector3& up,
                                   const gx::TGXVector3& forward) {
  const gx::TGXMatrix m(right.x, right.y, right.z, 0, up.x, up.y, up.z, 0, forward.x, forward.y, forward.z, 0,
                        0, 0, 0, 1);
  return gx::GXQuaternionNormalize(gx::GXQuaternionRotationMatrix(m));
}

}  // namespace

// ---- sizes ----

uint32_t RRPlanarReflectionSize(uint8_t quality) {
  switch (quality) {
    case 0:
      return 0;
    case 1:
      return 256;
    case 2:
      return 512;
    default:
      return 1024;
  }
}

uint32_t RREnvironmentMapSize(uint8_t quality) {
  if (quality == 0) return 0;
  return quality >= 3 ? 256 : 64;
}

gx::TGXQuaternion RRCubeFaceRotation(int face) {
  switch (face) {
    case 0:
      return gx::GXQuaternionRotationAxis({0, 1, 0}, HalfPi);
    case 1:
      return gx::GXQuaternionRotationAxis({0, 1, 0}, -HalfPi);
    case 2:
      return gx::GXQuaternionRotationAxis({1, 0, 0}, -HalfPi);
    case 3:
      return gx::GXQuaternionRotationAxis({1, 0, 0}, HalfPi);
    case 5:
      return gx::GXQuaternionRotationAxis({0, 1, 0}, Pi);
    default:
      return {0, 0, 0, 1};
  }
}

// ---- render core device ----

gx::TGXRef<gx::TGXDeviceSurface> TRRRenderCoreReflectionDevice::CreateDepthSurface(uint32_t edge) {
  gx::TGXRenderCore& core = Core();
  uint32_t format = core.Adapter().BestDepthFormat();
  if (format == 0) format = gx::GXFormatD24X8;
  return core.Device().CreateDepthStencilSurface(edge, edge, format);
}

std::shared_ptr<TRRReflectionTarget> TRRRenderCoreReflectionDevice::CreatePlanarTarget(
    uint32_t edge, gx::TGXDeviceSurface* depth) {
  auto texture = gx::MakeRef<gx::TGXRenderTexture>(edge, edge, false);
  texture->SetSurfaces(gx::TGXRef<gx::TGXDeviceSurface>(texture->ColorSurface()),
                       gx::TGXRef<gx::TGXDeviceSurface>(depth));
  auto target = std::make_shared<TRRReflectionTarget>();
  target->Texture = texture->Texture();
  target->Target = texture;
  target->Size = edge;
  return target;
}

std::shared_ptr<TRRReflectionTarget> TRRRenderCoreReflectionDevice::CreateCubeTarget(
    uint32_t edge, gx::TGXDeviceSurface* depth) {
  auto texture = gx::MakeRef<gx::TGXCubeRenderTexture>(edge, false);
  texture->SetSurfaces(gx::TGXRef<gx::TGXDeviceSurface>(texture->ColorSurface()),
                       gx::TGXRef<gx::TGXDeviceSurface>(depth));
  auto target = std::make_shared<TRRReflectionTarget>();
  target->CubeTexture = texture->Texture();
  target->Target = texture;
  target->Size = edge;
  target->Cube = true;
  return target;
}

void TRRRenderCoreReflectionDevice::SelectFace(TRRReflectionTarget& target, uint32_t face,
                                               gx::TGXDeviceSurface* depth) {
  auto* cube = dynamic_cast<gx::TGXCubeRenderTexture*>(target.Target.Get());
  if (!cube) return;
  cube->SelectFace(face);
  cube->SetSurfaces(gx::TGXRef<gx::TGXDeviceSurface>(cube->ColorSurface()),
                    gx::TGXRef<gx::TGXDeviceSurface>(depth));
}

void TRRRenderCoreReflectionDevice::Render(gx::TGXViewport& viewport) { Core().Renderer().Render(viewport); }

bool TRRRenderCoreReflectionDevice::EnvironmentMapsSupported() const {
  // Every adapter the render core accepts runs fragment shaders beyond the 2.0 model.
  return gx::GXCurrentRenderCore() != nullptr;
}

gx::TGXEffectParameterManager* TRRRenderCoreReflectionDevice::EffectParameters() {
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  return core ? &core->EffectParameters() : nullptr;
}

// ---- null device ----

TRRNullReflectionDevice::TRRNullReflectionDevice(gx::TGXNullRenderDevice& device,
                                                 gx::TGXEffectParameterManager& parameters)
    : FDevice(device),
      FParameters(parameters),
      FRenderer(std::make_unique<gx::TGXRenderer>(device, parameters)) {}

TRRNullReflectionDevice::~TRRNullReflectionDevice() = default;

gx::TGXRef<gx::TGXDeviceSurface> TRRNullReflectionDevice::CreateDepthSurface(uint32_t edge) {
  if (FailCreation)
    throw gx::EDirect3D(
        {gx::TGXExceptionArg::Object("TRRNullReflectionDevice"), "CreateDepthSurface", "Failed"});
  ++DepthSurfacesMade;
  return FDevice.CreateDepthStencilSurface(edge, edge, gx::GXFormatD24X8);
}

std::shared_ptr<TRRReflectionTarget> TRRNullReflectionDevice::CreatePlanarTarget(
    uint32_t edge, gx::TGXDeviceSurface* depth) {
  if (FailCreation)
    throw gx::EDirect3D(
        {gx::TGXExceptionArg::Object("TRRNullReflectionDevice"), "CreatePlanarTarget", "Failed"});
  ++PlanarTargetsMade;
  auto target = std::make_shared<TRRReflectionTarget>();
  target->Target = gx::MakeRef<gx::TGXRenderTarget>(edge, edge);
  target->Target->SetSurfaces(FDevice.CreateRenderTarget(edge, edge, gx::GXFormatX8R8G8B8),
                              gx::TGXRef<gx::TGXDeviceSurface>(depth));
  gx::TGXRef<gx::TGXTexture> texture(new TNullTexture(nullptr, "RenderTexture", true));
  texture->SetWidth(edge);
  texture->SetHeight(edge);
  texture->Load();
  target->Texture = texture;
  target->Size = edge;
  return target;
}

std::shared_ptr<TRRReflectionTarget> TRRNullReflectionDevice::CreateCubeTarget(uint32_t edge,
                                                                               gx::TGXDeviceSurface* depth) {
  if (FailCreation)
    throw gx::EDirect3D(
        {gx::TGXExceptionArg::Object("TRRNullReflectionDevice"), "CreateCubeTarget", "Failed"});
  ++CubeTargetsMade;
  auto target = std::make_shared<TRRReflectionTarget>();
  target->Target = gx::MakeRef<gx::TGXRenderTarget>(edge, edge);
  target->Target->SetSurfaces(FDevice.CreateRenderTarget(edge, edge, gx::GXFormatX8R8G8B8),
                              gx::TGXRef<gx::TGXDeviceSurface>(depth));
  gx::TGXRef<gx::TGXCubeTexture> texture(new TNullCubeTexture(nullptr, "RenderTexture", true));
  texture->SetEdgeLength(edge);
  texture->Load();
  target->CubeTexture = texture;
  target->Size = edge;
  target->Cube = true;
  return target;
}

void TRRNullReflectionDevice::SelectFace(TRRReflectionTarget& target, uint32_t face,
                                         gx::TGXDeviceSurface* depth) {
  FDevice.Note("SelectFace(" + std::to_string(face) + ")");
  target.Target->SetSurfaces(gx::TGXRef<gx::TGXDeviceSurface>(target.Target->ColorSurface()),
                             gx::TGXRef<gx::TGXDeviceSurface>(depth));
}

void TRRNullReflectionDevice::Render(gx::TGXViewport& viewport) {
  if (BeforeRender) BeforeRender(viewport);
  ++Renders;
  FRenderer->Render(viewport);
  DrawCalls += FRenderer->DrawCallCount();
}

// ---- manager ----

TRRReflectionManager::TRRReflectionManager(std::unique_ptr<IRRReflectionDevice> device, uint8_t planarQuality,
                                           uint8_t environmentQuality)
    : FDevice(std::move(device)),
      FPlanarQuality(std::min(planarQuality, RRMaxReflectionQuality)),
      FEnvironmentQuality(std::min(environmentQuality, RRMaxReflectionQuality)) {
  FCubeCameraNode = std::make_unique<gx::TGXSceneNode>("ReflectionCamera");
  FCubeCamera = new gx::TGXCamera(FCubeCameraNode.get());
  FCubeCamera->SetPerspective(HalfPi, 1, 5000);
  FCubeCamera->SetAspect(1);
  FCubeCamera->SetAspectLocked(true);
  if (gx::TGXRenderCore* core = gx::GXCurrentRenderCore()) {
    core->RegisterDeviceCallback(this);
    FCallbackRegistered = true;
  }
}

TRRReflectionManager::~TRRReflectionManager() {
  if (FCallbackRegistered)
    if (gx::TGXRenderCore* core = gx::GXCurrentRenderCore()) core->UnregisterDeviceCallback(this);
  while (!FRecords.empty()) RemoveRecordAt(FRecords.size() - 1);
  ReleaseAll();
}

bool TRRReflectionManager::EnvironmentMapsSupported() const {
  return FDevice && FDevice->EnvironmentMapsSupported();
}

// ---- registration ----

int TRRReflectionManager::FindRecord(const gx::TGXSceneNode* node, uint8_t kind) const {
  for (size_t i = 0; i < FRecords.size(); ++i)
    if (FRecords[i].Node == node && FRecords[i].Kind == kind) return static_cast<int>(i);
  return -1;
}

void TRRReflectionManager::RegisterMaterial(gx::TGXMaterial* material, gx::TGXSceneNode* node, uint8_t mode) {
  if (!material || !node || (mode != KindPlanar && mode != KindEnvironment)) return;
  int index = FindRecord(node, mode);
  if (index < 0) {
    bool listening = false;
    for (const TRecord& r : FRecords) listening = listening || r.Node == node;
    if (!listening)
      node->AddDestroyListener(gx::TGXDestroyHandler(this, &TRRReflectionManager::NodeDestroyed));
    TRecord record;
    record.Node = node;
    record.Kind = mode;
    FRecords.push_back(std::move(record));
    index = static_cast<int>(FRecords.size()) - 1;
  }
  TRecord& record = FRecords[static_cast<size_t>(index)];
  for (const TMaterialRef& m : record.Materials)
    if (m.Material.Get() == material) return;
  TMaterialRef ref;
  ref.Material = material;
  if (gx::TGXEffectValueSource* strength = material->FindValue("Reflection");
      strength && strength->DataSize() >= 4) {
    float value = 0;
    std::memcpy(&value, strength->Data().data(), 4);
    ref.Strength = std::isfinite(value) ? value : 0.0f;
  }
  record.Materials.push_back(ref);
  if (record.Target) PassToMaterials(record);
}

void TRRReflectionManager::UnregisterNode(gx::TGXSceneNode* node) {
  bool found = false;
  for (size_t i = FRecords.size(); i-- > 0;)
    if (FRecords[i].Node == node) {
      RemoveRecordAt(i);
      found = true;
    }
  if (found)
    node->RemoveDestroyListener(gx::TGXDestroyHandler(this, &TRRReflectionManager::NodeDestroyed).Key());
}

void TRRReflectionManager::NodeDestroyed(gx::TGXNode* node) {
  // The node is going: its records go without touching it again.
  for (size_t i = FRecords.size(); i-- > 0;)
    if (FRecords[i].Node == node) {
      FRecords[i].Node = nullptr;
      RemoveRecordAt(i);
    }
}

void TRRReflectionManager::RemoveRecordAt(size_t index) {
  ReleaseTarget(FRecords[index]);
  FRecords.erase(FRecords.begin() + static_cast<ptrdiff_t>(index));
}

void TRRReflectionManager::AddListener(IRRReflectionListener* listener) {
  if (!listener || std::find(FListeners.begin(), FListeners.end(), listener) != FListeners.end()) return;
  FListeners.push_back(listener);
}

void TRRReflectionManager::RemoveListener(IRRReflectionListener* listener) {
  std::erase(FListeners, listener);
}

TRRReflectionManager::TRecordInfo TRRReflectionManager::Record(int index) const {
  const TRecord& r = FRecords.at(static_cast<size_t>(index));
  TRecordInfo info;
  info.Node = r.Node;
  info.Kind = r.Kind;
  for (const TMaterialRef& m : r.Materials) info.MaterialCount += m.Material ? 1 : 0;
  info.Target = r.Target.get();
  return info;
}

// ---- targets ----

void TRRReflectionManager::ClearMaterials(TRecord& record) {
  const char* map = record.Kind == KindPlanar ? "ReflectionMap" : "EnvironmentMap";
  for (const TMaterialRef& ref : record.Materials) {
    gx::IGXMaterial material = ref.Material.Lock();
    if (!material) continue;
    if (gx::TGXEffectTextureSource* source = material->FindTexture(map)) {
      source->SetTexture(nullptr);
      source->SetCubeTexture(nullptr);
    }
    if (gx::TGXEffectValueSource* strength = material->FindValue("Reflection")) strength->SetFloats({0.0f});
  }
}

void TRRReflectionManager::PassToMaterials(TRecord& record) {
  if (!record.Target) return;
  const char* map = record.Kind == KindPlanar ? "ReflectionMap" : "EnvironmentMap";
  for (const TMaterialRef& ref : record.Materials) {
    gx::IGXMaterial material = ref.Material.Lock();
    if (!material) continue;
    if (gx::TGXEffectTextureSource* source = material->FindTexture(map)) {
      if (record.Target->Cube)
        source->SetCubeTexture(record.Target->CubeTexture);
      else
        source->SetTexture(record.Target->Texture);
    }
    if (gx::TGXEffectValueSource* strength = material->FindValue("Reflection"))
      strength->SetFloats({ref.Strength});
  }
}

void TRRReflectionManager::ReleaseTarget(TRecord& record) {
  if (!record.Target) return;
  ClearMaterials(record);
  std::shared_ptr<TRRReflectionTarget> target = std::move(record.Target);
  record.Target.reset();
  // The shared cube stays the manager's; only per-object targets are pooled.
  if (target == FSharedCube) return;
  (target->Cube ? FFreeCubes : FFreePlanar).push_back(std::move(target));
}

void TRRReflectionManager::ReleaseAll() {
  for (TRecord& record : FRecords) {
    ClearMaterials(record);
    record.Target.reset();
  }
  FFreePlanar.clear();
  FFreeCubes.clear();
  FSharedCube.reset();
  FDepthSurfaces.clear();
  FRenderedOnce = false;
}

bool TRRReflectionManager::PruneMaterials(TRecord& record) {
  std::erase_if(record.Materials, [](const TMaterialRef& m) { return !m.Material; });
  return !record.Materials.empty();
}

gx::TGXDeviceSurface* TRRReflectionManager::DepthSurface(uint32_t edge) {
  for (auto& [size, surface] : FDepthSurfaces)
    if (size == edge) return surface.Get();
  gx::TGXRef<gx::TGXDeviceSurface> surface = FDevice->CreateDepthSurface(edge);
  FDepthSurfaces.emplace_back(edge, surface);
  return surface.Get();
}

bool TRRReflectionManager::AcquireTarget(TRecord& record) {
  try {
    if (record.Kind == KindPlanar) {
      const uint32_t edge = RRPlanarReflectionSize(FPlanarQuality);
      for (auto it = FFreePlanar.begin(); it != FFreePlanar.end(); ++it)
        if ((*it)->Size == edge) {
          record.Target = std::move(*it);
          FFreePlanar.erase(it);
          return true;
        }
      record.Target = FDevice->CreatePlanarTarget(edge, DepthSurface(edge));
    } else {
      const uint32_t edge = RREnvironmentMapSize(FEnvironmentQuality);
      if (FEnvironmentQuality == 1) {
        if (!FSharedCube) {
          FSharedCube = FDevice->CreateCubeTarget(edge, DepthSurface(edge));
          FRenderedOnce = false;
        }
        record.Target = FSharedCube;
        return true;
      }
      for (auto it = FFreeCubes.begin(); it != FFreeCubes.end(); ++it)
        if ((*it)->Size == edge) {
          record.Target = std::move(*it);
          FFreeCubes.erase(it);
          return true;
        }
      record.Target = FDevice->CreateCubeTarget(edge, DepthSurface(edge));
    }
    return record.Target != nullptr;
  } catch (...) {
    record.Target.reset();
    return false;
  }
}

gx::TGXViewport& TRRReflectionManager::TargetViewport(TRRReflectionTarget& target) {
  if (target.Target->ViewportCount() == 0) target.Target->AddViewport(0, 0, 1, 1);
  gx::TGXViewport& viewport = *target.Target->Viewport(0);
  viewport.SetRect(0, 0, 1, 1);
  return viewport;
}

TRRPixelRect RRMirrorPixelRect(const gx::TGXBoundingBox& box, const gx::TGXMatrix& viewProjection, uint32_t edge) {
  const TRRPixelRect whole{0, 0, edge, edge};
  if (box.Empty) return {};
  constexpr float inf = std::numeric_limits<float>::infinity();
  float x0 = inf, y0 = inf, x1 = -inf, y1 = -inf;
  for (const gx::TGXVector3& corner : box.Corners()) {
    const gx::TGXVector4 clip = gx::GXVec3Transform(corner, viewProjection);
    // A corner behind the eye projects to no sensible place: the whole image then.
    if (!(clip.w > 1e-6f)) return whole;
    const float x = clip.x / clip.w, y = clip.y / clip.w;
    if (!std::isfinite(x) || !std::isfinite(y)) return whole;
    x0 = std::min(x0, x), x1 = std::max(x1, x);
    y0 = std::min(y0, y), y1 = std::max(y1, y);
  }
  x0 = std::max(x0, -1.0f), y0 = std::max(y0, -1.0f);
  x1 = std::min(x1, 1.0f), y1 = std::min(y1, 1.0f);
  if (x1 < x0 || y1 < y0) return {};
  // Device coordinates to pixels (y = 1 is the top row), widened by the filter's margin.
  const auto pixel = [edge](float fraction, bool up) {
    const double p = double(fraction) * edge + (up ? 2.0 : -2.0);
    return uint32_t(std::clamp(up ? std::ceil(p) : std::floor(p), 0.0, double(edge)));
  };
  return {pixel((x0 + 1) / 2, false), pixel((1 - y1) / 2, false), pixel((x1 + 1) / 2, true),
          pixel((1 - y0) / 2, true)};
}

void TRRReflectionManager::ClearTarget(TRRReflectionTarget& target, uint32_t background) {
  auto faces = target.Cube ? 6u : 1u;
  for (uint32_t face = 0; face < faces; ++face) {
    if (target.Cube) FDevice->SelectFace(target, face, DepthSurface(target.Size));
    gx::TGXViewport& viewport = TargetViewport(target);
    viewport.SetScene(nullptr);
    viewport.SetCamera(nullptr);
    viewport.SetClearColor(background);
    FDevice->Render(viewport);
  }
}

// ---- frame ----

namespace {

// What a reflection render changes, given back whatever happens.
class TRestore {
 public:
  TRestore(gx::TGXCamera& camera, gx::TGXSceneNode* skybox, gx::TGXEffectParameterManager* parameters)
      : FCamera(camera), FNode(camera.Node()), FSkybox(skybox), FParameters(parameters) {
    if (FNode) {
      FPosition = FNode->Position();
      FRotation = FNode->Rotation();
      FWorldPosition = FNode->WorldPosition();
    }
    if (FSkybox) FSkyPosition = FSkybox->Position();
    FClipPlane = camera.ClipPlane();
    FClipEnabled = camera.ClipPlaneEnabled();
    FWindow = camera.ProjectionWindow();
    FAspectLocked = camera.AspectLocked();
    FAspect = camera.Aspect();
  }
  ~TRestore() { Restore(); }

  void Restore() noexcept {
    if (FNode) {
      FNode->SetPosition(FPosition);
      FNode->SetRotation(FRotation);
      FNode->Update();
    }
    if (FSkybox) FSkybox->SetPosition(FSkyPosition);
    FCamera.SetClipPlane(FClipPlane);
    FCamera.SetClipPlaneEnabled(FClipEnabled);
    FCamera.SetProjectionWindow(FWindow);
    FCamera.SetAspect(FAspect);
    FCamera.SetAspectLocked(FAspectLocked);
    RRSetCameraPositionSource(FParameters, FWorldPosition);
  }

 private:
  gx::TGXCamera& FCamera;
  gx::TGXSceneNode* FNode;
  gx::TGXSceneNode* FSkybox;
  gx::TGXEffectParameterManager* FParameters;
  gx::TGXVector3 FPosition, FWorldPosition, FSkyPosition;
  gx::TGXQuaternion FRotation;
  gx::TGXPlane FClipPlane;
  gx::TGXVector4 FWindow;
  bool FClipEnabled = false, FAspectLocked = false;
  float FAspect = 1;
};

// Keeps a node out of the renders while it lives (what reflects never sees itself).
struct THide {
  explicit THide(gx::TGXSceneNode* node) : Node(node), Was(node ? node->RenderEnabled() : true) {
    if (Node) Node->SetRenderEnabled(false);
  }
  ~THide() {
    if (Node) Node->SetRenderEnabled(Was);
  }
  THide(const THide&) = delete;
  THide& operator=(const THide&) = delete;
  gx::TGXSceneNode* Node;
  bool Was;
};

void SetWorldTransform(gx::TGXSceneNode& node, const gx::TGXVector3& position,
                       const gx::TGXQuaternion& rotation) {
  node.SetWorldPosition(position);
  node.SetWorldRotation(rotation);
  node.Update();
}

}  // namespace

void TRRReflectionManager::Update(gx::TGXCamera* camera, uint32_t backgroundColor, gx::TGXSceneNode* skybox,
                                  float aspect) {
  if (!camera) return;
  gx::TGXSceneNode* cameraNode = camera->Node();
  gx::TGXEffectParameterManager* parameters = FDevice ? FDevice->EffectParameters() : nullptr;
  if (cameraNode) RRSetCameraPositionSource(parameters, cameraNode->WorldPosition());
  if (!FDevice || !cameraNode) return;
  gx::TGXScene* scene = cameraNode->Scene();
  if (!std::isfinite(aspect) || aspect <= 0) aspect = 1;

  // 1. Records whose node the camera cannot see give their target back.
  std::vector<size_t> active;
  for (size_t i = FRecords.size(); i-- > 0;) {
    TRecord& record = FRecords[i];
    if (!PruneMaterials(record)) {
      gx::TGXSceneNode* node = record.Node;
      RemoveRecordAt(i);
      // Every index kept so far lies above i and has just moved down by one.
      for (size_t& kept : active) --kept;
      bool other = false;
      for (const TRecord& r : FRecords) other = other || r.Node == node;
      if (!other && node)
        node->RemoveDestroyListener(gx::TGXDestroyHandler(this, &TRRReflectionManager::NodeDestroyed).Key());
      continue;
    }
    const bool enabled = record.Kind == KindPlanar ? FPlanarQuality != 0 : FEnvironmentQuality != 0;
    const bool seen = enabled && record.Node && record.Node->Scene() == scene && ShownInScene(record.Node) &&
                      camera->IsBoxVisible(record.Node->WorldBounds());
    if (seen)
      active.push_back(i);
    else
      ReleaseTarget(record);
  }
  std::reverse(active.begin(), active.end());

  // 2. Targets for the kept records; when one cannot be made nothing more is drawn this frame.
  for (size_t i : active) {
    TRecord& record = FRecords[i];
    if (record.Target) continue;
    if (FCreationBlocked || !AcquireTarget(record)) {
      FCreationBlocked = true;
      return;
    }
  }

  // 3.-5. The maps.
  {
    TRestore restore(*camera, skybox, parameters);
    bool sharedDrawn = false;
    for (size_t i : active) {
      TRecord& record = FRecords[i];
      TRRReflectionTarget& target = *record.Target;
      TargetViewport(target).SetClearColor(backgroundColor);
      if (record.Kind == KindPlanar) {
        RenderPlanar(record, *camera, skybox, aspect, backgroundColor);
        restore.Restore();
      } else if (record.Target == FSharedCube) {
        if (FRenderedOnce || sharedDrawn) continue;
        RenderEnvironment(record, *camera, skybox, backgroundColor);
        restore.Restore();
        sharedDrawn = true;
      } else {
        RenderEnvironment(record, *camera, skybox, backgroundColor);
        restore.Restore();
      }
    }
    if (sharedDrawn) FRenderedOnce = true;
  }

  // 6. The materials sample their maps.
  for (size_t i : active) PassToMaterials(FRecords[i]);
}

void TRRReflectionManager::RenderPlanar(TRecord& record, gx::TGXCamera& camera, gx::TGXSceneNode* skybox,
                                        float aspect, uint32_t background) {
  TRRReflectionTarget& target = *record.Target;
  gx::TGXSceneNode* node = camera.Node();
  const gx::TGXVector3 origin = record.Node->WorldPosition();
  gx::TGXVector3 normal =
      gx::GXVec3Normalize(record.Node->TransformNormal({0, 1, 0}, gx::TGXTransformSpace::World));
  if (gx::GXVec3LengthSq(normal) < 0.5f) normal = {0, 1, 0};
  const gx::TGXVector3 eye = node->WorldPosition();
  const float height = gx::GXVec3Dot(eye - origin, normal);
  // Below the mirror (or in it) nothing of the mirror image can be seen; an orthographic camera
  // has no mirror image. A stale image must not stay.
  if (!camera.Perspective() || !(height > 0)) {
    ClearTarget(target, background);
    return;
  }
  // Only the part of the image the mirror covers on the screen is ever sampled: the render is
  // cut to it (fewer pixels, and a narrower frustum culls more of the scene). Worked out with the
  // view's aspect: the camera gets it only when the view is drawn, after the reflections.
  camera.SetAspectLocked(true);
  camera.SetAspect(aspect);
  const TRRPixelRect pixels = RRMirrorPixelRect(record.Node->WorldBounds(), camera.GetViewProjectionMatrix(), target.Size);
  if (pixels.Empty()) return;
  const float edge = float(target.Size);
  camera.SetProjectionWindow({2 * float(pixels.Left) / edge - 1, 1 - 2 * float(pixels.Bottom) / edge,
                              2 * float(pixels.Right) / edge - 1, 1 - 2 * float(pixels.Top) / edge});
  const gx::TGXMatrix rotation = gx::GXMatrixRotationQuaternion(node->WorldRotation());
  const gx::TGXVector3 right{rotation.m[0][0], rotation.m[0][1], rotation.m[0][2]};
  const gx::TGXVector3 up{rotation.m[1][0], rotation.m[1][1], rotation.m[1][2]};
  const gx::TGXVector3 forward{rotation.m[2][0], rotation.m[2][1], rotation.m[2][2]};
  const gx::TGXVector3 mirroredEye = eye - normal * (2 * height);
  SetWorldTransform(*node, mirroredEye,
                    RotationFromAxes(Reflect(right, normal), -Reflect(up, normal), Reflect(forward, normal)));
  if (skybox) skybox->SetWorldPosition(mirroredEye);
  // Only what lies above the mirror is drawn.
  camera.SetClipPlane({normal.x, normal.y, normal.z, -gx::GXVec3Dot(normal, origin)});
  camera.SetClipPlaneEnabled(true);
  RRSetCameraPositionSource(FDevice->EffectParameters(), mirroredEye);
  // The mirror lies in the clip plane; it is left out rather than drawn into its own map.
  THide hide(record.Node);
  gx::TGXViewport& viewport = TargetViewport(target);
  viewport.SetRect(float(pixels.Left) / edge, float(pixels.Top) / edge, float(pixels.Right - pixels.Left) / edge,
                   float(pixels.Bottom - pixels.Top) / edge);
  viewport.SetScene(node->Scene());
  viewport.SetCamera(&camera);
  viewport.SetClearColor(background);
  struct TDetach {
    gx::TGXViewport& V;
    ~TDetach() {
      V.SetScene(nullptr);
      V.SetCamera(nullptr);
    }
  } detach{viewport};
  FDevice->Render(viewport);
}

void TRRReflectionManager::RenderEnvironment(TRecord& record, gx::TGXCamera& camera, gx::TGXSceneNode* skybox,
                                             uint32_t background) {
  TRRReflectionTarget& target = *record.Target;
  const bool shared = record.Target == FSharedCube;
  gx::TGXScene* scene = camera.Node()->Scene();
  gx::TGXVector3 centre{0, 0, 0};
  if (!shared) {
    const gx::TGXBoundingBox& box = record.Node->WorldBounds();
    centre = box.Empty ? record.Node->WorldPosition() : (box.Min() + box.Max()) * 0.5f;
  }
  if (skybox) skybox->SetWorldPosition(centre);
  RRSetCameraPositionSource(FDevice->EffectParameters(), centre);
  // What reflects does not see itself: the node, or for the shared cube the whole layout.
  gx::TGXSceneNode* hide = record.Node;
  if (shared && scene) hide = dynamic_cast<gx::TGXSceneNode*>(scene->Root()->FindChild("Project"));
  THide guard(hide);
  gx::TGXViewport& viewport = TargetViewport(target);
  struct TDetach {
    gx::TGXViewport& V;
    ~TDetach() {
      V.SetScene(nullptr);
      V.SetCamera(nullptr);
    }
  } detach{viewport};
  FCubeCameraNode->SetPosition(centre);
  for (uint32_t face = 0; face < 6; ++face) {
    FDevice->SelectFace(target, face, DepthSurface(target.Size));
    FCubeCameraNode->SetRotation(RRCubeFaceRotation(static_cast<int>(face)));
    FCubeCameraNode->Update();
    viewport.SetScene(scene);
    viewport.SetCamera(FCubeCamera);
    viewport.SetClearColor(background);
    FDevice->Render(viewport);
  }
}

// ---- qualities and device ----

void TRRReflectionManager::SetQualities(uint8_t planar, uint8_t environment) {
  planar = std::min(planar, RRMaxReflectionQuality);
  environment = std::min(environment, RRMaxReflectionQuality);
  if (planar == FPlanarQuality && environment == FEnvironmentQuality) return;
  const bool switched =
      (planar == 0) != (FPlanarQuality == 0) || (environment == 0) != (FEnvironmentQuality == 0);
  ReleaseAll();
  FCreationBlocked = false;
  FPlanarQuality = planar;
  FEnvironmentQuality = environment;
  if (!switched) return;
  while (!FRecords.empty()) {
    gx::TGXSceneNode* node = FRecords.back().Node;
    FRecords.pop_back();
    bool other = false;
    for (const TRecord& r : FRecords) other = other || r.Node == node;
    if (!other && node)
      node->RemoveDestroyListener(gx::TGXDestroyHandler(this, &TRRReflectionManager::NodeDestroyed).Key());
  }
  // Listeners re-register their materials and may add or remove listeners meanwhile.
  const std::vector<IRRReflectionListener*> listeners = FListeners;
  for (IRRReflectionListener* listener : listeners)
    if (std::find(FListeners.begin(), FListeners.end(), listener) != FListeners.end())
      listener->ReflectionSettingsChanged();
}

void TRRReflectionManager::OnDeviceLost() { ReleaseAll(); }

void TRRReflectionManager::OnDeviceReset() { FCreationBlocked = false; }

}  // namespace rr
