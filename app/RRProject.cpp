#include "app/RRProject.h"

#include "engine/media/GXMediaCore.h"
#include "engine/media/GXSound.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <utility>

#include "app/RRAssetFileLoader.h"
#include "app/RRClipboard.h"
#include "app/RRDatabase.h"
#include "app/RREntityIDProcessor.h"
#include "app/RREntityManager.h"
#include "app/RREntitySerializer.h"
#include "app/RREvents.h"
#include "app/RRFloor.h"
#include "app/RRGlobal.h"
#include "app/RRHistory.h"
#include "app/RRModelServices.h"
#include "app/RRProjectRenderWindow.h"
#include "app/RRSkybox.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRLight.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RRModel.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelThumbnails.h"
#include "app/entities/track/RRTrack.h"
#include "engine/core/GXAtomicFile.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXGuid.h"
#include "engine/core/GXStrings.h"
#include "engine/render/GXModelReader.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXScene.h"
#include "engine/render/GXTexture.h"

extern char** environ;

namespace rr {

namespace {

std::string FileNameWithoutFolder(const std::string& fileName) {
  size_t p = fileName.find_last_of("/\\");
  return p == std::string::npos ? fileName : fileName.substr(p + 1);
}

std::string ReplaceFirst(std::string text, const std::string& what, const std::string& with) {
  size_t p = text.find(what);
  if (p != std::string::npos) text.replace(p, what.size(), with);
  return text;
}

// The whole file, bounded.
std::unique_ptr<gx::TGXMemoryStream> ReadWholeFile(gx::TGXFileSystem& fs, const std::string& fileName) {
  std::string disk = fs.LocateFile(fileName);
  struct stat st;
  if (!disk.empty() && stat(disk.c_str(), &st) == 0 && st.st_size > RRMaxProjectFileSize)
    throw gx::EGXException({"TRRProject", "LoadProject", "File too large"});
  std::unique_ptr<gx::TGXMemoryStream> stream = fs.OpenFile(fileName);
  stream->SetPosition(0);
  return stream;
}

bool SpawnProgram(const std::string& path) {
  pid_t pid = 0;
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  return posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) == 0;
}


}  // namespace

void TRREventManagerSection::MergeImported(IRRProjectEventSection& imported) {
  if (auto* other = dynamic_cast<TRREventManagerSection*>(&imported)) FManager.MergeImported(other->Manager());
}

std::unique_ptr<IRRProjectEventSection> RRCreateEventSection() { return std::make_unique<TRREventManagerSection>(); }

// ---- helpers ----------------------------------------------------------------------------------

std::string RRBuildMissingFilesReport(const std::vector<TRRAssetFileName>& missing, bool importing) {
  std::vector<std::string> disk;
  std::vector<std::pair<std::string, std::vector<std::string>>> packages;  // identifier, files
  auto addUnique = [](std::vector<std::string>& list, const std::string& name) {
    for (const auto& n : list)
      if (gx::SameText(n, name)) return;
    list.push_back(name);
  };
  for (const TRRAssetFileName& f : missing) {
    // A packaged file: its relative path begins with the package identifier in braces; the
    // report names the file by its path inside the package.
    const std::string& rel = f.RelativeName;
    size_t sep = rel.find_first_of("\\/");
    std::string head = sep == std::string::npos ? std::string() : rel.substr(0, sep);
    if (head.size() == 38 && gx::TGXGuid::TryParse(head).has_value()) {
      std::string id = gx::UpperCaseText(head);
      auto it = std::find_if(packages.begin(), packages.end(), [&](const auto& p) { return p.first == id; });
      if (it == packages.end()) {
        packages.push_back({id, {}});
        it = packages.end() - 1;
      }
      addUnique(it->second, rel.substr(sep + 1));
    } else {
      addUnique(disk, f.EffectiveFileName());
    }
  }
  auto sorted = [](std::vector<std::string> v) {
    std::stable_sort(v.begin(), v.end(), [](const std::string& a, const std::string& b) { return gx::CompareText(a, b) < 0; });
    return v;
  };
  std::string text = importing ? RRTextMissingImport : RRTextMissingLoad;
  text += "\r\n";
  if (!disk.empty()) {
    text += std::string("\r\n") + RRTextMissingDisk;
    for (const auto& n : sorted(disk)) text += "\r\n  " + n;
    text += "\r\n";
  }
  for (const auto& [id, files] : packages) {
    text += std::string("\r\n") + RRTextMissingPackage + id + ":";
    for (const auto& n : sorted(files)) text += "\r\n  " + n;
    text += "\r\n";
  }
  text += std::string("\r\n") + RRTextMissingPlaceholders;
  return text;
}

void RRWriteFileReplacing(const std::string& fileName, const void* data, size_t size) {
  std::unique_ptr<gx::TGXAtomicFile> file;
  try {
    file = std::make_unique<gx::TGXAtomicFile>(fileName);
  } catch (const gx::EGXFileOpenError&) {
    throw gx::EGXFileOpenError(ReplaceFirst(gx::kGXFileOpenErrorFormat, "%s", fileName));
  }
  file->WriteBuffer(data, static_cast<int64_t>(size));
  file->Commit();
}

bool RRIsReadOnlyFile(const std::string& fileName) {
  struct stat st;
  if (stat(fileName.c_str(), &st) != 0) return false;
  // The effective user's real rights: root passes the mode bits but not an immutable flag or a
  // read-only file system.
  return faccessat(AT_FDCWD, fileName.c_str(), W_OK, AT_EACCESS) != 0;
}

std::string RRFindCompanionProgram(const std::string& projectFile) {
  std::filesystem::path p(projectFile);
  std::filesystem::path base = p.parent_path() / p.stem();
  for (const std::string& candidate : {base.string(), base.string() + ".sh"}) {
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0 &&
        (st.st_mode & 0111) != 0)
      return candidate;
  }
  return {};
}

void RRThumbnailSize(int width, int height, int maxSize, int& outWidth, int& outHeight) {
  outWidth = width;
  outHeight = height;
  if (maxSize <= 0 || std::max(width, height) < maxSize) return;
  double r = static_cast<double>(width) / (height == 0 ? 1 : height);
  if (r >= 1) {
    outWidth = maxSize;
    outHeight = std::max(1, static_cast<int>(std::lround(maxSize / r)));
  } else {
    outWidth = std::max(1, static_cast<int>(std::lround(maxSize * r)));
    outHeight = maxSize;
  }
}

