#pragma once
// TRRProject: the one document of the program. It is either closed (no scene, no entities) or
// open, and owns while open its scene with the project node, the entity manager, the event
// manager, the undo history, the track parameters and the frame timer.
//
// Flows: NewProject and LoadProject build a project and start it; SaveProject writes it;
// CloseQuery asks the save question and closes; CloseProject frees everything. A failed new or
// load closes the project and reports the error once through the program's error handler.
//
// Files are read whole into memory and written whole from memory: the new bytes go into a
// temporary file in the target's folder that replaces the target only once it is complete, so a
// failed save or export leaves the old file as it was.
//
// The project reaches the program (user interface, file system, database, clipboard, recent
// list, error handler, switches) only through TRRProjectServices, so tests build it without the
// application object. The 3D view, floor, sky and reflections join here when they exist; until
// then the frame step runs the parts that do and the thumbnail comes from a view image source.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/RRAction.h"
#include "app/RRModelServices.h"
#include "app/RREvents.h"
#include "app/RRProjectHost.h"
#include "app/RRProjectSerializer.h"
#include "app/RRReflectionManager.h"
#include "app/entities/track/RRTrackEvents.h"
#include "app/entities/track/RRTrackParameters.h"
#include "app/RRUIService.h"
#include "app/entities/RRAssetFileName.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXRefCounted.h"
#include "engine/core/GXTimer.h"

namespace gx {
class TGXRenderSurface;
class TGXFileSystem;
class TGXResourceManager;
class TGXNode;
class TGXScene;
class TGXSceneNode;
}  // namespace gx

