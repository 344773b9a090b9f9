#pragma once
// What the model and material code needs from the program while a layout is open: the file
// system, the resource manager, the asset-error report, the package request of a missing
// packaged file and the reflection manager. The project installs the services when it opens and
// clears them when it closes; tests install their own (TRRModelServicesScope).
//
// IRRReflectionManager is the side of the layout's reflections that materials meet: whether
// planar mirrors and environment maps are on, the materials that show a reflection (with the
// node they belong to), and the listeners told when the reflection settings change. Until the
// layout's reflections are rendered, TRRDefaultReflectionManager answers: planar reflections on,
// environment maps neither supported nor on, and it keeps nothing.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "app/RRAssetFileLoader.h"
#include "app/entities/RRAssetFileName.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXResourceManager.h"

namespace gx {
class TGXEffectParameterManager;
class TGXMaterial;
class TGXSceneNode;
}  // namespace gx

namespace rr {

// Reflection modes of a material sub description.
enum : uint8_t { RRReflectionNone = 0, RRReflectionPlanar = 1, RRReflectionEnvironment = 2 };

// Told when the reflection settings change (the materials that depend on them must be made anew).
class IRRReflectionListener {
 public:
  virtual void ReflectionSettingsChanged() = 0;

 protected:
  ~IRRReflectionListener() = default;
};

class IRRReflectionManager {
 public:
  virtual ~IRRReflectionManager() = default;

  virtual bool PlanarReflectionsEnabled() const = 0;
  virtual bool EnvironmentMapsSupported() const = 0;
  virtual bool EnvironmentMapsEnabled() const = 0;

  // The material shows the reflection of mode (RRReflectionPlanar or RRReflectionEnvironment)
  // for the node. The manager refers to the material weakly until it is unregistered, the node
  // goes or the material dies.
  virtual void RegisterMaterial(gx::TGXMaterial* material, gx::TGXSceneNode* node, uint8_t mode) = 0;
  // Forgets every material registered for the node (a node that goes away).
  virtual void UnregisterNode(gx::TGXSceneNode* node) = 0;

  // A listener already listed is not added twice; removing an unknown one does nothing.
  virtual void AddListener(IRRReflectionListener* listener) = 0;
  virtual void RemoveListener(IRRReflectionListener* listener) = 0;

  // The light changed the layout's lighting (maps drawn once must be drawn again).
  virtual void LightingChanged() {}
};

// Planar reflections on; environment maps not supported (so never on); registrations and
// listeners are accepted and ignored.
class TRRDefaultReflectionManager : public IRRReflectionManager {
 public:
  bool PlanarReflectionsEnabled() const override { return true; }
  bool EnvironmentMapsSupported() const override { return false; }
  bool EnvironmentMapsEnabled() const override { return false; }
  void RegisterMaterial(gx::TGXMaterial*, gx::TGXSceneNode*, uint8_t) override {}
  void UnregisterNode(gx::TGXSceneNode*) override {}
  void AddListener(IRRReflectionListener*) override {}
  void RemoveListener(IRRReflectionListener*) override {}
};

// A file that could not be loaded, with the exception that said why. Never raises.
using TRRAssetErrorReport = std::function<void(const TRRAssetFileName& file, std::exception_ptr error)>;

// A sound that plays in a loop (a locomotive's running sound). Volume 0..100.
class IRRSound {
 public:
  virtual ~IRRSound() = default;
  virtual void SetVolume(float volume) = 0;
  virtual float Volume() const = 0;
  // Starts when not playing; calling it every frame is cheap.
  virtual void Play() = 0;
  // Stops and rewinds.
  virtual void Stop() = 0;
  virtual bool IsPlaying() const = 0;
};

struct TRRModelServices {
  gx::TGXFileSystem* FileSystem = nullptr;      // required
  gx::TGXResourceManager* Resources = nullptr;  // required
  // Default: nothing is reported.
  TRRAssetErrorReport ReportAssetError;
  // Asked for a missing packaged file (TRRAssetFileLoader); default: no download.
  TRRPackageRequest RequestPackage;
  // The open layout's reflections; null while no layout is open (then no material registers).
  IRRReflectionManager* Reflections = nullptr;
  // The global effect sources the light writes (the render core's while one exists); null: the
  // light keeps its values to itself.
  gx::TGXEffectParameterManager* EffectParameters = nullptr;
  // A sound of its own for the file; null (or no function) while the program has no sound
  // device or the file cannot be read as a sound.
  std::function<std::shared_ptr<IRRSound>(const TRRAssetFileName& file)> LoadSound;
  // The program's sound switch and volume (0..100); default: on, 100.
  std::function<bool()> SoundOn;
  std::function<float()> SoundVolume;

  // Installs a copy of the services (replacing any installed ones). The material caches are
  // emptied, since they hold resources of the previous resource manager.
  static void Install(const TRRModelServices& services);
  // Changes only the reflection manager of the installed services (the caches stay); a preview
  // makes its objects without one. Nothing without installed services.
  static void SetReflections(IRRReflectionManager* reflections);
  // Removes the services and empties the material caches (before the render core goes).
  static void Clear();
  // The installed services, or null.
  static const TRRModelServices* Get();

  // Reports through ReportAssetError when one is set; never raises.
  void Report(const TRRAssetFileName& file, std::exception_ptr error) const noexcept;
  // A data loader for the asset file with the services' file system and package request.
  gx::IGXDataLoader MakeLoader(const TRRAssetFileName& file) const;
  // Whether the resource manager has a factory for the kind (a command that does not draw has
  // none for meshes, models and textures).
  bool CanMake(const gx::TGXGuid& kind) const;
};

// Installs services for its lifetime and restores the ones installed before (tests, commands).
class TRRModelServicesScope {
 public:
  explicit TRRModelServicesScope(const TRRModelServices& services);
  ~TRRModelServicesScope();
  TRRModelServicesScope(const TRRModelServicesScope&) = delete;
  TRRModelServicesScope& operator=(const TRRModelServicesScope&) = delete;

 private:
  bool FHadPrevious = false;
  TRRModelServices FPrevious;
};

}  // namespace rr
