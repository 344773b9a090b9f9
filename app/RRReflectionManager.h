#pragma once
// TRRReflectionManager: the open layout's reflections. Materials of mirroring surfaces (water)
// and of shiny objects register with it (through IRRReflectionManager, app/RRModelServices.h);
// once per frame, before the 3D view is drawn, Update renders for every registered node the
// camera can see a planar mirror image into a square render texture or an environment cube map
// (six faces) and hands the targets to the node's materials ("ReflectionMap" or
// "EnvironmentMap", with "Reflection" := the strength the material had when it registered).
//
// Qualities (the RenderSettings "PlanarReflections" and "EnvironmentMapping", 0 = off):
//
//   quality  planar render texture   environment cube
//   1        256 x 256               one shared static cube of 64, drawn from the origin once
//                                    per lighting or quality change (the "Project" node hidden)
//   2        512 x 512               per object, 64 (drawn every frame, the object hidden)
//   3        1024 x 1024             per object, 256
//
// Targets of nodes that leave the view go back to a pool of their kind and edge length and are
// taken again by the next node that needs one; the shared cube is never pooled. Depth surfaces
// are made once per edge length and shared. The camera, its clip plane and aspect lock, the sky
// box's position and every hidden node are restored by a scope guard, also when a render
// raises. A camera below a mirror's plane or an orthographic camera would leave a stale mirror
// image: the target is cleared to the background colour instead. When a target cannot be made
// the manager stops rendering for the frame and tries again only after a quality change or a
// device reset (not every frame). On device loss every target, pool, the shared cube and the
// depth surfaces are given up.
//
// How targets are made and drawn is IRRReflectionDevice: the render core's render textures and
// renderer, or a recording null device (tests, benchmarks).

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/RRModelServices.h"
#include "engine/core/GXGeometry.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/render/GXRenderDevice.h"

namespace gx {
class TGXCamera;
class TGXCubeTexture;
class TGXEffectParameterManager;
class TGXMaterial;
class TGXNode;
class TGXNullRenderDevice;
class TGXRenderTarget;
class TGXRenderer;
class TGXSceneNode;
class TGXTexture;
class TGXViewport;
}  // namespace gx

namespace rr {

// Planar render-texture edge and environment cube edge of a quality (0 when off).
uint32_t RRPlanarReflectionSize(uint8_t quality);
uint32_t RREnvironmentMapSize(uint8_t quality);

// The pixels of a square mirror image of the given edge that the main view samples where the box
// shows (left, top, right, bottom; right and bottom exclusive, rows from the top), a margin of
// two pixels for the texture filter included. The whole image when a corner lies behind the eye
// or a value is not finite; an empty rectangle when the box is empty or off the screen.
struct TRRPixelRect {
  uint32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Right <= Left || Bottom <= Top; }
};
TRRPixelRect RRMirrorPixelRect(const gx::TGXBoundingBox& box, const gx::TGXMatrix& viewProjection, uint32_t edge);
inline constexpr uint8_t RRMaxReflectionQuality = 3;
inline constexpr uint8_t RRDefaultPlanarQuality = 2;
inline constexpr uint8_t RRDefaultEnvironmentQuality = 1;
// The cube faces' turns about the node, in face order +x, -x, +y, -y, +z, -z.
gx::TGXQuaternion RRCubeFaceRotation(int face);

// A render target of the manager with the texture its materials sample.
struct TRRReflectionTarget {
  gx::TGXRef<gx::TGXRenderTarget> Target;
  gx::TGXRef<gx::TGXTexture> Texture;          // planar
  gx::TGXRef<gx::TGXCubeTexture> CubeTexture;  // environment
  uint32_t Size = 0;
  bool Cube = false;
};

// Makes targets and draws them.
class IRRReflectionDevice {
 public:
  virtual ~IRRReflectionDevice() = default;
  // Each raises when the object cannot be made.
  virtual gx::TGXRef<gx::TGXDeviceSurface> CreateDepthSurface(uint32_t edge) = 0;
  virtual std::shared_ptr<TRRReflectionTarget> CreatePlanarTarget(uint32_t edge,
                                                                  gx::TGXDeviceSurface* depth) = 0;
  virtual std::shared_ptr<TRRReflectionTarget> CreateCubeTarget(uint32_t edge,
                                                                gx::TGXDeviceSurface* depth) = 0;
  // Makes level 0 of the face the target's colour surface, keeping the depth surface.
  virtual void SelectFace(TRRReflectionTarget& target, uint32_t face, gx::TGXDeviceSurface* depth) = 0;
  // Draws the viewport (of one of the device's targets).
  virtual void Render(gx::TGXViewport& viewport) = 0;
  virtual bool EnvironmentMapsSupported() const = 0;
  // The global effect sources ("CAMERAPOSITION" follows each reflection camera); may be null.
  virtual gx::TGXEffectParameterManager* EffectParameters() = 0;
};

