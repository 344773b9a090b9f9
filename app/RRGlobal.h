#pragma once
// The application-wide state: one TRRGlobal per process, reachable through Global(), created at
// start-up and freed at shut-down by the program (desktop or command line). It owns the engine,
// the settings, the recent-project list and the display units, and it turns exceptions into the
// program's error messages.
//
// Start-up, in this order: seed the random generator; take the instance lock; create the engine;
// map the file-system roots (each user root followed by "Maralt/3D-Velmora 2013/", then the
// program's --root overrides); create the render core and the media core (a failure leaves the
// core absent); load "User:\Settings.xml" (missing: empty settings; unreadable or malformed: moved
// aside to "Settings.xml.defekt" with a message, then empty settings);
// read the asset paths and open the asset database; create the clipboard and the project; build
// the recent list; read the settings; create the hint manager. Shut-down runs the reverse.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RRUIService.h"
#include "engine/core/GXConfiguration.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXFileSystem.h"

namespace rr {

class TRRDatabase;
class TRRPackageRequests;
class TRRClipboard;
class TRRAssetFileNameList;
class TRRProject;

inline constexpr const char* RRPublisherName = "Maralt";
inline constexpr const char* RRProductName = "3D-Velmora 2013";
inline constexpr const char* RRInstanceLockName = "Maralt 3D-Velmora 13";
inline constexpr const char* RRSupportAddress = "hotline@maralt-software.example";
inline constexpr const char* RRSettingsFile = "User:\\Settings.xml";
inline constexpr const char* RRSampleProject = "Documents:\\Beispielanlagen\\Kleine Beispielanlage.vmp";
// The two base packages the database must hold.
inline constexpr const char* RRBasePackage1 = "{4E425639-1200-4A67-A788-DAE198D14BA5}";
inline constexpr const char* RRBasePackage2 = "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}";
// Message the project menu and its pages receive when the settings change (the desktop calls
// them from the settings-changed handler).
inline constexpr int RRMsgSettingsChanged = 1026;

// ---- messages ----

inline constexpr const char* RRCaptionFileError = "Dateifehler";
inline constexpr const char* RRCaptionDatabaseProblem = "Datenbankproblem";
inline constexpr const char* RRTextDatabaseProblem =
    "Die Datenbank konnte nicht initialisiert werden da wichtige Dateien fehlen. Installieren Sie den Velmora neu um "
    "das Problem zu beheben.";
inline constexpr const char* RRCaptionUnexpectedError = "Unerwarteter Fehler";
inline constexpr const char* RRTextFileOpenHint =
    "Vergewissern Sie sich, dass die Datei vorhanden ist und Sie die notwendigen Lese- bzw. Schreibrechte besitzen.";
inline constexpr const char* RRTextMissingPackageFile =
    "Ein Objekt referenziert eine Datei, die in keinem Datenbankpaket gefunden werden konnte.\r\n\r\n"
    "Stellen Sie sicher, dass Sie die aktuellste Programmversion besitzen und dass alle für das Projekt benötigten "
    "Datenbankpakete zur Verfügung stehen.";
inline constexpr const char* RRTextUnexpectedError =
    "Im Programm ist ein unerwarteter Fehler aufgetreten. Es wird geraten, den Velmora zu beenden und neu zu starten. "
    "\r\n\r\nStellen Sie sicher, dass Sie stets die aktuellsten Programmupdates installiert haben. Führen Sie dazu "
    "über das Menü \"Hilfe\" -> \"3D-Velmora 2013 aktualisieren\" das automatische Update durch oder besuchen Sie das "
    "Internetforum über das Menü \"Hilfe\" -> \"Diskussionsforum\". \r\n\r\nFür weitere Informationen steht Ihnen "
    "die Hotline unter \"%s\" zur Verfügung.";
inline constexpr const char* RRTextErrorDescription =
    "\r\n\r\nBeschreibung: Es ist ein Fehler der Klasse \"%s\" mit der Meldung \"%s\" aufgetreten.";
inline constexpr const char* RRTextErrorDetails = "\r\n\r\nFehlerdetails:\r\n%s\r\n%s";
inline constexpr int RRErrorStackLines = 8;

// The settings file that cannot be read is kept beside itself under this suffix (a previous such
// copy is replaced), so the next save never overwrites a user's settings with the defaults.
inline constexpr const char* RRSettingsRescueSuffix = ".defekt";
inline constexpr const char* RRCaptionSettings = "Einstellungen";
// %s: the settings file, the reason, the copy.
inline constexpr const char* RRTextSettingsRescued =
    "Die Einstellungsdatei „%s“ war beschädigt (%s) und wurde nach „%s“ verschoben. Es gelten die "
    "Standardeinstellungen.";
inline constexpr const char* RRTextSettingsNotRescued =
    "Die Einstellungsdatei „%s“ ist beschädigt (%s) und konnte nicht nach „%s“ verschoben werden. Sie "
    "bleibt unverändert, es gelten die Standardeinstellungen, und Änderungen der Einstellungen werden "
    "nicht gespeichert.";
// %s: the settings file.
inline constexpr const char* RRTextSettingsFolder =
    "An der Stelle der Einstellungsdatei „%s“ liegt ein Ordner. Die Einstellungen können erst "
    "gespeichert werden, wenn er entfernt oder umbenannt ist.";
// Log lines of values that reading replaced. %s: group/key, the text read; %d: the value used.
inline constexpr const char* RRTextSettingNoInteger =
    "Einstellung %s: „%s“ ist keine ganze Zahl, es gilt %d.";
// %s: group/key, the text read; %d: lowest, highest, the value used.
inline constexpr const char* RRTextSettingOutOfRange =
    "Einstellung %s: „%s“ liegt außerhalb von %d bis %d, es gilt %d.";

// What the error handler shows for an exception.
struct TRRErrorReport {
  std::string Text;
  std::string Caption;
  TRRMessageIcon Icon = TRRMessageIcon::Error;
};

// ---- settings ----

// A watched package folder (always with a trailing '/') and whether it is switched off.
struct TRRAssetPath {
  std::string Path;
  bool Disabled = false;
  friend bool operator==(const TRRAssetPath&, const TRRAssetPath&) = default;
};

struct TRRGeneralSettings {
  bool OpenLastProject = false;
  bool AutoUpdate = true;
  bool ShowWelcomeWindow = true;
  bool SmartHints = true;
  bool AutoTerrainAlignment = true;
};

struct TRRRenderSettings {
  int MultiSample = 0;           // 0 ... 16; other stored values count as 0
  bool VSync = true;
  int TextureQuality = 3;        // at least 1; the adapter limits it further
  int ReflectionQuality = 3;     // 0 ... 3
  int EnvReflectionQuality = 1;  // 0 ... 3
};

// What the start-up needs from the program.
struct TRRStartOptions {
  // Answers the program's questions and shows its messages; required, not owned.
  IRRUIService* UI = nullptr;
  // "--root NAME=DIR": the folder replaces the root as the start-up maps it (used as given,
  // without the publisher and product folders).
  std::vector<gx::TGXRootOption> Roots;
  // Build the render and media cores; a failure (exception or null) leaves the core absent.
  std::function<std::unique_ptr<gx::TGXEngineCore>(gx::TGXEngine&)> CreateRenderCore;
  std::function<std::unique_ptr<gx::TGXEngineCore>(gx::TGXEngine&)> CreateMediaCore;
};

class TRRGlobal {
 public:
  static constexpr int MaxRecentProjects = 9;
  // Settings files beyond this size are not read (a settings file is a few kilobytes).
  static constexpr int64_t MaxSettingsFileSize = 16 << 20;

