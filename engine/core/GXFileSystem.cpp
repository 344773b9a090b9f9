#include "engine/core/GXFileSystem.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "engine/core/GXException.h"
#include "engine/core/GXStrings.h"

namespace gx {

const char* const kGXFileOpenErrorFormat = "Datei %s kann nicht geöffnet werden";

namespace {

std::string FileOpenMessage(const std::string& resolved) {
  std::string_view format = kGXFileOpenErrorFormat;
  size_t at = format.find("%s");
  return std::string(format.substr(0, at)) + resolved + std::string(format.substr(at + 2));
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Drops empty and "." segments and removes each ".." with the segment before it; a ".." with
// nothing before it is dropped, so the result never leaves the folder it is relative to. A
// trailing separator is kept (the text names a folder).
std::string CanonicalSegments(std::string_view text, char separator) {
  std::string out = FoldPathSegments(text, separator);
  if (!out.empty() && !text.empty() && IsSeparator(text.back())) out += separator;
  return out;
}

std::string WorkingFolder() {
  std::string buf(4096, '\0');
  while (!getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return "/";
    buf.resize(buf.size() * 2);
  }
  return buf.c_str();
}

std::string EnsureTrailingSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// ---- default roots ----

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string EnvFolder(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v == '/' ? std::string(v) : fallback;  // XDG: relative values are ignored
}

std::string ProgramFolder() {
  std::string buf(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return WorkingFolder();
  buf.resize(static_cast<size_t>(n));
  return buf.substr(0, buf.rfind('/') + 1);
}

std::string CommonDataFolder(const std::string& user) {
  std::string dirs = std::getenv("XDG_DATA_DIRS") ? std::getenv("XDG_DATA_DIRS") : "";
  if (dirs.empty()) dirs = "/usr/local/share/:/usr/share/";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty() && dir[0] == '/' && access(dir.c_str(), W_OK) == 0) return dir;
    start = end + 1;
  }
  return user;
}

// XDG_DOCUMENTS_DIR from the environment or from user-dirs.dirs ("$HOME/Dokumente").
std::string DocumentsFolder(const std::string& home) {
  if (const char* v = std::getenv("XDG_DOCUMENTS_DIR"); v && *v == '/') return v;
  std::ifstream in(EnvFolder("XDG_CONFIG_HOME", home + "/.config") + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    std::string_view v = TrimText(line);
    if (v.substr(0, 18) != "XDG_DOCUMENTS_DIR=") continue;
    v.remove_prefix(18);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.substr(0, 5) == "$HOME") return home + std::string(v.substr(5));
    if (!v.empty() && v[0] == '/') return std::string(v);
  }
  return home + "/Documents";
}

}  // namespace

// ---- error ----

EGXPackageFileOpenError::EGXPackageFileOpenError(std::string requestedPath, std::string resolvedPath)
    : EGXFileOpenError(FileOpenMessage(resolvedPath)),
      FRequestedPath(std::move(requestedPath)),
      FResolvedPath(std::move(resolvedPath)) {}

// ---- file system ----

TGXFileSystem::TGXFileSystem() {
  std::string home = HomeFolder();
  std::string user = EnvFolder("XDG_DATA_HOME", home + "/.local/share");
  std::string common = CommonDataFolder(user);
  SetRoot("Game", ProgramFolder() + "Data/");
  SetRoot("User", user);
  SetRoot("CommonUser", common);
  SetRoot("Documents", DocumentsFolder(home));
  SetRoot("CommonDocuments", common);
  SetRoot("Temp", EnvFolder("TMPDIR", "/tmp"));
}

TGXFileSystem::~TGXFileSystem() = default;

const TGXVirtualDevice* TGXFileSystem::FindRoot(std::string_view name) const {
  if (name.empty()) return nullptr;
  std::string key = LowerCaseText(name);
  for (const auto& root : FRoots)
    if (root.Name == key) return &root;
  return nullptr;
}

std::string TGXFileSystem::GetRoot(std::string_view name) const {
  const TGXVirtualDevice* root = FindRoot(name);
  return root ? root->Path : std::string();
}