TRRBitmap RRResampleBitmap(const TRRBitmap& source, int width, int height) {
  TRRBitmap out;
  out.Width = width;
  out.Height = height;
  out.Pixels.assign(static_cast<size_t>(width) * height * 3, 0);
  int sw = source.Width, sh = source.Height;
  if (sw <= 0 || sh <= 0 || width <= 0 || height <= 0) return out;
  auto px = [&](int x, int y, int c) { return source.Pixels[(static_cast<size_t>(y) * sw + x) * 3 + c]; };
  if (width <= sw && height <= sh) {
    // Block averages.
    for (int y = 0; y < height; ++y) {
      int y0 = static_cast<int>(static_cast<int64_t>(y) * sh / height);
      int y1 = std::max(y0 + 1, static_cast<int>(static_cast<int64_t>(y + 1) * sh / height));
      for (int x = 0; x < width; ++x) {
        int x0 = static_cast<int>(static_cast<int64_t>(x) * sw / width);
        int x1 = std::max(x0 + 1, static_cast<int>(static_cast<int64_t>(x + 1) * sw / width));
        for (int c = 0; c < 3; ++c) {
          uint64_t sum = 0;
          for (int yy = y0; yy < y1; ++yy)
            for (int xx = x0; xx < x1; ++xx) sum += px(xx, yy, c);
          out.Pixels[(static_cast<size_t>(y) * width + x) * 3 + c] =
              static_cast<uint8_t>(sum / (static_cast<uint64_t>(y1 - y0) * (x1 - x0)));
        }
      }
    }
    return out;
  }
  // Linear stretching.
  for (int y = 0; y < height; ++y) {
    float fy = height > 1 ? static_cast<float>(y) * (sh - 1) / (height - 1) : 0.0f;
    int y0 = static_cast<int>(fy), y1 = std::min(y0 + 1, sh - 1);
    float ty = fy - y0;
    for (int x = 0; x < width; ++x) {
      float fx = width > 1 ? static_cast<float>(x) * (sw - 1) / (width - 1) : 0.0f;
      int x0 = static_cast<int>(fx), x1 = std::min(x0 + 1, sw - 1);
      float tx = fx - x0;
      for (int c = 0; c < 3; ++c) {
        float top = px(x0, y0, c) * (1 - tx) + px(x1, y0, c) * tx;
        float bottom = px(x0, y1, c) * (1 - tx) + px(x1, y1, c) * tx;
        out.Pixels[(static_cast<size_t>(y) * width + x) * 3 + c] =
            static_cast<uint8_t>(std::lround(top * (1 - ty) + bottom * ty));
      }
    }
  }
  return out;
}

// ---- services ---------------------------------------------------------------------------------

TRRProjectServices TRRProjectServices::FromGlobal(TRRGlobal& global) {
  TRRProjectServices s;
  s.UI = &global.UI();
  s.FileSystem = &global.FileSystem();
  s.Database = &global.Database();
  s.Clipboard = &global.Clipboard();
  s.AddRecentProject = [&global](const std::string& f) { global.AddRecentProject(f); };
  s.HandleException = [&global](std::exception_ptr e) { global.HandleException(e); };
  s.Animations = [&global] { return global.Animations(); };
  s.ShowFPS = [&global] { return global.ShowFPS(); };
  s.ClearPendingInstaller = [&global] { global.SetPendingInstaller({}); };
  s.ResetDownloads = [&global] { global.ResetDownloadState(); };
  s.Resources = &global.Engine().ResourceManager();
  s.TrackTextures = &global.TrackTextures();
  s.RequestPackage = [&global](const std::string& relativePath) { return global.RequestPackage(relativePath); };
  s.SoundOn = [&global] { return global.SoundEnabled(); };
  s.SoundVolume = [&global] { return global.Volume(); };
  s.TextureQuality = global.RenderSettings().TextureQuality;
  s.MultiSample = global.RenderSettings().MultiSample;
  s.PlanarReflectionQuality = global.RenderSettings().ReflectionQuality;
  s.EnvironmentQuality = global.RenderSettings().EnvReflectionQuality;
  return s;
}

void TRRProject::ApplyRenderSettings(int textureQuality, int multiSample, int planarReflections,
                                     int environmentReflections) {
  FServices.TextureQuality = textureQuality;
  FServices.MultiSample = multiSample;
  FServices.PlanarReflectionQuality = planarReflections;
  FServices.EnvironmentQuality = environmentReflections;
  if (!IsOpen()) return;
  if (gx::TGXRenderCore* core = gx::GXCurrentRenderCore()) {
    gx::TGXRenderAdapter& adapter = core->Adapter();
    const int level = RRFilterLevelFor(textureQuality, int(adapter.FilterLevels.size()));
    if (level != adapter.FilterLevel) {
      adapter.FilterLevel = level;
      if (!adapter.FilterLevels.empty()) core->Device().SetFilterLevel(adapter.FilterLevels[size_t(level)]);
    }
  }
  if (FRenderWindow) FRenderWindow->SetMultiSample(multiSample);
  if (auto* reflections = dynamic_cast<TRRReflectionManager*>(FReflections.get())) {
    auto quality = [](int q) { return static_cast<uint8_t>(std::clamp(q, 0, int(RRMaxReflectionQuality))); };
    reflections->SetQualities(quality(planarReflections), quality(environmentReflections));
  }
}

void TRRProject::EntityCreated(TRREntity* entity) {
  if (auto* track = dynamic_cast<TRRTrack*>(entity); track && FServices.TrackTextures)
    FServices.TrackTextures->Add(track->Texture());
  if (entity && entity->Is<TRRCamera>()) CamerasChanged();
}

TRRProject* CurrentProject() { return Global() ? &Global()->Project() : nullptr; }

// ---- project ----------------------------------------------------------------------------------

TRRProject::TRRProject(TRRProjectServices services) : FServices(std::move(services)) {
  GX_ASSERT(FServices.UI != nullptr && FServices.FileSystem != nullptr);
}

TRRProject::~TRRProject() { CloseProject(); }

void TRRProject::HandleException(std::exception_ptr e) {
  if (FServices.HandleException) FServices.HandleException(e);
  else TRRGlobal::ReportException(*FServices.UI, e);
}

gx::TGXNode* TRRProject::ProjectNode() { return FProjectNode; }