namespace rr {

class TRRDatabase;
class TRRClipboard;
class TRRAssetFileNameList;
class IRRReflectionManager;
class TRRLight;
class TRRModelServicesScope;
class IRRAssetUsage;
class TRREntity;
class TRREntityManager;
class TRRGlobal;
class TRRHistory;
class TRRFloor;
class TRRSkybox;
class TRRProjectRenderWindow;

// ---- texts ----

inline constexpr const char* RRTextInitProject = "Initialisiere Projekt...";
inline constexpr const char* RRTextCreatePanel = "Erzeuge Bodenplatte...";
inline constexpr const char* RRTextLoadingProject = "Lade Projekt...";
inline constexpr const char* RRTextDone = "Fertig.";
inline constexpr const char* RRCaptionSaveQuestion = "Projekt speichern";
inline constexpr const char* RRTextSaveQuestion = "Sollen Ihre Änderungen am Projekt gespeichert werden?";
inline constexpr const char* RRCaptionSaveFailed = "Speichern fehlgeschlagen";
inline constexpr const char* RRTextReadOnly1 = "Die Datei ";
inline constexpr const char* RRTextReadOnly2 = " ist schreibgeschützt. ";
inline constexpr const char* RRTextReadOnly3 = "Bitte wählen Sie einen anderen Dateinamen aus.";

// A save onto a file this process cannot write; the message is the read-only text shown.
class EProjectReadOnly : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
inline constexpr const char* RRCaptionCompanion = "Ausführbares Programm starten";
inline constexpr const char* RRTextCompanion =
    "Das Projekt verwendet ein zusätzliches ausführbares Programm zur automatischen Steuerung der Anlage. Soll das "
    "Programm jetzt gestartet werden?\r\n\r\nHinweis: Sie sollten nur Programme starten die aus vertrauenswürdigen "
    "Quellen stammen. Ausführbare Programme können den Velmora mit zusätzlichen Funktionen erweitern, die Sicherheit "
    "Ihres PCs jedoch auch beeinträchtigen.\r\n\r\nPfad des ausführbaren Programms:\r\n";
inline constexpr const char* RRTextCompanionFailed = "Das Programm konnte nicht gestartet werden:\r\n";
inline constexpr const char* RRTextMissingImport =
    "Es sind Fehler beim Importieren aufgetreten. Folgende Dateien konnten nicht gefunden werden:";
inline constexpr const char* RRTextMissingLoad =
    "Es sind Fehler beim Laden des Projektes aufgetreten. Folgende Dateien konnten nicht gefunden werden:";
inline constexpr const char* RRTextMissingDisk = "Dateien auf der Festplatte:";
inline constexpr const char* RRTextMissingPackage = "Dateien im Datenbankpaket mit der Kennung ";
inline constexpr const char* RRTextMissingPlaceholders = "Die fehlenden Dateien wurden durch Platzhalter ersetzt.";
inline constexpr const char* RRCaptionError = "Fehler";
// A layout whose placement numbers were not finite (a damaged or hand-made file); %s is the file,
// %d the count of values.
inline constexpr const char* RRTextRepairedValues =
    "Die Datei %s enthielt %d ungültige Zahlenwerte in Position, Drehung oder Skalierung von Objekten. "
    "Sie wurden durch 0, keine Drehung bzw. die Skalierung 1 ersetzt.";
inline constexpr const char* RRCaptionRepairedValues = "Ungültige Werte ersetzt";
inline constexpr const char* RRTitleExport = "Exportieren...";
inline constexpr const char* RRCaptionExportDone = "Export erfolgreich";
inline constexpr const char* RRTextExportDone = "Selektierte Objekte erfolgreich nach %s exportiert.";
inline constexpr const char* RRTitleImport = "Importieren...";
inline constexpr const char* RRTextImportUnknown = "Unknown file to import.";
inline constexpr const char* RRTextImportFailed1 = "Fehler beim Importieren von ";
inline constexpr const char* RRTextImportFailed2 = ". Die Datei hat ein unbekanntes Format.";
inline constexpr const char* RRTitleSaveAs = "Projekt speichern unter...";
inline constexpr const char* RRFilterProjects = "Projektdateien (*.vmp)";
// Names of the objects of a new project.
inline constexpr const char* RRNameLight = "Licht";
inline constexpr const char* RRNamePanel = "Bodenplatte";
inline constexpr const char* RRNameFreeCamera = "Freie Kamera";
inline constexpr const char* RRName2DCamera = "2D-Kamera";
inline constexpr const char* RRNameTechnicalCamera = "2D-Kamera (technische Zeichnung)";
inline constexpr uint32_t RRTechnicalBackground = 0xFFABABAB;
// Project files beyond this size are not read (a large layout is a few megabytes).
inline constexpr int64_t RRMaxProjectFileSize = int64_t(1) << 30;

// What the project needs from the program.
struct TRRProjectServices {
  IRRUIService* UI = nullptr;             // required
  gx::TGXFileSystem* FileSystem = nullptr;  // required
  TRRDatabase* Database = nullptr;
  TRRClipboard* Clipboard = nullptr;
  IRRAction* UndoAction = nullptr;
  IRRAction* RedoAction = nullptr;
  IRRAction* PasteAction = nullptr;
  std::function<void(const std::string&)> AddRecentProject;
  // Shows an exception (default: the program's error report through UI).
  std::function<void(std::exception_ptr)> HandleException;
  std::function<bool()> Animations;  // default on
  std::function<bool()> ShowFPS;     // default off
  // Starts the companion program; false when it could not be started (default: spawns it).
  std::function<bool(const std::string&)> LaunchProgram;
  // Forgets the package download's answers and tried packages, so each load asks afresh.
  std::function<void()> ResetDownloads;
  // Clears the program's pending installer (a cancelled close question).
  std::function<void()> ClearPendingInstaller;
  // The 3D view's current image (none without a renderer): the thumbnail's source.
  std::function<std::optional<TRRBitmap>()> ViewImage;
  // The point imports are placed at (default: the active camera's rotation pivot, the selection
  // left out).
  std::function<gx::TGXVector3()> CameraTarget;
  // The 3D view keeps (and gives back) the mouse while a camera controller drags.
  std::function<void()> CaptureMouse;
  std::function<void()> ReleaseMouse;
  // The camera menu follows the cameras (made, removed, activated).
  std::function<void()> CamerasChanged;
  // The rulers are drawn again (a top-down camera moved).
  std::function<void()> RulersChanged;
  // The status bar's frame-rate panel.
  std::function<void(const std::string&)> ShowFPSText;
  // The main window follows the selection (action enabling, entity pages).
  std::function<void()> SelectionChanged;
  // The page of the project menu's entity area: the one shown (default 0), and showing one that
  // a command recorded (-1: no entity).
  std::function<int32_t()> EntityMenuPage;
  std::function<void(int32_t)> ShowEntityMenuPage;
  // The status bar's panel of the entity under the mouse.
  std::function<void(const std::string&)> ShowStatusText;
  // The "show selection border" display switch (default on).
  std::function<bool()> SelectionBordersEnabled;
  // Whether a key (virtual key; 162 the left Control key) is held now (default: none).
  std::function<bool(int32_t)> KeyDown;
  // The gizmo display switch and the automatic alignment to what lies below (default: both on).
  std::function<bool()> GizmoEnabled;
  std::function<bool()> AutoTerrainAlign;
  gx::IGXClock* Clock = nullptr;
  // What models, materials and track textures load through while a layout is open (default:
  // the live engine's resource manager); loading needs the factories of a render core.
  gx::TGXResourceManager* Resources = nullptr;
  // Asked for a missing file of a package that is not installed; true when one was added
  // (default: none).
  std::function<bool(const std::string&)> RequestPackage;
  // The registered description class of a kind by its class name ("TRRLightDesc"); default: the
  // kind registry. Null while the kind does not exist.
  std::function<const TRRDescriptionClass*(const char*)> FindKind;
  // The known track textures; each track created adds its texture (none: not kept).
  TRRAssetFileNameList* TrackTextures = nullptr;
  // The surface the 3D view draws on (the desktop's view panel, an offscreen surface of the
  // command line); none: no view, the frame step draws nothing. Must outlive the open project.
  gx::TGXRenderSurface* ViewSurface = nullptr;
  // The texture-quality setting (the adapter's filter level is this minus 1, clamped).
  int TextureQuality = 3;
  // Samples per pixel of the 3D view (0: no antialiasing).
  int MultiSample = 0;
  // The sound switch and volume (0..100) the vehicles play at; default on, 100.
  std::function<bool()> SoundOn;
  std::function<float()> SoundVolume;
  // A new, empty event section (default: RRCreateEventSection).
  std::function<std::unique_ptr<IRRProjectEventSection>()> CreateEventSection;
  // The RenderSettings reflection qualities (0 off ... 3).
  int PlanarReflectionQuality = RRDefaultPlanarQuality;
  int EnvironmentQuality = RRDefaultEnvironmentQuality;
  // Where the reflections make their targets and draw (default: the render core's while one
  // exists, else none: the records are kept, nothing is drawn).
  std::function<std::unique_ptr<IRRReflectionDevice>()> CreateReflectionDevice;
  // The global effect sources the project adds while open and the light writes (default: the
  // render core's; none: the light keeps its values).
  gx::TGXEffectParameterManager* EffectParameters = nullptr;

