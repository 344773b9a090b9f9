#include "app/RRGlobal.h"

#include "engine/media/GXMediaCore.h"

#include "app/RRClipboard.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cxxabi.h>
#include <filesystem>
#include <initializer_list>
#include <typeinfo>
#include <utility>

#include "app/RRAssetDownloader.h"
#include "app/RRAssetFileLoader.h"
#include "app/RRDatabase.h"
#include "app/RRProject.h"
#include "app/RRUnits.h"
#include "engine/core/GXAtomicFile.h"
#include "engine/core/GXException.h"
#include "engine/core/GXGuid.h"
#include "engine/core/GXStackTrace.h"
#include "engine/core/GXStrings.h"

extern char** environ;

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0.0.0"
#endif

namespace rr {

namespace {

TRRGlobal* GGlobal = nullptr;

// The roots the start-up puts below the publisher's and product's folders.
constexpr const char* kUserRoots[] = {"User", "CommonUser", "Documents", "CommonDocuments", "Temp"};

// The pattern with each "%s" and "%d" replaced by the next argument, in order.
std::string FillIn(const char* pattern, std::initializer_list<std::string> args) {
  std::string out;
  auto arg = args.begin();
  for (const char* p = pattern; *p; ++p) {
    if (p[0] == '%' && (p[1] == 's' || p[1] == 'd') && arg != args.end()) {
      out += *arg++;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

// A settings group while it is read; the values reading replaces become log lines.
struct TSettingsGroup {
  gx::IGXConfigNode Node;
  const char* Name;
  std::vector<std::string>& Repairs;

  // Before the document is changed: the line names the text as it was read (cut to a sane length).
  void Repaired(const char* key, int used, bool outOfRange, int lo, int hi) {
    std::string text = Node->ReadString(key, "");
    if (text.size() > 60) text = text.substr(0, 60) + "…";
    std::string name = std::string(Name) + "/" + key;
    std::string value = std::to_string(used);
    Repairs.push_back(outOfRange ? FillIn(RRTextSettingOutOfRange,
                                          {name, text, std::to_string(lo), std::to_string(hi), value})
                                 : FillIn(RRTextSettingNoInteger, {name, text, value}));
  }
};

// An integer setting limited to lo...hi. A stored value that does not parse, or lies outside,
// is replaced in the document too, so the file is sound after the next save.
int ReadClamped(TSettingsGroup& g, const char* key, int def, int lo, int hi) {
  int v = g.Node->ReadInteger(key, def);
  int fixed = std::clamp(v, lo, hi);
  if (g.Node->ValueExists(key) && (!g.Node->IsInteger(key) || fixed != v)) {
    g.Repaired(key, fixed, g.Node->IsInteger(key), lo, hi);
    g.Node->WriteInteger(key, fixed);
  }
  return fixed;
}

// As ReadClamped, but a value outside lo...hi counts as the default.
int ReadInSet(TSettingsGroup& g, const char* key, int def, int lo, int hi) {
  int v = g.Node->ReadInteger(key, def);
  int fixed = v < lo || v > hi ? def : v;
  if (g.Node->ValueExists(key) && (!g.Node->IsInteger(key) || fixed != v)) {
    g.Repaired(key, fixed, g.Node->IsInteger(key), lo, hi);
    g.Node->WriteInteger(key, fixed);
  }
  return fixed;
}

bool ReadFlag(TSettingsGroup& g, const char* key, bool def) {
  bool v = g.Node->ReadBoolean(key, def);
  if (g.Node->ValueExists(key) && !g.Node->IsInteger(key)) {
    g.Repaired(key, v ? 1 : 0, false, 0, 1);
    g.Node->WriteBoolean(key, v);
  }
  return v;
}

// The whole file when it is a readable regular file within the size limit; otherwise the German
// reason. A missing file is no failure (nothing read, no reason).
bool ReadSettingsBytes(const std::string& file, int64_t limit, std::vector<uint8_t>& data,
                       std::string& reason) {
  // O_NONBLOCK: a pipe in the file's place must not stop the start-up.
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno != ENOENT) reason = "nicht lesbar";
    return false;
  }
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) reason = "keine gewöhnliche Datei";
  if (ok && st.st_size > limit) {
    ok = false;
    reason = "größer als " + std::to_string(limit >> 20) + " MiB";
  }
  // Read up to one byte beyond the limit: a file that grows meanwhile is still refused.
  data.resize(ok ? static_cast<size_t>(st.st_size) + 1 : 0);
  size_t done = 0;
  while (ok) {
    if (done == data.size()) data.resize(std::min<size_t>(data.size() * 2, static_cast<size_t>(limit) + 1));
    ssize_t n = read(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      reason = "nicht lesbar";
    } else if (n == 0) {
      break;
    } else {
      done += static_cast<size_t>(n);
      if (done > static_cast<size_t>(limit)) {
        ok = false;
        reason = "größer als " + std::to_string(limit >> 20) + " MiB";
      }
    }
  }
  close(fd);
  data.resize(ok ? done : 0);
  return ok;
}

std::string ReplaceFirst(std::string text, const std::string& what, const std::string& with) {
  size_t p = text.find(what);
  if (p != std::string::npos) text.replace(p, what.size(), with);
  return text;
}

// The class name a report shows: our own classes without their namespace.
std::string ClassNameOf(const std::exception& e) {
  if (auto* gxe = dynamic_cast<const gx::EGXException*>(&e)) return gxe->ClassName();
  int status = 0;
  char* demangled = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : typeid(e).name();
  std::free(demangled);
  for (const char* ns : {"gx::", "rr::"})
    if (name.rfind(ns, 0) == 0) name.erase(0, 4);
  return name;
}

// The part of a requested path between its first and second separator is a package identifier
// ("Game:\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\Box.gxmesh").
bool NamesPackageFile(const std::string& requested) {
  size_t first = requested.find_first_of("\\/");
  if (first == std::string::npos) return false;
  size_t second = requested.find_first_of("\\/", first + 1);
  if (second == std::string::npos) return false;
  std::string part = requested.substr(first + 1, second - first - 1);
  return part.size() == 38 && part.front() == '{' && part.back() == '}' && gx::TGXGuid::TryParse(part).has_value();
}

TRRErrorReport UnexpectedError(const std::exception* e) {
  TRRErrorReport r;
  r.Caption = RRCaptionUnexpectedError;
  r.Text = ReplaceFirst(RRTextUnexpectedError, "%s", RRSupportAddress);
  std::vector<std::string> stack;
  if (e) {
    std::string description = ReplaceFirst(RRTextErrorDescription, "%s", ClassNameOf(*e));
    r.Text += ReplaceFirst(description, "%s", e->what());
    stack = gx::GXExceptionStackTrace(*e);
  }
  std::string lines;
  for (size_t i = 0; i < stack.size() && i < static_cast<size_t>(RRErrorStackLines); ++i) {
    if (i) lines += "\r\n";
    lines += stack[i];
  }
  std::string details = ReplaceFirst(RRTextErrorDetails, "%s", TRRGlobal::ProgramVersion());
  r.Text += ReplaceFirst(details, "%s", lines);
  return r;
}

}  // namespace

TRRGlobal* Global() { return GGlobal; }

// ---- start-up ---------------------------------------------------------------------------------

TRRGlobal::TRRGlobal(const TRRStartOptions& options) : FUI(options.UI) {
  GX_ASSERT(FUI != nullptr);
  GX_ASSERT(GGlobal == nullptr);
  GGlobal = this;
  try {
    std::srand(static_cast<unsigned>(std::time(nullptr)) ^ static_cast<unsigned>(getpid()));
    AcquireInstanceLock();
    FEngine = gx::TGXEngine::CreateEngine();
    DefineRoots(options.Roots);

    // The program runs without a render or media core when one cannot be made.
    if (options.CreateRenderCore) {
      try {
        if (auto core = options.CreateRenderCore(*FEngine)) FEngine->AttachRenderCore(std::move(core));
      } catch (...) {
      }
    }
    if (options.CreateMediaCore) {
      try {
        if (auto core = options.CreateMediaCore(*FEngine)) FEngine->AttachMediaCore(std::move(core));
      } catch (...) {
      }
      // A machine without sound devices runs silent.
      if (auto* media = dynamic_cast<gx::TGXMediaCore*>(FEngine->MediaCore()); media && media->Adapters().empty())
        FEngine->DestroyMediaCore();
    }

    LoadConfiguration();
    {
      std::vector<TRRAssetPath> assetPaths = GetAssetPaths();
      FDatabase = std::make_unique<TRRDatabase>(FileSystem(), assetPaths);
      FPackageRequests = std::make_unique<TRRPackageRequests>(*FDatabase, *FUI, [this] { return PackageServer(); });
    }
    FClipboard = std::make_unique<TRRClipboard>();
    FTrackTextures = RRCreateTrackTextureList();
    FProject = std::make_unique<TRRProject>(TRRProjectServices::FromGlobal(*this));
    InstallSampleLayouts();
    BuildRecentList();
    LoadSettings();
    // The smart-hint manager is created here, switched by GeneralSettings().SmartHints.
  } catch (...) {
    FProject.reset();
    FClipboard.reset();
    FPackageRequests.reset();
    FDatabase.reset();
    FEngine.reset();
    ReleaseInstanceLock();
    GGlobal = nullptr;
    throw;
  }
}

void TRRGlobal::InstallSampleLayouts() {
  // At the first start (the sample layout is not in the documents yet) every shipped sample is
  // copied; one already there is never overwritten, and a failure only means no samples.
  namespace fsys = std::filesystem;
  std::error_code ec;
  fsys::path target = FileSystem().ResolvePath(RRSampleProject);
  fsys::path source = FileSystem().ResolvePath("Game:\\Beispielanlagen\\");
  if (!gx::TGXFileSystem::IsDiskPath(target.string()) || fsys::exists(target, ec) || !fsys::is_directory(source, ec)) return;
  fsys::create_directories(target.parent_path(), ec);
  for (const auto& entry : fsys::directory_iterator(source, ec))
    if (entry.is_regular_file(ec))
      fsys::copy_file(entry.path(), target.parent_path() / entry.path().filename(), fsys::copy_options::skip_existing, ec);
}

void TRRGlobal::AcquireInstanceLock() {
  // The named lock of the running program: a file that stays locked (shared, so that a second
  // instance still starts) until shut-down; installers test it.
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  if (!dir || *dir != '/') dir = std::getenv("TMPDIR");
  if (!dir || *dir != '/') dir = "/tmp";
  std::string path = std::string(dir) + "/" + RRInstanceLockName + ".lock";
  FInstanceLock = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (FInstanceLock >= 0) flock(FInstanceLock, LOCK_SH | LOCK_NB);
}

void TRRGlobal::ReleaseInstanceLock() {
  if (FInstanceLock >= 0) close(FInstanceLock);
  FInstanceLock = -1;
}

void TRRGlobal::DefineRoots(const std::vector<gx::TGXRootOption>& overrides) {
  gx::TGXFileSystem& fs = FileSystem();
  // "Game" stays the program's folder + "Data/" as the file system defines it.
  const std::string below = std::string(RRPublisherName) + "/" + RRProductName + "/";
  for (const char* name : kUserRoots) fs.SetRoot(name, fs.GetRoot(name) + below);
  gx::ApplyRootOptions(fs, overrides);
}

void TRRGlobal::LoadConfiguration() {
  gx::TGXFileSystem& fs = FileSystem();
  const std::string file = fs.ResolvePath(RRSettingsFile);
  FConfiguration.SetFileName(file);
  if (!gx::TGXFileSystem::IsDiskPath(file)) return;
  struct stat st;
  if (stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    ReportSettingsFolder(file);
    return;
  }
  // Missing (the first start): empty settings, every read gives its default.
  std::string disk = fs.LocateFile(RRSettingsFile);
  if (disk.empty()) return;
  std::vector<uint8_t> data;
  std::string reason;
  if (ReadSettingsBytes(disk, MaxSettingsFileSize, data, reason)) {
    // An empty file holds nothing to keep (what a full disk left of an old save).
    if (gx::TrimText(std::string_view(reinterpret_cast<const char*>(data.data()), data.size())).empty()) return;
    try {
      gx::TGXMemoryStream stream(std::move(data));
      FConfiguration.LoadFromStream(stream);
      return;
    } catch (const std::exception& e) {
      reason = e.what();
    }
  }
  if (reason.empty()) return;
  FConfiguration.Clear();
  RescueSettingsFile(disk, reason);
}

void TRRGlobal::RescueSettingsFile(const std::string& file, const std::string& reason) {
  // A link keeps pointing where the user keeps the file: the broken file is moved aside there.
  std::string broken = file;
  try {
    broken = gx::TGXAtomicFile::FollowLinks(file);
  } catch (const std::exception&) {
  }
  const std::string aside = broken + RRSettingsRescueSuffix;
  if (std::rename(broken.c_str(), aside.c_str()) == 0) {
    FUI->ShowMessage(FillIn(RRTextSettingsRescued, {file, reason, aside}), RRCaptionSettings,
                     TRRMessageIcon::Warning);
  } else {
    FKeepSettingsFile = true;
    FUI->ShowMessage(FillIn(RRTextSettingsNotRescued, {file, reason, aside}), RRCaptionSettings,
                     TRRMessageIcon::Warning);
  }
}

void TRRGlobal::ReportSettingsFolder(const std::string& file) {
  if (std::exchange(FSettingsFolderReported, true)) return;
  FUI->ShowMessage(FillIn(RRTextSettingsFolder, {file}), RRCaptionSettings, TRRMessageIcon::Warning);
}

void TRRGlobal::BuildRecentList() {
  gx::IGXConfigNode general = SettingsNode("GeneralSettings");
  FRecentProjects.clear();
  for (int n = 0; n < MaxRecentProjects; ++n) {
    std::string name = general->ReadString("RecentProject" + std::to_string(n), "");
    if (n == 0 && name.empty()) name = FileSystem().ResolvePath(RRSampleProject);
    if (!name.empty() && std::find(FRecentProjects.begin(), FRecentProjects.end(), name) == FRecentProjects.end())
      FRecentProjects.push_back(name);
  }
}

gx::IGXConfigNode TRRGlobal::SettingsNode(const char* group) {
  return FConfiguration.GetNode(FConfiguration.GetNode(nullptr, "Application"), group);
}

bool TRRGlobal::CheckDatabase() {
  if (FDatabase && FDatabase->FindAsset(gx::TGXGuid::Parse(RRBasePackage1)) &&
      FDatabase->FindAsset(gx::TGXGuid::Parse(RRBasePackage2)))
    return true;
  FUI->ShowMessage(RRTextDatabaseProblem, RRCaptionDatabaseProblem, TRRMessageIcon::Error);
  return false;
}

// ---- settings ---------------------------------------------------------------------------------

void TRRGlobal::LoadSettings() {
  std::vector<std::string> repairs;
  TSettingsGroup general{SettingsNode("GeneralSettings"), "GeneralSettings", repairs};
  FLengthUnit = ReadClamped(general, "LengthUnit", 0, 0, RRLengthUnitCount - 1);
  FLengthUnitName = RRLengthUnits[FLengthUnit].Name;
  FLengthUnitFactor = RRLengthUnits[FLengthUnit].Factor;
  FAngleUnit = ReadClamped(general, "AngleUnit", 0, 0, RRAngleUnitCount - 1);
  FAngleUnitName = RRAngleUnits[FAngleUnit].Name;
  FAngleUnitFactor = RRAngleUnits[FAngleUnit].Factor;
  FAnimations = ReadFlag(general, "Animations", true);
  FGeneral.OpenLastProject = ReadFlag(general, "OpenLastProject", false);
  FGeneral.AutoUpdate = ReadFlag(general, "AutoUpdate", true);
  FGeneral.ShowWelcomeWindow = ReadFlag(general, "ShowWelcomeWindow", true);
  FGeneral.SmartHints = ReadFlag(general, "SmartHints", true);
  FGeneral.AutoTerrainAlignment = ReadFlag(general, "AutoTerrainAlignment", true);

  TSettingsGroup sound{SettingsNode("SoundSettings"), "SoundSettings", repairs};
  FSoundEnabled = ReadFlag(sound, "SoundEnabled", true);
  FVolume = static_cast<float>(ReadClamped(sound, "Volume", 100, 0, 100));

  TSettingsGroup render{SettingsNode("RenderSettings"), "RenderSettings", repairs};
  FShowFPS = ReadFlag(render, "ShowFPS", false);
  FRender.MultiSample = ReadInSet(render, "MultiSample", 0, 0, 16);
  FRender.VSync = ReadFlag(render, "VSync", true);
  FRender.TextureQuality = ReadClamped(render, "TextureQuality", 3, 1, 1 << 16);
  FRender.ReflectionQuality = ReadClamped(render, "ReflectionQuality", 3, 0, 3);
  FRender.EnvReflectionQuality = ReadClamped(render, "EnvReflectionQuality", 1, 0, 3);
  // The repaired values are in the document now, so the next reading finds nothing to report.
  for (const std::string& line : repairs) FUI->Log(line);

  if (FProject)
    FProject->ApplyRenderSettings(FRender.TextureQuality, FRender.MultiSample, FRender.ReflectionQuality,
                                  FRender.EnvReflectionQuality);
  if (FSettingsChanged) FSettingsChanged();
}

bool TRRGlobal::SaveSettings() {
  try {
    gx::IGXConfigNode general = SettingsNode("GeneralSettings");
    // All nine keys: an entry removed from the list must not come back from the file.
    for (int n = 0; n < MaxRecentProjects; ++n)
      general->WriteString("RecentProject" + std::to_string(n),
                           n < static_cast<int>(FRecentProjects.size()) ? FRecentProjects[n] : std::string());
    general->WriteBoolean("Animations", FAnimations);
    SettingsNode("SoundSettings")->WriteBoolean("SoundEnabled", FSoundEnabled);
    return WriteSettingsFile();
  } catch (...) {
    return false;
  }
}

bool TRRGlobal::WriteSettingsFile() {
  const std::string& file = FConfiguration.FileName();
  if (FKeepSettingsFile || !gx::TGXFileSystem::IsDiskPath(file)) return false;
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path folder = fs::path(file).parent_path();
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return false;

  std::string data = FConfiguration.SaveToString();
  // The old file is replaced only by a complete new one: a full disk or a crash while writing
  // leaves the previous settings in place.
  try {
    gx::TGXAtomicFile::WriteFile(file, data.data(), data.size());
    return true;
  } catch (const std::exception&) {
    struct stat st;
    if (stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ReportSettingsFolder(file);
    return false;
  }
}

std::vector<TRRAssetPath> TRRGlobal::GetAssetPaths() {
  gx::IGXConfigNode list = FConfiguration.GetNode(SettingsNode("DBSettings"), "AssetPaths");
  std::vector<TRRAssetPath> out;
  for (pugi::xml_node item : list->GetXMLNode().children("AssetPath")) {
    std::string path(gx::TrimText(item.child_value()));
    if (path.empty()) continue;
    if (path.back() != '/') path += '/';
    if (std::any_of(out.begin(), out.end(), [&](const TRRAssetPath& p) { return p.Path == path; })) continue;
    out.push_back({path, std::string_view(item.attribute("enabled").value()) == "0"});
  }
  std::stable_sort(out.begin(), out.end(), [](const TRRAssetPath& a, const TRRAssetPath& b) {
    int c = gx::CompareText(a.Path, b.Path);
    return c != 0 ? c < 0 : a.Path < b.Path;
  });
  return out;
}

void TRRGlobal::SetAssetPaths(const std::vector<TRRAssetPath>& paths) {
  pugi::xml_node list = FConfiguration.GetNode(SettingsNode("DBSettings"), "AssetPaths")->GetXMLNode();
  while (pugi::xml_node child = list.first_child()) list.remove_child(child);
  for (const TRRAssetPath& p : paths) {
    pugi::xml_node item = list.append_child("AssetPath");
    item.append_child(pugi::node_pcdata).set_value(p.Path.c_str());
    if (p.Disabled) item.append_attribute("enabled") = "0";
  }
}

void TRRGlobal::AddRecentProject(const std::string& fileName) {
  if (fileName.empty()) return;
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(fileName, ec);
  std::string name = ec ? fileName : absolute.lexically_normal().string();
  FRecentProjects.erase(std::remove(FRecentProjects.begin(), FRecentProjects.end(), name), FRecentProjects.end());
  FRecentProjects.insert(FRecentProjects.begin(), name);
  if (FRecentProjects.size() > static_cast<size_t>(MaxRecentProjects)) FRecentProjects.resize(MaxRecentProjects);
}

void TRRGlobal::RemoveRecentProject(const std::string& fileName) {
  FRecentProjects.erase(std::remove(FRecentProjects.begin(), FRecentProjects.end(), fileName), FRecentProjects.end());
}

std::string TRRGlobal::FormatLength(double centimetres) const {
  return RRFormatDecimal(centimetres * static_cast<double>(FLengthUnitFactor), RRLengthUnits[FLengthUnit].Decimals,
                         RRDecimalSeparator());
}

std::string TRRGlobal::FormatAngle(double radians) const {
  return RRFormatDecimal(radians * static_cast<double>(FAngleUnitFactor), RRAngleUnits[FAngleUnit].Decimals,
                         RRDecimalSeparator());
}

// ---- database and package download -------------------------------------------------------------

bool TRRGlobal::DatabaseCloseQuery() {
  return FDatabase->CloseQuery(*FUI, [this](const std::string& folder) {
    std::vector<TRRAssetPath> paths = GetAssetPaths();
    std::string path = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    paths.push_back({path, false});
    SetAssetPaths(paths);
  });
}

std::string TRRGlobal::PackageServer() {
  return std::string(gx::TrimText(SettingsNode("DBSettings")->ReadString("PackageServer", "")));
}

void TRRGlobal::SetPackageServer(const std::string& address) {
  SettingsNode("DBSettings")->WriteString("PackageServer", address);
}

bool TRRGlobal::RequestPackage(const std::string& relativePath) { return FPackageRequests->Request(relativePath); }

void TRRGlobal::ResetDownloadState() { FPackageRequests->Reset(); }

// ---- errors -----------------------------------------------------------------------------------

std::string TRRGlobal::ProgramVersion() {
  int major = 0, minor = 0;
  std::sscanf(VELMORA_VERSION, "%d.%d", &major, &minor);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d.%02d", major, minor);
  return buf;
}

TRRErrorReport TRRGlobal::BuildErrorReport(std::exception_ptr e) {
  if (!e) return UnexpectedError(nullptr);
  try {
    std::rethrow_exception(e);
  } catch (const gx::EGXPackageFileOpenError& x) {
    TRRErrorReport r;
    r.Caption = RRCaptionFileError;
    r.Text = NamesPackageFile(x.RequestedPath()) ? std::string(RRTextMissingPackageFile)
                                                 : std::string(x.what()) + ".\r\n\r\n" + RRTextFileOpenHint;
    return r;
  } catch (const gx::EGXFileOpenError& x) {
    TRRErrorReport r;
    r.Caption = RRCaptionFileError;
    r.Text = std::string(x.what()) + ".\r\n\r\n" + RRTextFileOpenHint;
    return r;
  } catch (const std::exception& x) {
    return UnexpectedError(&x);
  } catch (...) {
    return UnexpectedError(nullptr);
  }
}

void TRRGlobal::ReportException(IRRUIService& ui, std::exception_ptr e) {
  try {
    TRRErrorReport r = BuildErrorReport(e);
    ui.ShowMessage(r.Text, r.Caption, r.Icon);
  } catch (...) {
    // The error report itself must not end the program.
  }
}

void TRRGlobal::HandleException(std::exception_ptr e) {
  if (FExceptionHook && FExceptionHook(e)) return;
  ReportException(*FUI, e);
}

// ---- shut-down --------------------------------------------------------------------------------

TRRGlobal::~TRRGlobal() {
  // The smart-hint manager goes first (joins with the hint balloons).
  SaveSettings();
  FConfiguration.Clear();
  FRecentProjects.clear();
  FProject.reset();
  FClipboard.reset();
  FPackageRequests.reset();
  FDatabase.reset();
  FEngine->DestroyMediaCore();
  FEngine->DestroyRenderCore();
  FEngine.reset();
  ReleaseInstanceLock();
  LaunchPendingInstaller();
  GGlobal = nullptr;
}

void TRRGlobal::LaunchPendingInstaller() {
  if (FPendingInstaller.empty()) return;
  // The desktop's "open" for the file, detached; a failure only means no installer runs.
  const char* argv[] = {"xdg-open", FPendingInstaller.c_str(), nullptr};
  pid_t pid;
  posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ);
}

}  // namespace rr