void TRRProject::Initialize() {
  ClearMissingFiles();
  FModified = false;
  FScene = std::make_unique<gx::TGXScene>();
  FProjectNode = new gx::TGXSceneNode("Project", FScene->Root());
  // The 3D view exists where the host hands in a surface and a render core draws.
  if (FServices.ViewSurface && gx::GXCurrentRenderCore())
    FRenderWindow = gx::MakeRef<TRRProjectRenderWindow>(FServices.ViewSurface, FScene.get(), FServices.TextureQuality,
                                                         FServices.MultiSample);
  // The project menu and ruler join here. The global effect sources start at the preview
  // lighting, so models are lit alike before a light exists.
  FEffectParameters = FServices.EffectParameters;
  if (!FEffectParameters)
    if (gx::TGXRenderCore* core = gx::GXCurrentRenderCore()) FEffectParameters = &core->EffectParameters();
  if (FEffectParameters) RRAddGlobalEffectSources(*FEffectParameters);
  // The manager casts its pointer rays through the view's camera (none without a view).
  FManager = std::make_unique<TRREntityManager>(*this, FRenderWindow.Get(), FScene.get());
  FHistory = std::make_unique<TRRHistory>(*FManager, FServices.UndoAction, FServices.RedoAction);
  FEvents = FServices.CreateEventSection ? FServices.CreateEventSection() : RRCreateEventSection();
  FNotifier.Project = this;
  if (TRREventManager* events = EventManager())
    events->SetErrorReporter([this](const std::string& text) {
      FServices.UI->ShowMessage(text, RRCaptionError, TRRMessageIcon::Error);
    });
  // The layout's reflections, with the RenderSettings qualities.
  {
    std::unique_ptr<IRRReflectionDevice> device;
    if (FServices.CreateReflectionDevice)
      device = FServices.CreateReflectionDevice();
    else if (gx::GXCurrentRenderCore())
      device = std::make_unique<TRRRenderCoreReflectionDevice>();
    auto quality = [](int q) { return static_cast<uint8_t>(std::clamp(q, 0, int(RRMaxReflectionQuality))); };
    FReflections = std::make_unique<TRRReflectionManager>(std::move(device), quality(FServices.PlanarReflectionQuality),
                                                          quality(FServices.EnvironmentQuality));
  }
  // The sound device opens with the layout; without one the layout is silent.
  if (gx::TGXMediaCore* media = gx::GXEngineMediaCore(); media && !media->DeviceOpen()) {
    try {
      media->OpenSoundDevice();
    } catch (...) {
    }
  }
  InstallModelServices();
  // Floor and sky load their effects and textures through the model services.
  FFloor = new TRRFloor(FScene->Root());
  FSkyboxNode = new gx::TGXSceneNode(RRSkyboxNodeName, FScene->Root());
  FSkyboxNode->SetScale({RRSkyboxScale, RRSkyboxScale, RRSkyboxScale});
  FSkybox = new TRRSkybox();
  FSkyboxNode->AttachObject(FSkybox);
  FFrameTimer = std::make_unique<gx::TGXTimer>(FServices.Clock);
  if (FServices.Clipboard) FServices.Clipboard->SetPasteAction(FServices.PasteAction);
  // The sound device is opened here once the media core plays sounds.
}

bool TRRProject::IsModified() const { return FModified || (FHistory && FHistory->CanUndo()); }

TRRLight* TRRProject::Light() const { return FManager ? dynamic_cast<TRRLight*>(FManager->Light()) : nullptr; }

namespace {

void AddMissing(std::vector<TRRAssetFileName>& list, const TRRAssetFileName& file) noexcept {
  try {
    list.push_back(file);
  } catch (...) {
  }
}

}  // namespace

namespace {

// A locomotive's running sound over the engine's sound resource.
class TEngineSound final : public IRRSound {
 public:
  explicit TEngineSound(gx::IGXSound sound) : FSound(std::move(sound)) {}
  void SetVolume(float volume) override { FSound->SetVolume(volume); }
  float Volume() const override { return FSound->GetVolume(); }
  void Play() override { FSound->Play(); }
  void Stop() override { FSound->Stop(); }
  bool IsPlaying() const override { return FSound->IsPlaying(); }

 private:
  gx::IGXSound FSound;
};

}  // namespace

void TRRProject::TNotifier::Notify(TRRConditionKind condition, const TRREventNotification& notification) {
  // An observer may take itself off meanwhile.
  const auto observers = Observers;
  for (const auto& [id, observer] : observers)
    if (observer) observer(condition, notification);
  if (Project)
    if (TRREventManager* events = Project->EventManager()) events->Notify(condition, notification);
}

int TRRProject::AddEventObserver(TEventObserver observer) {
  FNotifier.Observers.emplace_back(++FNotifier.Next, std::move(observer));
  return FNotifier.Next;
}

void TRRProject::RemoveEventObserver(int id) {
  std::erase_if(FNotifier.Observers, [id](const auto& o) { return o.first == id; });
}

std::shared_ptr<IRRSound> RRLoadSound(const TRRAssetFileName& file) {
  gx::TGXMediaCore* media = gx::GXEngineMediaCore();
  const TRRModelServices* services = TRRModelServices::Get();
  if (!media || !media->DeviceOpen() || !services || !services->Resources || file.IsEmpty()) return nullptr;
  // Each vehicle has a sound of its own (its own volume and play position).
  gx::IGXSound sound = services->Resources->Get<gx::TGXSound>(file.EffectiveFileName(), true);
  if (!sound) return nullptr;
  sound->SetDataLoader(services->MakeLoader(file));
  sound->Load();
  if (!sound->IsLoaded()) return nullptr;
  return std::make_shared<TEngineSound>(std::move(sound));
}

void TRRProject::InstallModelServices() {
  FModelServices.reset();
  TRRModelServices services;
  services.FileSystem = FServices.FileSystem;
  services.Resources = FServices.Resources ? FServices.Resources
                                           : (gx::Engine() ? &gx::Engine()->ResourceManager() : nullptr);
  // Every file that fails is listed in the report shown after the load or import, whatever the
  // reason (missing, damaged, unreadable).
  services.ReportAssetError = [this](const TRRAssetFileName& file, std::exception_ptr) {
    AddMissing(FMissingFiles, file);
  };
  services.RequestPackage = FServices.RequestPackage;
  services.Reflections = FReflections.get();
  services.EffectParameters = FEffectParameters;
  services.LoadSound = [](const TRRAssetFileName& file) { return RRLoadSound(file); };
  services.SoundOn = FServices.SoundOn;
  services.SoundVolume = FServices.SoundVolume;
  FModelServices = std::make_unique<TRRModelServicesScope>(services);
  TRRTrack::SetModelFactory(&RRCreateTrackModelEntity);
  // Track textures load only where textures can be made (not in commands that do not draw).
  if (services.CanMake(gx::IID_IGXTexture)) {
    TRRTrack::SetTextureServices(
        [](const TRRAssetFileName& name) -> gx::TGXRef<gx::TGXRefCounted> {
          const TRRModelServices* s = TRRModelServices::Get();
          if (!s || !s->Resources) throw EAssetFileException(name);
          gx::IGXTexture texture = s->Resources->Get<gx::TGXTexture>(name.EffectiveFileName());
          if (texture->IsUnloaded()) {
            texture->SetDataLoader(s->MakeLoader(name));
            texture->Load();
          }
          if (!texture->IsLoaded()) throw EAssetFileException(name);
          return texture;
        },
        [this](const TRRAssetFileName& name, const std::string&) { AddMissing(FMissingFiles, name); });
  } else {
    TRRTrack::SetTextureServices(nullptr, nullptr);
  }
}