void TGXFileSystem::SetRoot(std::string_view name, std::string_view folder) {
  if (name.empty() || name.find_first_of(":\\/") != std::string_view::npos)
    throw EInvalidParameter(
        {TGXExceptionArg::Object("TGXFileSystem"), "SetRoot", "Invalid name", std::string(name)});
  std::string key = LowerCaseText(name);
  auto it =
      std::find_if(FRoots.begin(), FRoots.end(), [&](const TGXVirtualDevice& r) { return r.Name == key; });
  if (folder.empty()) {
    if (it != FRoots.end()) {
      *it = std::move(FRoots.back());  // the last root takes the removed one's place
      FRoots.pop_back();
    }
    return;
  }
  TResolved resolved = Resolve(folder);
  if (!resolved.OnDisk)
    throw EInvalidParameter(
        {TGXExceptionArg::Object("TGXFileSystem"), "SetRoot", "Invalid folder", std::string(folder)});
  std::string path = EnsureTrailingSlash(resolved.Path);
  if (it != FRoots.end())
    it->Path = std::move(path);
  else
    FRoots.push_back({std::move(key), std::move(path)});
}

TGXFileSystem::TResolved TGXFileSystem::Resolve(std::string_view path) const {
  // A network path has no disk mapping.
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\')
    return {"\\\\" + CanonicalSegments(path.substr(2), '\\'), false};
  // An absolute disk path (a single leading backslash means the same: the top of the disk).
  if (!path.empty() && IsSeparator(path[0])) {
    std::string rest = CanonicalSegments(path.substr(1), '/');
    return {"/" + rest, true};
  }
  // A root prefix: the text before ":" and the first separator ("User:\...", "C:\...").
  size_t sep = 0;
  while (sep < path.size() && !IsSeparator(path[sep])) ++sep;
  bool hasPrefix =
      sep >= 2 && path[sep - 1] == ':' && path.substr(0, sep - 1).find(':') == std::string_view::npos;
  if (!hasPrefix) return Resolve(WorkingFolder() + "/" + std::string(path));

  std::string_view name = path.substr(0, sep - 1);
  std::string_view remainder = sep < path.size() ? path.substr(sep + 1) : std::string_view();
  std::string canonical = remainder.empty() ? std::string() : CanonicalSegments(remainder, '/');
  if (const TGXVirtualDevice* root = FindRoot(name)) return {root->Path + canonical, true};
  std::replace(canonical.begin(), canonical.end(), '/', '\\');
  return {std::string(name) + ":\\" + canonical, false};
}

std::string TGXFileSystem::ResolvePath(std::string_view path) const { return Resolve(path).Path; }

std::string TGXFileSystem::LocateFile(std::string_view path) const {
  TResolved r = Resolve(path);
  if (!r.OnDisk) return {};
  if (IsRegularFile(r.Path)) return r.Path;
  // Retry component by component, matching names that differ only in case. Among several
  // matches the byte-wise smallest wins, so the choice does not depend on directory order.
  std::string current = "/";
  size_t start = 1;
  while (start < r.Path.size()) {
    size_t end = r.Path.find('/', start);
    if (end == std::string::npos) end = r.Path.size();
    std::string part = r.Path.substr(start, end - start);
    start = end + 1;
    std::string exact = current + part;
    struct stat st;
    if (lstat(exact.c_str(), &st) == 0) {
      current = exact + "/";
      continue;
    }
    DIR* dir = opendir(current.c_str());
    if (!dir) return {};
    std::string best;
    while (const dirent* e = readdir(dir)) {
      std::string_view n = e->d_name;
      if (n != "." && n != ".." && SameText(n, part) && (best.empty() || n < best)) best = n;
    }
    closedir(dir);
    if (best.empty()) return {};
    current += best + "/";
  }
  current.pop_back();
  return IsRegularFile(current) ? current : std::string();
}