  // The services of the running program.
  static TRRProjectServices FromGlobal(TRRGlobal& global);
};

// A missing-file report grouped as it is shown.
std::string RRBuildMissingFilesReport(const std::vector<TRRAssetFileName>& missing, bool importing);

// Writes data to fileName through a temporary file in the same folder that replaces it once
// complete (gx::TGXAtomicFile: the old file's permissions kept, a link written through, nothing
// left by a killed process). Raises gx::EGXFileOpenError or the write error.
void RRWriteFileReplacing(const std::string& fileName, const void* data, size_t size);
// Whether the file exists and this process really cannot write it (mode bits, read-only file
// systems and immutable files alike; root may write files without write bits).
bool RRIsReadOnlyFile(const std::string& fileName);
// The companion program of a project: "<folder>/<name>" or "<folder>/<name>.sh" when it is an
// executable file; empty when there is none.
std::string RRFindCompanionProgram(const std::string& projectFile);
// The thumbnail size rule: unscaled when maxSize <= 0 or the larger side is below maxSize,
// else the larger side becomes maxSize with the aspect ratio kept (at least 1 pixel).
void RRThumbnailSize(int width, int height, int maxSize, int& outWidth, int& outHeight);
// Resamples a 24-bit bitmap: block averages when it shrinks in both directions, linear
// stretching otherwise.
TRRBitmap RRResampleBitmap(const TRRBitmap& source, int width, int height);

// A looping sound of its own for the file, through the engine's sound device; null without an
// open device, model services or a loadable file.
std::shared_ptr<IRRSound> RRLoadSound(const TRRAssetFileName& file);

class TRRProject : public IRRProjectHost {
 public:
  explicit TRRProject(TRRProjectServices services);
  ~TRRProject() override;
  TRRProject(const TRRProject&) = delete;
  TRRProject& operator=(const TRRProject&) = delete;