void TRRProject::ClearModelServices() {
  TRRTrack::SetModelFactory(nullptr);
  TRRTrack::SetTextureServices(nullptr, nullptr);
  FModelServices.reset();
  FReflections.reset();
  // The next project adds the global sources anew.
  if (FEffectParameters) RRRemoveGlobalEffectSources(*FEffectParameters);
  FEffectParameters = nullptr;
}

void TRRProject::StartProject() {
  FLastMissingFiles = FMissingFiles;
  ReportMissingFiles(false);
  ClearMissingFiles();
  ReportRepairedValues();
  if (FFrameTimer) FFrameTimer->Reset();
  FFrameCount = 0;
  FFrameTimeSum = 0;
  // The tick timer and the idle hook of the desktop program start here; the command line and
  // tests call Tick themselves.
  FOpen = true;
}

void TRRProject::CloseProject() {
  if (FInTick) {
    FCloseAfterStep = true;
    return;
  }
  FOpen = false;
  auto swallow = [](auto&& fn) {
    try {
      fn();
    } catch (...) {
    }
  };
  swallow([&] { FFileName.clear(); });
  swallow([&] {
    if (FManager) FManager->Selection().Clear();
  });
  // The cameras go with the scene; none of them is chosen or activated again.
  if (auto* active = dynamic_cast<TRRCamera*>(FActiveCamera)) swallow([&] { active->SetActive(false); });
  FActiveCamera = nullptr;
  FPreviousCameraID = 0;
  // The entities go with the scene, before the manager they are registered with.
  swallow([&] {
    if (FManager) FManager->SetCamera(nullptr);
  });
  swallow([&] { FHistory.reset(); });
  swallow([&] {
    if (FRenderWindow) FRenderWindow->SetScene(nullptr);
  });
  swallow([&] {
    FProjectNode = nullptr;
    FFloor = nullptr;
    FSkyboxNode = nullptr;
    FSkybox = nullptr;
    FScene.reset();
  });
  swallow([&] { ClearModelServices(); });
  // Every vehicle and its sound went with the scene; the device goes after them.
  swallow([&] {
    if (gx::TGXMediaCore* media = gx::GXEngineMediaCore()) media->CloseSoundDevice();
  });
  swallow([&] { FEvents.reset(); });
  swallow([&] { FManager.reset(); });
  swallow([&] { FRenderWindow.Reset(); });
  swallow([&] {
    if (FServices.Clipboard) FServices.Clipboard->SetPasteAction(nullptr);
  });
  FFrameTimer.reset();
  FTrackParameters.Assign(TRRTrackParameters(TRRTrackCatalogueSource()));
}

// ---- new ----

namespace {

// Entities made from catalogue entries, found by their asset identifier. An entity inside another
// one found too goes with it, so only the outermost ones are removed or rebuilt.
class TProjectAssetUsage final : public IRRAssetUsage {
 public:
  explicit TProjectAssetUsage(TRRProject& project) : FProject(project) {}

  int CountUsers(const std::vector<gx::TGXGuid>& assetIDs) override {
    return static_cast<int>(Users(assetIDs, false).size());
  }

  void RemoveUsers(const std::vector<gx::TGXGuid>& assetIDs) override {
    std::vector<TRREntity*> users = Users(assetIDs, true);
    if (users.empty()) return;
    // Snapshots of the removed entities would bring back entities of a deleted entry.
    if (FProject.History()) FProject.History()->Clear();
    FProject.Manager()->Selection().Clear();
    for (TRREntity* e : users) delete e;
    FProject.SetModified();
  }

  void ReplaceUsers(const gx::TGXGuid& assetID, const TRREntityDescription& replacement) override {
    if (FProject.History()) FProject.History()->Clear();
    if (FProject.Clipboard()) FProject.Clipboard()->RemoveAsset(assetID);
    std::vector<TRREntity*> users = Users({assetID}, true);
    if (users.empty()) return;
    TRREntityManager& manager = *FProject.Manager();
    manager.Selection().Clear();
    for (TRREntity* e : users) {
      std::unique_ptr<TRREntityDescription> d = e->CreateDescription();
      d->AssignFrom(replacement);
      d->SetAssetID(assetID);
      manager.ReserveIDs(TRREntityIDProcessor::RenumberDescription(*d, manager.NextID()));
      gx::TGXNode* parent = e->Parent();
      delete e;
      manager.CreateEntity(parent, *d);
    }
    FProject.SetModified();
  }

 private:
  std::vector<TRREntity*> Users(const std::vector<gx::TGXGuid>& assetIDs, bool outermostOnly) {
    std::vector<TRREntity*> found;
    TRREntityManager* manager = FProject.Manager();
    if (!manager) return found;
    for (const gx::TGXGuid& id : assetIDs) manager->FindByAsset(id, found);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    if (!outermostOnly) return found;
    std::vector<const gx::TGXNode*> nodes(found.begin(), found.end());
    std::sort(nodes.begin(), nodes.end());
    std::vector<TRREntity*> outer;
    for (TRREntity* e : found) {
      bool inside = false;
      for (const gx::TGXNode* n = e->Parent(); n && !inside; n = n->Parent())
        inside = std::binary_search(nodes.begin(), nodes.end(), n);
      if (!inside) outer.push_back(e);
    }
    return outer;
  }

  TRRProject& FProject;
};

}  // namespace

IRRAssetUsage* TRRProject::AssetUsage() {
  if (!FOpen || !FManager) return nullptr;
  if (!FAssetUsage) FAssetUsage = std::make_unique<TProjectAssetUsage>(*this);
  return FAssetUsage.get();
}

TRREntity* TRRProject::CreateFromDescription(TRREntityDescription& description) {
  int32_t used = TRREntityIDProcessor::RenumberDescription(description, FManager->NextID());
  FManager->ReserveIDs(used);
  return FManager->CreateEntity(nullptr, description);
}

