#pragma once
// The engine object: one per process, reachable through Engine(). It owns the file system and
// the resource manager from its creation on, and the render and media cores once the program
// creates them. The cores live in the layers above the foundation, so the engine holds them
// through the small TGXEngineCore base and the layer that builds a core attaches it here.

#include <memory>
#include <string>

#include "engine/core/GXFileSystem.h"
#include "engine/core/GXResourceManager.h"

namespace gx {

// Base of the render core and the media core as the engine sees them.
class TGXEngineCore {
 public:
  virtual ~TGXEngineCore() = default;
};

class TGXEngine {
 public:
  // Creates the one instance with its file system and resource manager. A second engine while
  // one lives is a programming error (EGXAssertion).
  static std::unique_ptr<TGXEngine> CreateEngine();
  // Frees, in this order, the media core, the render core, the resource manager and the file
  // system (the cores unregister their factories before the manager goes).
  ~TGXEngine();
  TGXEngine(const TGXEngine&) = delete;
  TGXEngine& operator=(const TGXEngine&) = delete;

  TGXFileSystem& FileSystem() { return *FFileSystem; }
  TGXResourceManager& ResourceManager() { return *FResourceManager; }

  // Attaching a core while one is attached is a programming error (EGXAssertion).
  void AttachRenderCore(std::unique_ptr<TGXEngineCore> core);
  void DestroyRenderCore() { FRenderCore.reset(); }
  TGXEngineCore* RenderCore() const { return FRenderCore.get(); }
  void AttachMediaCore(std::unique_ptr<TGXEngineCore> core);
  void DestroyMediaCore() { FMediaCore.reset(); }
  TGXEngineCore* MediaCore() const { return FMediaCore.get(); }

 private:
  TGXEngine();

  // Declaration order is the reverse of the order of destruction.
  std::unique_ptr<TGXFileSystem> FFileSystem;
  std::unique_ptr<TGXResourceManager> FResourceManager;
  std::unique_ptr<TGXEngineCore> FRenderCore;
  std::unique_ptr<TGXEngineCore> FMediaCore;
};

// The live engine, or null before CreateEngine and after its destruction.
TGXEngine* Engine();

// Reads a resource's bytes from a file through the engine's file system.
class TGXFileDataLoader : public TGXDataLoader {
 public:
  explicit TGXFileDataLoader(std::string fileName) : TGXDataLoader(fileName), FFileName(std::move(fileName)) {}
  const std::string& FileName() const { return FFileName; }
  void SetFileName(std::string fileName) { FFileName = std::move(fileName); }
  // EGXPackageFileOpenError when the file is neither on disk nor in a package; EInvalidCall
  // without an engine.
  std::unique_ptr<TGXMemoryStream> LoadData() override;

 private:
  std::string FFileName;
};

}  // namespace gx