  // ---- life cycle ----
  // Creates the per-project objects (scene, project node, manager, events, history, timer).
  void Initialize();
  // A new layout with the light, the baseboard and the three cameras (the kinds that exist);
  // panelShape is the baseboard's 36-byte shape block. False when it failed (then closed).
  bool NewProject(const TRRTrackParameters& trackParameters, const std::vector<uint8_t>& panelShape = {});
  // False when it failed (then closed and reported). Asked for during a frame step (by what an
  // event or an automation client set off), the load waits until the step is over and the
  // answer is true; a failure is then reported.
  bool LoadProject(const std::string& fileName, bool askForProgram);
  // False when nothing was written (read-only file; a write error is reported).
  bool SaveProject(const std::string& fileName);
  // The same without messages, for callers that report themselves (the automation): raises
  // EProjectReadOnly or the write error; false only when no project is open.
  bool SaveProjectOrRaise(const std::string& fileName);
  // The save-as dialog, then SaveProject; false when cancelled or failed.
  bool SaveProjectAs();
  // The save flow of the main window: SaveProjectAs for a new project, else SaveProject.
  bool SaveProjectActn();
  // The close flow: the save question when modified, then CloseProject. True when closed.
  bool CloseQuery();
  // During a frame step the close waits until the step is over: the step's entities and event
  // manager stay alive while it runs.
  void CloseProject();
  void StartProject();

  bool IsOpen() const { return FOpen; }
  bool IsModified() const;
  void SetModifiedFlag(bool value) { FModified = value; }
  const std::string& FileName() const { return FFileName; }

  // ---- parts ----
  gx::TGXScene* Scene() const { return FScene.get(); }
  TRREntityManager* Manager() const { return FManager.get(); }
  // The layout's side of catalogue editing (counting, removing and rebuilding the entities made
  // from catalogue entries); null while no project is open.
  IRRAssetUsage* AssetUsage();
  IRRProjectEventSection* Events() const { return FEvents.get(); }
  // The event manager (null while closed, or with another event section given by the services).
  TRREventManager* EventManager() const;
  TRRTrackParameters& TrackParameters() { return FTrackParameters; }
  gx::TGXTimer* FrameTimer() const { return FFrameTimer.get(); }
  const TRRProjectServices& Services() const { return FServices; }
  // The program hands in its callbacks (the desktop window) while no layout is open.
  TRRProjectServices& EditServices() { return FServices; }

  // ---- cameras ----
  // The only way to activate a camera: the old one is deactivated, the new one activated, the
  // view looks through it, the manager gets it and its controller, and the technical view
  // follows a technical-drawing camera. Null falls back (while open) to the previous camera if
  // it still exists, else to camera 0 unless that is the active one or being destroyed.
  void SetActiveCamera(TRREntity* camera);
  TRREntity* ActiveCamera() const { return FActiveCamera; }
  // Kept by ID: a camera freed since is never looked at again.
  TRREntity* PreviousCamera() const;
  // The point imports are placed at: the services' target, else the active camera's pivot.
  gx::TGXVector3 CameraTargetPoint() const;

  // ---- thumbnails ----
  // The texture thumbnails of every panel (RRPanelThumbnails.h).
  void FillPanelThumbnails();
  std::optional<TRRBitmap> CreateThumbnail(int maxSize) const;

  // ---- missing files ----
  void ReportAssetError(std::exception_ptr e) noexcept;
  void ClearMissingFiles();
  void ReportMissingFiles(bool importing);
  // Shows once how many non-finite placement values the last load or import replaced.
  void ReportRepairedValues();
  const std::vector<TRRAssetFileName>& MissingFiles() const { return FMissingFiles; }