void TRRProject::CreateDefaultObjects(const std::vector<uint8_t>& panelShape, IRRProgress* progress) {
  auto KindByName = [this](const char* name) {
    return FServices.FindKind ? FServices.FindKind(name) : RegisteredEntities().FindDescriptionClass(name);
  };
  // Light: "Licht" at (-300, 300, 300) with the presets "Tag" and "Nacht", completed from its
  // catalogue entry ("Birne.gxmodel").
  if (const TRRDescriptionClass* cls = KindByName("TRRLightDesc")) {
    auto d = cls->Create();
    d->Name().SetText(gx::GX_LANG_GERMAN, RRNameLight, true);
    d->SetPosition({-300, 300, 300});
    if (auto* light = dynamic_cast<TRRLightDesc*>(d.get())) {
      light->Presets() = RRDefaultLightPresets();
      light->SetActiveIndex(0);
    }
    if (FServices.Database) {
      d->SetAssetID(FServices.Database->FindAssetIDByPath("Birne.gxmodel"));
      FServices.Database->RefreshDescription(*d);
    }
    CreateFromDescription(*d);
  }
  if (progress) progress->SetText(RRTextCreatePanel);
  // Baseboard: the panel kind takes the 36-byte shape block when it exists.
  TRREntity* panel = nullptr;
  if (const TRRDescriptionClass* cls = KindByName("TRRPanelDesc")) {
    auto d = cls->Create();
    d->Name().SetText(gx::GX_LANG_GERMAN, RRNamePanel, true);
    if (auto* pd = dynamic_cast<TRRPanelDesc*>(d.get()); pd && panelShape.size() == TRRPanelParams::Size)
      pd->Params() = TRRPanelParams::FromBytes(std::span<const uint8_t, TRRPanelParams::Size>(panelShape.data(), panelShape.size()));
    panel = CreateFromDescription(*d);
    FScene->Root()->Update(false);
    const gx::TGXBoundingBox& b = panel->LocalBounds();
    float depth = b.Empty ? 0.0f : b.Max().z - b.Min().z;
    panel->SetPosition({0, 0, depth});
  }
  // Cameras: the free camera (type 1) turned down by 45 degrees and the two top-down cameras
  // (types 3 and 4) looking straight down, all aimed at the baseboard.
  if (const TRRDescriptionClass* cls = KindByName("TRRCameraDesc")) {
    const float quarter = static_cast<float>(M_PI / 4), half = static_cast<float>(M_PI / 2);
    auto rotationX = [](float angle) {
      return gx::TGXQuaternion{std::sin(angle / 2), 0, 0, std::cos(angle / 2)};
    };
    auto setType = [](TRREntityDescription& d, uint8_t type) {
      if (auto* c = dynamic_cast<TRRCameraDesc*>(&d)) c->SetType(type);
    };
    FScene->Root()->Update(false);
    gx::TGXBoundingBox panelBox;
    if (panel) panelBox = panel->WorldBounds();
    auto free = cls->Create();
    free->Name().SetText(gx::GX_LANG_GERMAN, RRNameFreeCamera, true);
    setType(*free, RRCameraFree);
    free->SetRotation(rotationX(quarter));
    TRREntity* freeCamera = CreateFromDescription(*free);
    FScene->Root()->Update(false);
    if (auto* c = dynamic_cast<TRRCamera*>(freeCamera); c && panel) c->FrameEntities({panel});
    const uint8_t types[] = {RRCameraTopDown, RRCameraTechnical};
    const char* names[] = {RRName2DCamera, RRNameTechnicalCamera};
    const gx::TGXVector3 over = RRTopDownPlaceOver(panelBox);
    for (int i = 0; i < 2; ++i) {
      auto d = cls->Create();
      d->Name().SetText(gx::GX_LANG_GERMAN, names[i], true);
      setType(*d, types[i]);
      d->SetPosition(over);
      d->SetRotation(rotationX(half));
      CreateFromDescription(*d);
    }
    FScene->Root()->Update(false);
    SetActiveCamera(freeCamera);
  }
}

void TRRProject::NewProjectSteps(const std::vector<uint8_t>& panelShape) {
  std::unique_ptr<IRRProgress> progress = FServices.UI->BeginProgress("", RRTextInitProject, false);
  progress->SetProgress(0, 2);
  Initialize();
  CreateDefaultObjects(panelShape, progress.get());
  // The panels' texture thumbnail cache (made once per file and run).
  FillPanelThumbnails();
  FModified = true;
  progress->SetProgress(2, 2);
  progress->SetText(RRTextDone);
  progress.reset();
  StartProject();
}

bool TRRProject::NewProject(const TRRTrackParameters& trackParameters, const std::vector<uint8_t>& panelShape) {
  CloseProject();
  try {
    NewProjectSteps(panelShape);
    FTrackParameters.Assign(trackParameters);
    return true;
  } catch (...) {
    CloseProject();
    HandleException(std::current_exception());
    return false;
  }
}

// ---- load ----

void TRRProject::LoadProjectSteps(const std::string& fileName, bool askForProgram) {
  std::unique_ptr<IRRProgress> progress = FServices.UI->BeginProgress("", RRTextInitProject, false);
  std::unique_ptr<gx::TGXMemoryStream> data = ReadWholeFile(*FServices.FileSystem, fileName);
  TRRProjectSerializer serializer(*data, FServices.FileSystem);
  TRREntityDescriptionList descriptions(true);
  TRRTrackParameters trackParameters;
  const int repairedBefore = RRRepairedDescriptionValues();
  serializer.ReadProject(fileName, &trackParameters, descriptions, FServices.Database);
  const int repaired = RRRepairedDescriptionValues() - repairedBefore;
  if (FServices.Database) FServices.Database->RefreshDescriptions(descriptions);

  if (serializer.HasThumbnail()) progress->ShowThumbnail(serializer.Thumbnail());
  int64_t steps = descriptions.Count() + 1, done = 0;
  progress->SetText(RRTextInitProject);
  progress->SetProgress(done++, steps);
  Initialize();
  FTrackParameters.Assign(trackParameters);
  serializer.ReadEvents(*FEvents);
  FRepairedValues = repaired;
  FRepairedFile = fileName;

  int32_t used = TRREntityIDProcessor::RenumberList(descriptions, FManager->NextID(), FEvents.get());
  FManager->ReserveIDs(used);
  for (TRREntityDescription* d : descriptions) {
    progress->SetText(RRTextLoadingProject);
    progress->SetProgress(done++, steps);
    FManager->CreateEntity(nullptr, *d);
  }
  FScene->Root()->Update(false);
  // The first camera its description marks active (the byte means "active when saved"); without
  // one camera 0.
  TRREntity* active = nullptr;
  for (TRREntityDescription* d : descriptions) {
    TRREntityDescriptionList cameras(false);
    d->CollectByClass(TRRCameraDesc::StaticClass(), cameras);
    auto check = [&](TRREntityDescription* c) {
      auto* cd = dynamic_cast<TRRCameraDesc*>(c);
      TRREntity* e = cd && cd->Active() ? FManager->FindByID(cd->ID()) : nullptr;
      if (!active && e && e->Is<TRRCamera>()) active = e;
    };
    check(d);
    for (TRREntityDescription* c : cameras) check(c);
    if (active) break;
  }
  SetActiveCamera(active);
  data.reset();
  // The panels' texture thumbnail cache (made once per file and run).
  FillPanelThumbnails();
  FFileName = fileName;
  if (FServices.AddRecentProject) FServices.AddRecentProject(fileName);
  if (askForProgram) AskCompanionProgram(fileName);
  progress->SetText(RRTextDone);
  progress->SetProgress(steps, steps);
  progress.reset();
  StartProject();
}