  // The start-up sequence. A second instance while one lives is a programming error.
  explicit TRRGlobal(const TRRStartOptions& options);
  // The shut-down sequence; never throws.
  ~TRRGlobal();
  TRRGlobal(const TRRGlobal&) = delete;
  TRRGlobal& operator=(const TRRGlobal&) = delete;

  IRRUIService& UI() const { return *FUI; }
  gx::TGXEngine& Engine() const { return *FEngine; }
  gx::TGXFileSystem& FileSystem() const { return FEngine->FileSystem(); }
  gx::TGXConfiguration& Configuration() { return FConfiguration; }
  TRRClipboard& Clipboard() const { return *FClipboard; }
  // The known track textures (RRCreateTrackTextureList at start); every track created adds its own.
  TRRAssetFileNameList& TrackTextures() const { return *FTrackTextures; }
  // The program's one project (CurrentProject), closed between layouts.
  TRRProject& Project() const { return *FProject; }
  // The node Application/<group>, created when missing.
  gx::IGXConfigNode SettingsNode(const char* group);

  // The database holds both base packages; otherwise shows RRTextDatabaseProblem and returns false.
  bool CheckDatabase();
  TRRDatabase& Database() const { return *FDatabase; }
  // The database's part of the close query: write changes? keep downloaded packages? (a chosen
  // folder joins the asset paths). False when the program must stay open.
  bool DatabaseCloseQuery();

  // ---- package download ----
  // DBSettings/PackageServer: the address missing packages are downloaded from; empty (the
  // default) switches downloads off.
  std::string PackageServer();
  void SetPackageServer(const std::string& address);
  // A packaged file is missing: ask once per load and download its package. True when a package
  // was added.
  bool RequestPackage(const std::string& relativePath);
  // A new load, import or project: the question is asked again and every package tried again.
  void ResetDownloadState();
  TRRPackageRequests& PackageRequests() const { return *FPackageRequests; }

  // Reads units, animation, sound, frame-rate and render settings into the fields. Values out of
  // range are clamped and unparsable ones replaced by their defaults, also in the document, so
  // the next save writes a sound file. Each replacement is logged once (one line naming the key
  // and the text read) through the UI service's log, so a hand edit without effect is explained.
  // At its end the open project takes the render settings and the settings-changed handler runs.
  void LoadSettings();
  // Called after every LoadSettings once set (the desktop's window refreshes its menu and rulers).
  void SetSettingsChangedHandler(std::function<void()> handler) { FSettingsChanged = std::move(handler); }
  // Writes the recent list (all nine keys, empty beyond the list), Animations and SoundEnabled,
  // then the file (TGXAtomicFile: a link at its place is written through). Returns false when the
  // file could not be written, and without writing while a damaged settings file could not be
  // moved aside; a folder in the file's place is reported once. Never throws.
  bool SaveSettings();