  // ---- export and import ----
  // Writes the selected entities that are not fixed into an object file; false when nothing
  // was exported (message shown for errors).
  bool ExportSelection(const std::string& fileName);
  // Reads an object file, a 3D model (.3ds, .x: a new model object) or a project file, tried in
  // this order, and inserts its entities at the camera's target; false when it failed. The
  // failure is shown, or with error given stored there instead.
  bool ImportFile(const std::string& fileName, std::string* error = nullptr);
  // The point imports are placed at (the active camera's target).
  void SetCameraTarget(std::function<gx::TGXVector3()> target) { FServices.CameraTarget = std::move(target); }
  // The files the last load or import could not find (the report shown at its end).
  const std::vector<TRRAssetFileName>& LastMissingFiles() const { return FLastMissingFiles; }
  // The open layout's reflections (null while closed).
  IRRReflectionManager* Reflections() const { return FReflections.get(); }
  TRRReflectionManager* ReflectionManager() const { return FReflections.get(); }
  // The RenderSettings values the view is made with; applied at once while a project is open.
  void ApplyRenderSettings(int textureQuality, int multiSample, int planarReflections, int environmentReflections);
  // The layout's light (null while closed or without one).
  TRRLight* Light() const;
  // The global effect sources of the open project (null without).
  gx::TGXEffectParameterManager* EffectParameters() const { return FEffectParameters; }
  // Inserts the descriptions as new entities (fresh IDs, references following), selects them
  // and moves them to the camera's target. With events the event references follow too.
  void InsertDescriptions(TRREntityDescriptionList& list, IRRProjectEventSection* events);

  // ---- 3D view, floor and sky (null while closed; the view also without a surface) ----
  TRRProjectRenderWindow* RenderWindow() const { return FRenderWindow.Get(); }
  TRRFloor* Floor() const { return FFloor; }
  gx::TGXSceneNode* SkyboxNode() const { return FSkyboxNode; }
  TRRSkybox* Skybox() const { return FSkybox; }
  // Taken by the next Initialize (a new or loaded project).
  void SetViewSurface(gx::TGXRenderSurface* surface) { FServices.ViewSurface = surface; }
  void SetFrameClock(gx::IGXClock* clock) { FServices.Clock = clock; }

  // ---- frame ----
  // One frame step (timers and the idle handler call it). Errors are reported through
  // HandleException; a step never runs inside another (see the guard in Tick).
  void Tick();
  int FramesCounted() const { return FFrameCount; }

  // ---- IRRProjectHost ----
  gx::TGXNode* ProjectNode() override;
  IRRUIService& UI() override { return *FServices.UI; }
  TRRHistory* History() override { return FHistory.get(); }
  TRRClipboard* Clipboard() override { return FServices.Clipboard; }
  void SetModified() override { FModified = true; }
  bool IsReferencedByEvents(const TRREntity* entity) const override;
  int64_t FrameCounter() const override;
  int64_t FrameFrequency() const override;
  float FrameDeltaTime() const override;
  bool AnimationsOn() const override;
  // A track adds its texture to the known track textures; a camera tells the camera menu.
  void EntityCreated(TRREntity* entity) override;
  void CaptureMouse() override;
  void ReleaseMouse() override;
  void CamerasChanged() override;
  void RulersChanged() override;
  void ActiveCameraDestroyed(TRREntity* camera) override;
  IRREventNotifier* EventNotifier() override { return &FNotifier; }

  // Every notification of switches and vehicles also reaches the observers (the command line's
  // run log); the number returned takes one off again.
  using TEventObserver = std::function<void(TRRConditionKind, const TRREventNotification&)>;
  int AddEventObserver(TEventObserver observer);
  void RemoveEventObserver(int id);
  void SelectionChanged() override;
  int32_t EntityMenuPage() const override;
  void ShowEntityMenuPage(int32_t page) override;
  void ShowStatusText(const std::string& text) override;
  bool SelectionBordersEnabled() const override;
  bool KeyDown(int32_t key) const override { return FServices.KeyDown && FServices.KeyDown(key); }
  bool GizmoEnabled() const override { return !FServices.GizmoEnabled || FServices.GizmoEnabled(); }
  bool AutoTerrainAlign() const override { return !FServices.AutoTerrainAlign || FServices.AutoTerrainAlign(); }