void TRRProject::AskCompanionProgram(const std::string& fileName) {
  std::string disk = FServices.FileSystem->ResolvePath(fileName);
  std::string program = RRFindCompanionProgram(disk);
  if (program.empty()) return;
  TRRAnswer a = FServices.UI->Ask(RRTextCompanion + program, RRCaptionCompanion, TRRButtons::YesNo,
                                  TRRMessageIcon::Question, TRRAnswer::No);
  if (a != TRRAnswer::Yes) return;
  // A program that does not start is reported; the layout stays open.
  bool started = FServices.LaunchProgram ? FServices.LaunchProgram(program) : SpawnProgram(program);
  if (!started) FServices.UI->ShowMessage(RRTextCompanionFailed + program, RRCaptionError, TRRMessageIcon::Error);
}

bool TRRProject::LoadProject(const std::string& fileName, bool askForProgram) {
  if (FInTick) {
    FLoadAfterStep.emplace(fileName, askForProgram);
    return true;
  }
  CloseProject();
  try {
    LoadProjectSteps(fileName, askForProgram);
    return true;
  } catch (...) {
    CloseProject();
    HandleException(std::current_exception());
    return false;
  }
}

// ---- save ----

bool TRRProject::SaveProject(const std::string& fileName) {
  try {
    return SaveProjectOrRaise(fileName);
  } catch (const EProjectReadOnly& e) {
    FServices.UI->ShowMessage(e.what(), RRCaptionSaveFailed, TRRMessageIcon::Error);
  } catch (...) {
    HandleException(std::current_exception());
  }
  return false;
}

bool TRRProject::SaveProjectOrRaise(const std::string& fileName) {
  if (!FOpen || !FScene) return false;
  std::string disk = FServices.FileSystem->ResolvePath(fileName);
  if (RRIsReadOnlyFile(disk))
    throw EProjectReadOnly(std::string(RRTextReadOnly1) + "\"" + FileNameWithoutFolder(disk) + "\"" +
                           RRTextReadOnly2 + RRTextReadOnly3);
  {
    gx::TGXMemoryStream stream;
    TRRProjectSerializer serializer(stream, FServices.FileSystem);
    std::optional<TRRBitmap> thumbnail = CreateThumbnail(512);
    serializer.WriteProject(*FProjectNode, disk, FTrackParameters, *FEvents, thumbnail ? &*thumbnail : nullptr);
    RRWriteFileReplacing(disk, stream.Memory(), stream.Data().size());
  }
  FFileName = fileName;
  if (FServices.AddRecentProject) FServices.AddRecentProject(fileName);
  if (FHistory) FHistory->Clear();
  FModified = false;
  return true;
}

bool TRRProject::SaveProjectAs() {
  if (!FOpen) return false;
  TRRFileDialogOptions o;
  o.Title = RRTitleSaveAs;
  o.Filters = {{RRFilterProjects, "*.vmp"}};
  o.DefaultExtension = "vmp";
  // The dialog starts without a name (a new name is what "save as" asks for), in the folder of
  // the current file.
  if (!FFileName.empty()) o.InitialFolder = std::filesystem::path(FServices.FileSystem->ResolvePath(FFileName)).parent_path().string();
  std::optional<std::string> chosen = FServices.UI->SaveFileDialog(o);
  if (!chosen) return false;
  return SaveProject(*chosen);
}

bool TRRProject::SaveProjectActn() { return FFileName.empty() ? SaveProjectAs() : SaveProject(FFileName); }

bool TRRProject::CloseQuery() {
  if (FOpen && IsModified()) {
    TRRAnswer a = FServices.UI->Ask(RRTextSaveQuestion, RRCaptionSaveQuestion, TRRButtons::YesNoCancel);
    if (a == TRRAnswer::Cancel) {
      if (FServices.ClearPendingInstaller) FServices.ClearPendingInstaller();
      return false;
    }
    if (a == TRRAnswer::Yes) {
      SaveProjectActn();
      if (IsModified()) {
        if (FServices.ClearPendingInstaller) FServices.ClearPendingInstaller();
        return false;
      }
    }
  }
  CloseProject();
  return true;
}

// ---- cameras ----

void TRRProject::SetActiveCamera(TRREntity* camera) {
  // 1. The current camera lets go (its controller goes with it).
  if (auto* old = dynamic_cast<TRRCamera*>(FActiveCamera)) old->SetActive(false);
  // 2. The new one, or the fallback.
  TRREntity* result = camera;
  if (camera) {
    if (camera != FActiveCamera) FPreviousCameraID = FActiveCamera ? FActiveCamera->ID() : 0;
  } else if (FManager) {
    TRREntity* previous = PreviousCamera();
    const TRREntityList& cameras = FManager->Cameras();
    if (previous) result = previous;
    else if (cameras.Count() > 0 && cameras.Item(0) != FActiveCamera && !cameras.Item(0)->EntityDestroying())
      result = cameras.Item(0);
    FPreviousCameraID = 0;
  }
  FActiveCamera = result;
  // 3. Activation and the view.
  auto* active = dynamic_cast<TRRCamera*>(FActiveCamera);
  if (active) active->SetActive(true);
  if (FRenderWindow) FRenderWindow->SetCamera(active ? active->EngineCamera() : nullptr);
  // 4. The manager, the technical view (floor and sky hidden in it) and the camera menu.
  if (FManager) {
    FManager->SetCamera(FActiveCamera, active ? active->Modifier() : nullptr);
    const bool technical = active && active->Type() == RRCameraTechnical;
    FManager->SetTechnicalView(technical);
    if (FFloor) FFloor->SetVisible(!technical);
    if (FSkyboxNode) FSkyboxNode->SetVisible(!technical);
  }
  if (active) {
    active->Update(false);
    // The controller of a top-down camera moved it to the place of the other one.
    RulersChanged();
  }
  CamerasChanged();
}

TRREntity* TRRProject::PreviousCamera() const {
  if (!FManager || FPreviousCameraID <= 0) return nullptr;
  TRREntity* e = FManager->FindByID(FPreviousCameraID);
  if (!e || e->EntityDestroying()) return nullptr;
  for (TRREntity* c : FManager->Cameras())
    if (c == e) return e;
  return nullptr;
}

void TRRProject::ActiveCameraDestroyed(TRREntity* camera) {
  if (camera != FActiveCamera) return;
  FActiveCamera = nullptr;
  // Closing frees every camera; only an open layout chooses another one.
  if (!FOpen || !FManager) return;
  if (FRenderWindow) FRenderWindow->SetCamera(nullptr);
  SetActiveCamera(nullptr);
}

gx::TGXVector3 TRRProject::CameraTargetPoint() const {
  if (FServices.CameraTarget) return FServices.CameraTarget();
  auto* camera = dynamic_cast<TRRCamera*>(FActiveCamera);
  if (!camera || !FManager) return {0, 0, 0};
  return RRCameraRotationPivot(*camera, *FManager, true);
}