std::unique_ptr<TGXMemoryStream> TGXFileSystem::ExtractFromPackages(const std::string& resolved) {
  for (auto& p : FPackages) {
    if (resolved.size() <= p.MountPath.size() ||
        !SameText(std::string_view(resolved).substr(0, p.MountPath.size()), p.MountPath))
      continue;
    if (auto s = p.Reader->Extract(std::string_view(resolved).substr(p.MountPath.size()))) return s;
  }
  return nullptr;
}

bool TGXFileSystem::FileExists(std::string_view path) const {
  if (!LocateFile(path).empty()) return true;
  std::string resolved = Resolve(path).Path;
  for (const auto& p : FPackages)
    if (resolved.size() > p.MountPath.size() &&
        SameText(std::string_view(resolved).substr(0, p.MountPath.size()), p.MountPath) &&
        p.Reader->Contains(std::string_view(resolved).substr(p.MountPath.size())))
      return true;
  return false;
}

std::unique_ptr<TGXMemoryStream> TGXFileSystem::OpenFile(std::string_view path) {
  TResolved r = Resolve(path);
  if (r.OnDisk) {
    std::string disk = LocateFile(r.Path);
    if (!disk.empty()) {
      TGXFileStream file(disk, TGXFileStream::Mode::Read);
      auto s = std::make_unique<TGXMemoryStream>();
      s->CopyFrom(file, -1);
      s->SetPosition(0);
      return s;
    }
  }
  if (auto s = ExtractFromPackages(r.Path)) return s;
  throw EGXPackageFileOpenError(std::string(path), r.Path);
}

void TGXFileSystem::MountPackage(std::string_view packageFile, std::string_view mountFolder) {
  std::string resolved = ResolvePath(packageFile);
  std::string disk = LocateFile(resolved);
  if (disk.empty()) throw EGXPackageFileOpenError(std::string(packageFile), resolved);
  TGXFileSystemPackage p;
  p.Reader = std::make_unique<TGXPackageReader>(disk);
  p.PackagePath = std::move(resolved);
  TResolved mount = Resolve(mountFolder);
  p.MountPath = std::move(mount.Path);
  char sep = mount.OnDisk ? '/' : '\\';
  if (p.MountPath.empty() || p.MountPath.back() != sep) p.MountPath += sep;
  FPackages.push_back(std::move(p));
}

void TGXFileSystem::UnmountPackage(std::string_view packageFile) {
  std::string resolved = ResolvePath(packageFile);
  std::erase_if(FPackages, [&](const TGXFileSystemPackage& p) { return SameText(p.PackagePath, resolved); });
}

// ---- "--root NAME=DIR" ----

TGXRootOption ParseRootOption(std::string_view text) {
  size_t eq = text.find('=');
  std::string_view name = eq == std::string_view::npos ? std::string_view() : text.substr(0, eq);
  if (name.empty() || name.find_first_of(":\\/") != std::string_view::npos)
    throw EInvalidParameter({"--root", "NAME=ORDNER erwartet", std::string(text)});
  for (const char* root : GXStandardRoots)
    if (SameText(name, root)) return {root, std::string(text.substr(eq + 1))};
  std::string known;
  for (const char* root : GXStandardRoots) known += (known.empty() ? "" : ", ") + std::string(root);
  throw EInvalidParameter({"--root",
                           "Unbekannter Ordnername " + std::string(name) + " (bekannt: " + known + ")",
                           std::string(text)});
}

std::vector<TGXRootOption> TakeRootOptions(std::vector<std::string>& args) {
  std::vector<TGXRootOption> options;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--root") {
      if (i + 1 >= args.size()) throw EInvalidParameter({"--root", "NAME=ORDNER erwartet", ""});
      options.push_back(ParseRootOption(args[++i]));
    } else if (args[i].rfind("--root=", 0) == 0) {
      options.push_back(ParseRootOption(std::string_view(args[i]).substr(7)));
    } else {
      rest.push_back(std::move(args[i]));
    }
  }
  args = std::move(rest);
  return options;
}

void ApplyRootOptions(TGXFileSystem& fileSystem, const std::vector<TGXRootOption>& options) {
  for (const auto& o : options) fileSystem.SetRoot(o.Name, o.Folder);
}

}  // namespace gx