 private:
  // Tells the observers (the run log), then the project's current event manager (fetched on
  // every call: the event dialog replaces it).
  class TNotifier final : public IRREventNotifier {
   public:
    void Notify(TRRConditionKind condition, const TRREventNotification& notification) override;
    TRRProject* Project = nullptr;
    std::vector<std::pair<int, TEventObserver>> Observers;
    int Next = 0;
  };
  TNotifier FNotifier;

  std::unique_ptr<IRRAssetUsage> FAssetUsage;
  void HandleException(std::exception_ptr e);
  void LoadProjectSteps(const std::string& fileName, bool askForProgram);
  void NewProjectSteps(const std::vector<uint8_t>& panelShape);
  void AskCompanionProgram(const std::string& fileName);
  TRREntity* CreateFromDescription(TRREntityDescription& description);
  void CreateDefaultObjects(const std::vector<uint8_t>& panelShape, IRRProgress* progress);
  // Models, materials and track textures load through the project's services while it is open.
  void InstallModelServices();
  void ClearModelServices();
  // The view's background: the light's sky colour, the technical background in the technical
  // view or without a light.
  uint32_t BackgroundColor() const;
  // Frame step 6: background, reflections, sky at the camera, render.
  void RenderView();
  void FrameStep();

  TRRProjectServices FServices;
  std::string FFileName;
  bool FOpen = false;
  std::unique_ptr<TRRHistory> FHistory;
  bool FModified = false;
  std::unique_ptr<gx::TGXScene> FScene;
  gx::TGXSceneNode* FProjectNode = nullptr;
  std::unique_ptr<TRREntityManager> FManager;
  std::unique_ptr<IRRProjectEventSection> FEvents;
  TRRTrackParameters FTrackParameters;
  std::unique_ptr<gx::TGXTimer> FFrameTimer;
  TRREntity* FActiveCamera = nullptr;
  int32_t FPreviousCameraID = 0;
  std::vector<TRRAssetFileName> FMissingFiles;
  std::vector<TRRAssetFileName> FLastMissingFiles;
  std::unique_ptr<TRRReflectionManager> FReflections;
  gx::TGXEffectParameterManager* FEffectParameters = nullptr;
  std::unique_ptr<TRRModelServicesScope> FModelServices;
  // Placement values the readers repaired during the current load or import, and its file.
  int FRepairedValues = 0;
  std::string FRepairedFile;
  gx::TGXRef<TRRProjectRenderWindow> FRenderWindow;
  TRRFloor* FFloor = nullptr;
  gx::TGXSceneNode* FSkyboxNode = nullptr;
  TRRSkybox* FSkybox = nullptr;
  // Frame-rate display.
  int FFrameCount = 0;
  float FFrameTimeSum = 0;
  bool FInTick = false;
  // What was asked for during the frame step and is done after it.
  bool FCloseAfterStep = false;
  std::optional<std::pair<std::string, bool>> FLoadAfterStep;
};

// The program's project (null outside the application object's lifetime).
TRRProject* CurrentProject();

// The project's event manager as the file and the renumbering see it.
class TRREventManagerSection : public IRRProjectEventSection {
 public:
  TRREventManager& Manager() { return FManager; }
  void SaveToStream(gx::TGXStream& s) override { FManager.SaveToStream(s); }
  void LoadFromStream(gx::TGXStream& s, int32_t version, bool merge) override {
    FManager.LoadFromStream(s, version, merge);
  }
  void MergeImported(IRRProjectEventSection& imported) override;
  bool IsEntityReferenced(int32_t entityID) const override { return FManager.IsEntityReferenced(entityID); }
  void BeginRemap() override { FManager.BeginRemap(); }
  void Remap(int32_t oldID, int32_t newID) override { FManager.Remap(oldID, newID); }
  void EndRemap() override { FManager.EndRemap(); }

 private:
  TRREventManager FManager;
};

// The event section the project uses: the program's event manager.
std::unique_ptr<IRRProjectEventSection> RRCreateEventSection();

}  // namespace rr