void TRRProject::CaptureMouse() {
  if (FServices.CaptureMouse) FServices.CaptureMouse();
}
void TRRProject::ReleaseMouse() {
  if (FServices.ReleaseMouse) FServices.ReleaseMouse();
}
void TRRProject::CamerasChanged() {
  if (FServices.CamerasChanged) FServices.CamerasChanged();
}
void TRRProject::RulersChanged() {
  if (FServices.RulersChanged) FServices.RulersChanged();
}
void TRRProject::SelectionChanged() {
  if (FServices.SelectionChanged) FServices.SelectionChanged();
}
int32_t TRRProject::EntityMenuPage() const {
  return FServices.EntityMenuPage ? FServices.EntityMenuPage() : 0;
}
void TRRProject::ShowEntityMenuPage(int32_t page) {
  if (FServices.ShowEntityMenuPage) FServices.ShowEntityMenuPage(page);
}
void TRRProject::ShowStatusText(const std::string& text) {
  if (FServices.ShowStatusText) FServices.ShowStatusText(text);
}
bool TRRProject::SelectionBordersEnabled() const {
  return FServices.SelectionBordersEnabled ? FServices.SelectionBordersEnabled() : true;
}

// ---- thumbnail ----

void TRRProject::FillPanelThumbnails() {
  if (FServices.FileSystem && FProjectNode)
    TRRPanelThumbnails::Instance().AddPanels(*FServices.FileSystem, FProjectNode);
}

std::optional<TRRBitmap> TRRProject::CreateThumbnail(int maxSize) const {
  try {
    // The host's image source, else the 3D view's last frame.
    std::optional<TRRBitmap> image;
    if (FServices.ViewImage) image = FServices.ViewImage();
    else if (FRenderWindow) image = FRenderWindow->ViewImage();
    if (!image || image->Width <= 0 || image->Height <= 0) return std::nullopt;
    int w = 0, h = 0;
    RRThumbnailSize(image->Width, image->Height, maxSize, w, h);
    if (w == image->Width && h == image->Height) return image;
    return RRResampleBitmap(*image, w, h);
  } catch (...) {
    return std::nullopt;
  }
}

// ---- missing files ----

void TRRProject::ReportAssetError(std::exception_ptr e) noexcept {
  try {
    std::rethrow_exception(e);
  } catch (const EAssetFileException& x) {
    try {
      FMissingFiles.push_back(x.AssetFileName());
    } catch (...) {
    }
  } catch (...) {
  }
}

void TRRProject::ClearMissingFiles() {
  FMissingFiles.clear();
  // The download's memory (the remembered answer, the packages tried) lasts one load.
  if (FServices.ResetDownloads) FServices.ResetDownloads();
}

void TRRProject::ReportRepairedValues() {
  const int count = std::exchange(FRepairedValues, 0);
  if (count <= 0) return;
  std::string text = ReplaceFirst(RRTextRepairedValues, "%s", "\"" + FRepairedFile + "\"");
  FServices.UI->ShowMessage(ReplaceFirst(text, "%d", std::to_string(count)), RRCaptionRepairedValues,
                            TRRMessageIcon::Warning);
}

void TRRProject::ReportMissingFiles(bool importing) {
  if (FMissingFiles.empty()) return;
  FServices.UI->ShowMessage(RRBuildMissingFilesReport(FMissingFiles, importing), RRCaptionError,
                            TRRMessageIcon::Error);
}

// ---- export and import ----

bool TRRProject::ExportSelection(const std::string& fileName) {
  if (!FOpen) return false;
  try {
    std::string disk = FServices.FileSystem->ResolvePath(fileName);
    TRREntityDescriptionList list(true);
    for (TRREntity* e : FManager->Selection()) {
      if (e->IsFixed()) continue;
      std::unique_ptr<TRREntityDescription> d = e->CreateDescription();
      d->RemoveFixed();
      list.Add(std::move(d));
    }
    gx::TGXMemoryStream stream;
    {
      TRREntitySerializer s(stream, disk, FServices.FileSystem);
      s.BeginWrite(list.Count());
      for (TRREntityDescription* d : list) s.WriteDescription(*d);
      s.EndWrite();
    }
    RRWriteFileReplacing(disk, stream.Memory(), stream.Data().size());
    FServices.UI->ShowMessage(ReplaceFirst(RRTextExportDone, "%s", fileName), RRCaptionExportDone,
                              TRRMessageIcon::Information);
    return true;
  } catch (...) {
    HandleException(std::current_exception());
    return false;
  }
}

void TRRProject::InsertDescriptions(TRREntityDescriptionList& list, IRRProjectEventSection* events) {
  // The target first: the pivot's ray must not hit the entities about to be inserted.
  const gx::TGXVector3 t = CameraTargetPoint();
  TRREntitySelection& selection = FManager->Selection();
  selection.BeginUpdate();
  struct TEnd {
    TRREntitySelection& S;
    ~TEnd() { S.EndUpdate(); }
  } end{selection};
  selection.Clear();
  int32_t used = TRREntityIDProcessor::RenumberList(list, FManager->NextID(), events);
  FManager->ReserveIDs(used);
  // The inserted entities cannot be taken back by the history: the project counts as changed.
  FModified = true;
  for (TRREntityDescription* d : list) selection.Add(FManager->CreateEntity(nullptr, *d));
  if (selection.Empty()) return;
  FScene->Root()->Update(false);
  gx::TGXBoundingBox b = selection.GetBounds();
  gx::TGXVector3 c = selection.Centre();
  // Entities without anything drawn have no bounds: their pivots count then.
  float minY = b.Min().y;
  if (b.Empty) {
    minY = selection.Item(0)->WorldPosition().y;
    for (TRREntity* e : selection) minY = std::min(minY, e->WorldPosition().y);
  }
  selection.Translate({t.x - c.x, t.y - minY + 0.01f, t.z - c.z});
  FScene->Root()->Update(false);
  if (auto* camera = dynamic_cast<TRRCamera*>(FActiveCamera)) {
    camera->FrameEntities(std::vector<TRREntity*>(selection.begin(), selection.end()));
    FScene->Root()->Update(false);
  }
}

