#pragma once
// What the layout benchmarks share: an engine with a render core whose Game root is a scratch
// folder holding the model effect and a package for the benchmark's own model files, the model
// services installed on it, and an entity manager over a bare project host.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/RREntityManager.h"
#include "app/RRModelServices.h"
#include "app/RRProjectHost.h"
#include "app/RRUIService.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXRenderCore.h"

namespace benchlayout {

struct TBenchProject : rr::IRRProjectHost {
  gx::TGXSceneNode Root{"Root"};
  rr::TRRScriptedUIService Ui;
  rr::IRREventNotifier* Notifier = nullptr;
  gx::TGXNode* ProjectNode() override { return &Root; }
  rr::IRRUIService& UI() override { return Ui; }
  rr::TRRHistory* History() override { return nullptr; }
  rr::TRRClipboard* Clipboard() override { return nullptr; }
  void SetModified() override {}
  rr::IRREventNotifier* EventNotifier() override { return Notifier; }
};

struct TBenchLayout {
  std::unique_ptr<gx::TGXEngine> Engine = gx::TGXEngine::CreateEngine();
  std::filesystem::path Folder;
  std::string Package;
  rr::TRRDefaultReflectionManager Reflections;
  TBenchProject Project;
  std::unique_ptr<rr::TRREntityManager> Manager;

  // name: a word for the scratch folder; package: the GUID the model files are stored under.
  TBenchLayout(const std::string& name, std::string package)
      : Folder(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()))),
        Package(std::move(package)) {
    Engine->AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
    const std::filesystem::path shader = Folder / rr::RRBasePackageID / "Shader";
    std::filesystem::create_directories(shader);
    std::filesystem::create_directories(Folder / Package);
    std::filesystem::copy_file(std::filesystem::path(VELMORA_SOURCE_DIR) / "data" / "shaders" / "Model.fx",
                               shader / "Model.fx", std::filesystem::copy_options::overwrite_existing);
    Engine->FileSystem().SetRoot("Game", Folder.string());
    rr::TRRModelServices services;
    services.FileSystem = &Engine->FileSystem();
    services.Resources = &Engine->ResourceManager();
    services.Reflections = &Reflections;
    rr::TRRModelServices::Install(services);
    Manager = std::make_unique<rr::TRREntityManager>(Project);
  }
  ~TBenchLayout() {
    // The entities leave their manager as they go: they go first.
    Project.Root.DeleteChildren();
    Manager.reset();
    rr::TRRModelServices::Clear();
    Engine.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }
  TBenchLayout(const TBenchLayout&) = delete;
  TBenchLayout& operator=(const TBenchLayout&) = delete;

  // A model file in the benchmark's package.
  void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(Folder / Package / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  // The asset name of a file put there.
  rr::TRRAssetFileName Asset(const std::string& name) const { return {name, Package + "\\" + name}; }
};

}  // namespace benchlayout