  // The asset paths: sorted ignoring case, duplicates dropped, each with a trailing '/'.
  std::vector<TRRAssetPath> GetAssetPaths();
  void SetAssetPaths(const std::vector<TRRAssetPath>& paths);

  // Puts the file (made absolute) first; an entry already listed moves up (paths compare
  // exactly: on this system two spellings name two files). At most nine entries.
  void AddRecentProject(const std::string& fileName);
  // Takes an entry off the list (a file that no longer exists); the next save forgets it too.
  void RemoveRecentProject(const std::string& fileName);
  const std::vector<std::string>& RecentProjects() const { return FRecentProjects; }

  // ---- display units ----
  int LengthUnit() const { return FLengthUnit; }
  const std::string& LengthUnitName() const { return FLengthUnitName; }
  float LengthUnitFactor() const { return FLengthUnitFactor; }
  int AngleUnit() const { return FAngleUnit; }
  const std::string& AngleUnitName() const { return FAngleUnitName; }
  float AngleUnitFactor() const { return FAngleUnitFactor; }
  // Centimetres and radians in the display unit, without the unit's name.
  std::string FormatLength(double centimetres) const;
  std::string FormatAngle(double radians) const;

  // ---- switches ----
  bool ShowFPS() const { return FShowFPS; }
  bool Animations() const { return FAnimations; }
  void SetAnimations(bool value) { FAnimations = value; }
  bool SoundEnabled() const { return FSoundEnabled; }
  void SetSoundEnabled(bool value) { FSoundEnabled = value; }
  float Volume() const { return FVolume; }
  const TRRGeneralSettings& GeneralSettings() const { return FGeneral; }
  const TRRRenderSettings& RenderSettings() const { return FRender; }

  // A program to start after shut-down (set by the update window); empty for none.
  void SetPendingInstaller(std::string path) { FPendingInstaller = std::move(path); }

  // Shows the report of an exception (default: the one being handled) through the UI service,
  // unless a hook is set and takes it (the command line keeps the exception for its one-line
  // message and shows the full report only when asked to).
  void HandleException(std::exception_ptr e = std::current_exception());
  void SetExceptionHook(std::function<bool(std::exception_ptr)> hook) { FExceptionHook = std::move(hook); }
  // The same without a global object (start-up failed before it existed).
  static void ReportException(IRRUIService& ui, std::exception_ptr e);
  // The texts the handler shows.
  static TRRErrorReport BuildErrorReport(std::exception_ptr e);
  // "major.minor" with the minor version as at least two digits ("0.01").
  static std::string ProgramVersion();

 private:
  void DefineRoots(const std::vector<gx::TGXRootOption>& overrides);
  // Reads the settings file. One that cannot be read (XML error, NUL character, too deep, over
  // MaxSettingsFileSize, unreadable) is moved aside before anything is written, and the user is
  // told once where it is now; the settings then start empty.
  void LoadConfiguration();
  void RescueSettingsFile(const std::string& file, const std::string& reason);
  void ReportSettingsFolder(const std::string& file);
  void BuildRecentList();
  bool WriteSettingsFile();
  void InstallSampleLayouts();
  void AcquireInstanceLock();
  void ReleaseInstanceLock();
  void LaunchPendingInstaller();

  IRRUIService* FUI;
  int FInstanceLock = -1;
  // A damaged settings file that could not be moved aside: it is never overwritten.
  bool FKeepSettingsFile = false;
  bool FSettingsFolderReported = false;
  std::unique_ptr<gx::TGXEngine> FEngine;
  gx::TGXConfiguration FConfiguration;
  std::unique_ptr<TRRDatabase> FDatabase;
  std::unique_ptr<TRRPackageRequests> FPackageRequests;
  std::vector<std::string> FRecentProjects;
  std::string FPendingInstaller;
  // The entity clipboard: lives with the program, so its content outlives the project copied from.
  std::unique_ptr<TRRClipboard> FClipboard;
  std::unique_ptr<TRRAssetFileNameList> FTrackTextures;
  std::unique_ptr<TRRProject> FProject;
  int FLengthUnit = 0;
  std::string FLengthUnitName;
  float FLengthUnitFactor = 1;
  int FAngleUnit = 0;
  std::string FAngleUnitName;
  float FAngleUnitFactor = 1;
  bool FShowFPS = false;
  bool FAnimations = true;
  bool FSoundEnabled = true;
  float FVolume = 100;
  std::function<bool(std::exception_ptr)> FExceptionHook;
  TRRGeneralSettings FGeneral;
  TRRRenderSettings FRender;
  std::function<void()> FSettingsChanged;
  // smart hints: joins with the hint balloons
};

// The live application object, or null outside its lifetime.
TRRGlobal* Global();

}  // namespace rr
