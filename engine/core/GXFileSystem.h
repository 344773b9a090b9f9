#pragma once
// The virtual file system every file access of the engine and the application goes through.
//
// Virtual paths keep the program's form: backslashes and named roots ("User:\Settings.xml",
// "Game:\{GUID}\Box.gxmesh"). A root maps to a disk folder; a path is looked up on disk first
// and then in the package archives mounted into folders, in mount order, so a file on disk
// always overrides a packaged one.
//
// Resolved paths are POSIX disk paths ("/home/anna/.local/share/Settings.xml"). A path whose
// prefix names no root ("C:\Programme\x", "Temp:\x" after the root was removed, a network path
// "\\server\x") cannot be mapped to the disk: it resolves to its own canonical form, and opening
// it fails; it never becomes a file relative to the working folder. Slashes and backslashes are
// both separators; ".." never climbs above a root.
//
// When the exact disk path does not exist, lookups retry with a case-insensitive match per path
// component, so layouts made on case-insensitive file systems load.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXPackage.h"
#include "engine/core/GXStream.h"

namespace gx {

// "Datei %s kann nicht geöffnet werden", filled with the resolved path. The error handler of the
// application recognises this class and reports a missing catalogue package.
class EGXPackageFileOpenError : public EGXFileOpenError {
 public:
  EGXPackageFileOpenError(std::string requestedPath, std::string resolvedPath);
  const std::string& RequestedPath() const { return FRequestedPath; }
  const std::string& ResolvedPath() const { return FResolvedPath; }

 private:
  std::string FRequestedPath;
  std::string FResolvedPath;
};

extern const char* const kGXFileOpenErrorFormat;  // "Datei %s kann nicht geöffnet werden"

struct TGXVirtualDevice {
  std::string Name;  // lower case
  std::string Path;  // absolute disk folder with a trailing slash
};

struct TGXFileSystemPackage {
  std::unique_ptr<TGXPackageReader> Reader;
  std::string PackagePath;  // resolved path of the archive
  std::string MountPath;    // resolved folder, with a trailing separator, the entries appear in
};

class TGXFileSystem {
 public:
  // Defines the default roots: Game (the program's folder + "Data/"), User ($XDG_DATA_HOME or
  // ~/.local/share), CommonUser and CommonDocuments (the first writable folder of
  // $XDG_DATA_DIRS, else User), Documents (the XDG documents folder, ~/Documents by default) and
  // Temp ($TMPDIR or /tmp). Nothing is created on disk.
  TGXFileSystem();
  ~TGXFileSystem();
  TGXFileSystem(const TGXFileSystem&) = delete;
  TGXFileSystem& operator=(const TGXFileSystem&) = delete;

  // The root's folder (with a trailing slash), or empty for an unknown or empty name. Names are
  // compared ignoring case.
  std::string GetRoot(std::string_view name) const;
  // Adds or replaces a root. The folder may be relative (to the working folder) or use another
  // root; it must resolve to a disk folder, else EInvalidParameter. An empty folder removes the
  // root.
  void SetRoot(std::string_view name, std::string_view folder);
  const std::vector<TGXVirtualDevice>& Roots() const { return FRoots; }

  // The disk path of a virtual path, or the canonical form of a path that has no disk mapping.
  std::string ResolvePath(std::string_view path) const;
  // Whether a resolved path is a disk path (absolute POSIX path).
  static bool IsDiskPath(std::string_view resolvedPath) {
    return !resolvedPath.empty() && resolvedPath[0] == '/';
  }

  // The disk path of an existing regular file for a virtual path (exact, else matched ignoring
  // case per component), or empty. Packages are not searched.
  std::string LocateFile(std::string_view path) const;
  // Whether OpenFile would find the file (on disk or in a mounted package).
  bool FileExists(std::string_view path) const;

  // The whole file in a new memory stream at position 0: from disk, else from the first mounted
  // package that holds it. Raises EGXPackageFileOpenError when neither has it.
  std::unique_ptr<TGXMemoryStream> OpenFile(std::string_view path);

  // Opens the archive and lets its entries appear below mountFolder (after earlier mounts).
  // Raises EGXPackageFileOpenError when the archive does not exist, and the reader's errors.
  void MountPackage(std::string_view packageFile, std::string_view mountFolder);
  // Closes every mounted archive with this path (compared ignoring case).
  void UnmountPackage(std::string_view packageFile);
  const std::vector<TGXFileSystemPackage>& Packages() const { return FPackages; }

 private:
  struct TResolved {
    std::string Path;
    bool OnDisk = false;
  };
  TResolved Resolve(std::string_view path) const;
  const TGXVirtualDevice* FindRoot(std::string_view name) const;
  // The package and entry name a resolved path falls on, in mount order.
  std::unique_ptr<TGXMemoryStream> ExtractFromPackages(const std::string& resolved);

  std::vector<TGXVirtualDevice> FRoots;
  std::vector<TGXFileSystemPackage> FPackages;
};

// ---- "--root NAME=DIR" ----

struct TGXRootOption {
  std::string Name;
  std::string Folder;  // as given; empty removes the root
};

// The roots every program maps at start-up; "--root" names one of them.
inline constexpr const char* GXStandardRoots[] = {
    "Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"};

// Parses "NAME=DIR". Raises EInvalidParameter for text without '=' or with a name that is not
// one of the standard roots (compared ignoring case; the result carries the root's own spelling),
// so a typo never maps a root nothing reads.
TGXRootOption ParseRootOption(std::string_view text);
// Takes every "--root NAME=DIR" and "--root=NAME=DIR" out of args (the other arguments stay in
// order) and returns them in the order given. A "--root" without a value raises
// EInvalidParameter.
std::vector<TGXRootOption> TakeRootOptions(std::vector<std::string>& args);
// SetRoot for each option, in order, so a later option wins.
void ApplyRootOptions(TGXFileSystem& fileSystem, const std::vector<TGXRootOption>& options);

}  // namespace gx