bool TRRProject::ImportFile(const std::string& fileName, std::string* error) {
  if (!FOpen) return false;
  try {
    std::unique_ptr<gx::TGXMemoryStream> data = ReadWholeFile(*FServices.FileSystem, fileName);
    ClearMissingFiles();
    const int repairedBefore = RRRepairedDescriptionValues();
    bool imported = false;
    // An object file.
    {
      TRREntityDescriptionList list(true);
      bool read = false;
      try {
        data->SetPosition(0);
        TRREntitySerializer s(*data, fileName, FServices.FileSystem);
        s.ReadAll(list, FServices.Database);
        read = true;
      } catch (...) {
      }
      if (read) {
        if (FServices.Database) FServices.Database->RefreshDescriptions(list);
        InsertDescriptions(list, nullptr);
        imported = true;
      }
    }
    // A 3D model (.3ds, .x) that the model readers accept: a new model object.
    if (!imported) {
      bool model = false;
      try {
        data->SetPosition(0);
        gx::GXReadModel(*data);
        model = true;
      } catch (...) {
      }
      if (model) {
        std::string disk = FServices.FileSystem->ResolvePath(fileName);
        const bool onDisk = gx::TGXFileSystem::IsDiskPath(disk);
        // A plain disk path is stored as the absolute path it resolved to: a name relative to
        // the working folder would later be read relative to the layout's folder instead.
        const bool rooted = fileName.find(":\\") != std::string::npos;
        TRREntityDescriptionList list(true);
        list.Add(RRImportedModelDesc(onDisk && !rooted ? disk : fileName, onDisk ? disk : std::string()));
        InsertDescriptions(list, nullptr);
        imported = true;
      }
    }
    // A project file.
    if (!imported) {
      TRREntityDescriptionList list(true);
      std::unique_ptr<IRRProjectEventSection> events =
          FServices.CreateEventSection ? FServices.CreateEventSection() : RRCreateEventSection();
      bool read = false;
      try {
        data->SetPosition(0);
        TRRProjectSerializer s(*data, FServices.FileSystem);
        s.ReadProject(fileName, nullptr, list, FServices.Database);
        s.ReadEvents(*events);
        read = true;
      } catch (...) {
      }
      if (read) {
        if (FServices.Database) FServices.Database->RefreshDescriptions(list);
        for (int i = list.Count() - 1; i >= 0; --i) {
          if (list.Item(i)->IsFixed()) list.Delete(i);
          else list.Item(i)->RemoveFixed();
        }
        InsertDescriptions(list, events.get());
        FEvents->MergeImported(*events);
        imported = true;
      }
    }
    if (!imported) throw gx::EGXException({"TRRProject", "ImportFile", RRTextImportUnknown});
    FillPanelThumbnails();
    FLastMissingFiles = FMissingFiles;
    ReportMissingFiles(true);
    ClearMissingFiles();
    FRepairedValues = RRRepairedDescriptionValues() - repairedBefore;
    FRepairedFile = fileName;
    ReportRepairedValues();
    return true;
  } catch (...) {
    const std::string text = RRTextImportFailed1 + fileName + RRTextImportFailed2;
    if (error) *error = text;
    else FServices.UI->ShowMessage(text, RRCaptionError, TRRMessageIcon::Error);
    return false;
  }
}

// ---- frame ----

void TRRProject::Tick() {
  // The error report of a failed step is a modal box whose event loop keeps the frame timers
  // firing: while it shows (and during any step) a further step does nothing, so one fault gives
  // one report instead of a box per timer tick.
  if (FInTick || !FOpen || !FScene) return;
  FInTick = true;
  try {
    FrameStep();
  } catch (...) {
    HandleException(std::current_exception());
  }
  FInTick = false;
  // What the step asked for, now that nothing of it runs any more.
  const bool close = std::exchange(FCloseAfterStep, false);
  std::optional<std::pair<std::string, bool>> load = std::exchange(FLoadAfterStep, std::nullopt);
  if (load)
    LoadProject(load->first, load->second);
  else if (close)
    CloseProject();
}

void TRRProject::FrameStep() {
  FScene->Root()->Update(false);
  if (FFloor && FProjectNode) FFloor->Place(FProjectNode->WorldBounds());
  FManager->UpdateFrame();
  // After the entities: the countdowns (only while animations run), then the queued actions,
  // always, so that a switch thrown by hand still sets off its events when animations are off.
  if (TRREventManager* events = EventManager()) {
    if (AnimationsOn()) events->TickCountdowns(FrameDeltaTime());
    events->ExecutePendingActions(FManager.get());
  }
  // A view that is minimised or has no pixels skips the whole drawing step (frame counting
  // included); without a view the frames are still counted.
  if (FRenderWindow && !FRenderWindow->CanRender()) {
    FFrameTimer->Tick();
    return;
  }
  if (FRenderWindow) RenderView();
  ++FFrameCount;
  FFrameTimeSum += FFrameTimer->DeltaTime();
  if (FFrameTimeSum >= 1.0f) {
    if (FServices.ShowFPSText) {
      bool show = FServices.ShowFPS && FServices.ShowFPS();
      FServices.ShowFPSText(show ? "FPS: " + std::to_string(FFrameCount) : std::string());
    }
    FFrameCount = 0;
    FFrameTimeSum = 0;
  }
  FFrameTimer->Tick();
}

uint32_t TRRProject::BackgroundColor() const {
  if (FManager && FManager->TechnicalView()) return RRTechnicalBackground;
  const TRRLight* light = Light();
  return light ? light->SkyColor() : RRTechnicalBackground;
}

void TRRProject::RenderView() {
  const uint32_t background = BackgroundColor();
  // Floor and sky fade into the background; in the technical view both are hidden.
  if (FFloor) FFloor->SetSkyColor(background);
  if (FSkybox) FSkybox->SetSkyColor(background);
  // A new view size rebuilds the device's surfaces, which empties the reflection maps: it is
  // taken before they are drawn, or the first frame after a resize shows blank mirrors.
  if (FRenderWindow->CanRender()) FRenderWindow->UpdateSize();
  gx::TGXCamera* camera = FRenderWindow->Camera();
  if (auto* reflections = dynamic_cast<TRRReflectionManager*>(FReflections.get()))
    reflections->Update(camera, background, FSkyboxNode, FRenderWindow->Aspect());
  if (FSkyboxNode && camera && camera->Node()) FSkyboxNode->SetPosition(camera->Node()->WorldPosition());
  FRenderWindow->RenderFrame(background);
}

// ---- host ----

bool TRRProject::IsReferencedByEvents(const TRREntity* entity) const {
  return FEvents && entity && FEvents->IsEntityReferenced(entity->ID());
}

TRREventManager* TRRProject::EventManager() const {
  auto* section = dynamic_cast<TRREventManagerSection*>(FEvents.get());
  return section ? &section->Manager() : nullptr;
}
int64_t TRRProject::FrameCounter() const { return FFrameTimer ? FFrameTimer->CurrentCounter() : 0; }
int64_t TRRProject::FrameFrequency() const { return FFrameTimer ? FFrameTimer->Frequency() : 1000; }
float TRRProject::FrameDeltaTime() const { return FFrameTimer ? FFrameTimer->DeltaTime() : 0; }
bool TRRProject::AnimationsOn() const { return FServices.Animations ? FServices.Animations() : true; }

}  // namespace rr