// The live render core: render textures, cube render textures and the core's renderer.
// Environment maps are supported where the adapter runs fragment shaders (always with GL 3.3).
class TRRRenderCoreReflectionDevice : public IRRReflectionDevice {
 public:
  gx::TGXRef<gx::TGXDeviceSurface> CreateDepthSurface(uint32_t edge) override;
  std::shared_ptr<TRRReflectionTarget> CreatePlanarTarget(uint32_t edge,
                                                          gx::TGXDeviceSurface* depth) override;
  std::shared_ptr<TRRReflectionTarget> CreateCubeTarget(uint32_t edge, gx::TGXDeviceSurface* depth) override;
  void SelectFace(TRRReflectionTarget& target, uint32_t face, gx::TGXDeviceSurface* depth) override;
  void Render(gx::TGXViewport& viewport) override;
  bool EnvironmentMapsSupported() const override;
  gx::TGXEffectParameterManager* EffectParameters() override;
};

// A recording null device with its own renderer: targets with the device's surfaces and texture
// resources without device textures. FailCreation makes every creation raise (tests).
class TRRNullReflectionDevice : public IRRReflectionDevice {
 public:
  TRRNullReflectionDevice(gx::TGXNullRenderDevice& device, gx::TGXEffectParameterManager& parameters);
  ~TRRNullReflectionDevice() override;
  gx::TGXRef<gx::TGXDeviceSurface> CreateDepthSurface(uint32_t edge) override;
  std::shared_ptr<TRRReflectionTarget> CreatePlanarTarget(uint32_t edge,
                                                          gx::TGXDeviceSurface* depth) override;
  std::shared_ptr<TRRReflectionTarget> CreateCubeTarget(uint32_t edge, gx::TGXDeviceSurface* depth) override;
  void SelectFace(TRRReflectionTarget& target, uint32_t face, gx::TGXDeviceSurface* depth) override;
  void Render(gx::TGXViewport& viewport) override;
  bool EnvironmentMapsSupported() const override { return EnvironmentSupported; }
  gx::TGXEffectParameterManager* EffectParameters() override { return &FParameters; }

  gx::TGXRenderer& Renderer() { return *FRenderer; }
  bool EnvironmentSupported = true;
  bool FailCreation = false;
  // Counters: targets and depth surfaces made, viewports drawn, draw calls of all renders.
  int PlanarTargetsMade = 0, CubeTargetsMade = 0, DepthSurfacesMade = 0, Renders = 0, DrawCalls = 0;
  // Called at the start of every Render (tests raise from here).
  std::function<void(gx::TGXViewport&)> BeforeRender;

 private:
  gx::TGXNullRenderDevice& FDevice;
  gx::TGXEffectParameterManager& FParameters;
  std::unique_ptr<gx::TGXRenderer> FRenderer;
};

class TRRReflectionManager : public IRRReflectionManager, private gx::IGXDeviceCallback {
 public:
  // Kinds of reflection records.
  enum : uint8_t { KindPlanar = RRReflectionPlanar, KindEnvironment = RRReflectionEnvironment };

  // Without a device nothing is rendered (the records are still kept). With a live render core
  // the manager listens to its device loss and reset. Qualities above 3 count as 3.
  explicit TRRReflectionManager(std::unique_ptr<IRRReflectionDevice> device,
                                uint8_t planarQuality = RRDefaultPlanarQuality,
                                uint8_t environmentQuality = RRDefaultEnvironmentQuality);
  ~TRRReflectionManager() override;
  TRRReflectionManager(const TRRReflectionManager&) = delete;
  TRRReflectionManager& operator=(const TRRReflectionManager&) = delete;

  // ---- IRRReflectionManager ----
  bool PlanarReflectionsEnabled() const override { return FPlanarQuality != 0; }
  // A device that supports them.
  bool EnvironmentMapsSupported() const override;
  bool EnvironmentMapsEnabled() const override { return FEnvironmentQuality != 0; }
  // Mode 0 (and other values) is ignored; a material already listed for the node is not added
  // twice. The strength is the material's "Reflection" value now.
  void RegisterMaterial(gx::TGXMaterial* material, gx::TGXSceneNode* node, uint8_t mode) override;
  void UnregisterNode(gx::TGXSceneNode* node) override;
  void AddListener(IRRReflectionListener* listener) override;
  void RemoveListener(IRRReflectionListener* listener) override;
  // The shared static cube is drawn again at the next Update.
  void LightingChanged() override { FRenderedOnce = false; }

  // ---- qualities ----
  uint8_t PlanarQuality() const { return FPlanarQuality; }
  uint8_t EnvironmentQuality() const { return FEnvironmentQuality; }
  // Unchanged values do nothing. Otherwise every target is released (as on device loss) and,
  // when a kind was switched on or off, the records are cleared and every listener is told (a
  // copy of the list: listeners may add or remove listeners meanwhile).
  void SetQualities(uint8_t planar, uint8_t environment);

  // ---- frame ----
  // Renders the maps the camera needs this frame (see the header comment). aspect is the main
  // view's width / height. Nothing without a camera or a device.
  void Update(gx::TGXCamera* camera, uint32_t backgroundColor, gx::TGXSceneNode* skybox, float aspect);

  // ---- device ----
  void OnDeviceLost() override;
  void OnDeviceReset() override;

  // ---- bookkeeping (tests, benchmarks) ----
  struct TRecordInfo {
    gx::TGXSceneNode* Node = nullptr;
    uint8_t Kind = 0;
    int MaterialCount = 0;
    const TRRReflectionTarget* Target = nullptr;
  };
  int RecordCount() const { return static_cast<int>(FRecords.size()); }
  TRecordInfo Record(int index) const;
  // The record of the node and kind, or index -1.
  int FindRecord(const gx::TGXSceneNode* node, uint8_t kind) const;
  int FreePlanarTargets() const { return static_cast<int>(FFreePlanar.size()); }
  int FreeCubeTargets() const { return static_cast<int>(FFreeCubes.size()); }
  int DepthSurfaceCount() const { return static_cast<int>(FDepthSurfaces.size()); }
  const TRRReflectionTarget* SharedCube() const { return FSharedCube.get(); }
  bool RenderedOnce() const { return FRenderedOnce; }
  // A target could not be made; creation waits for a quality change or a device reset.
  bool CreationBlocked() const { return FCreationBlocked; }
  int ListenerCount() const { return static_cast<int>(FListeners.size()); }
  IRRReflectionDevice* Device() const { return FDevice.get(); }

 private:
  struct TMaterialRef {
    gx::TGXWeakRef<gx::TGXMaterial> Material;
    float Strength = 0;
  };
  struct TRecord {
    gx::TGXSceneNode* Node = nullptr;
    uint8_t Kind = 0;
    std::vector<TMaterialRef> Materials;
    std::shared_ptr<TRRReflectionTarget> Target;
  };

  void NodeDestroyed(gx::TGXNode* node);
  void RemoveRecordAt(size_t index);
  void ReleaseTarget(TRecord& record);
  void ClearMaterials(TRecord& record);
  void PassToMaterials(TRecord& record);
  void ReleaseAll();
  bool PruneMaterials(TRecord& record);
  gx::TGXDeviceSurface* DepthSurface(uint32_t edge);
  bool AcquireTarget(TRecord& record);
  void RenderPlanar(TRecord& record, gx::TGXCamera& camera, gx::TGXSceneNode* skybox, float aspect,
                    uint32_t background);
  void RenderEnvironment(TRecord& record, gx::TGXCamera& camera, gx::TGXSceneNode* skybox,
                         uint32_t background);
  void ClearTarget(TRRReflectionTarget& target, uint32_t background);
  gx::TGXViewport& TargetViewport(TRRReflectionTarget& target);

  std::unique_ptr<IRRReflectionDevice> FDevice;
  bool FCallbackRegistered = false;
  uint8_t FPlanarQuality;
  uint8_t FEnvironmentQuality;
  std::vector<IRRReflectionListener*> FListeners;
  std::vector<TRecord> FRecords;
  std::vector<std::shared_ptr<TRRReflectionTarget>> FFreePlanar;
  std::vector<std::shared_ptr<TRRReflectionTarget>> FFreeCubes;
  std::vector<std::pair<uint32_t, gx::TGXRef<gx::TGXDeviceSurface>>> FDepthSurfaces;
  std::shared_ptr<TRRReflectionTarget> FSharedCube;
  // The camera of the cube faces (far 5000, near 1, a quarter turn of view), on its own node.
  std::unique_ptr<gx::TGXSceneNode> FCubeCameraNode;
  gx::TGXCamera* FCubeCamera = nullptr;
  bool FRenderedOnce = false;
  bool FCreationBlocked = false;
};

}  // namespace rr
