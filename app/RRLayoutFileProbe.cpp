#include "app/RRLayoutFileProbe.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "app/RREntitySerializer.h"
#include "app/RRProjectSerializer.h"
#include "engine/core/GXException.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStream.h"

namespace rr {

TRRLayoutFileProbe RRProbeLayoutFile(gx::TGXFileSystem& fileSystem, const std::string& file) {
  TRRLayoutFileProbe probe;
  const std::string disk = fileSystem.ResolvePath(file);
  struct stat st {};
  if (gx::TGXFileSystem::IsDiskPath(disk) && ::stat(disk.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    probe.Kind = TRRLayoutFileKind::Folder;
    return probe;
  }
  if (!fileSystem.FileExists(file)) {
    probe.Kind = TRRLayoutFileKind::Missing;
    return probe;
  }
  // Only the header is wanted: a file on disk gives its first 22 bytes, a packaged one (rare
  // here) comes whole from the file system.
  std::unique_ptr<gx::TGXStream> data;
  try {
    const std::string located = fileSystem.LocateFile(file);
    if (!located.empty())
      data = std::make_unique<gx::TGXFileStream>(located, gx::TGXFileStream::Mode::Read);
    else
      data = fileSystem.OpenFile(file);
  } catch (const std::exception& e) {
    probe.Kind = TRRLayoutFileKind::Unreadable;
    probe.Reason = e.what();
    return probe;
  }
  // The engine file header: id (2 bytes), class GUID (16), version (4).
  if (data->Size() < 22 || gx::ReadWord(*data) != gx::TGXSerializer::HeaderId) return probe;
  const gx::TGXGuid guid = gx::ReadGuid(*data);
  probe.Version = gx::ReadInteger(*data);
  if (guid == gx::TGXGuid::Parse(RRGuidProjectSerializer))
    probe.Kind = TRRLayoutFileKind::Project;
  else if (guid == gx::TGXGuid::Parse(RRGuidEntitySerializer))
    probe.Kind = TRRLayoutFileKind::ObjectFile;
  else if (guid == gx::TGXGuid::Parse(RRGuidEntitySerializer_10))
    probe.Kind = TRRLayoutFileKind::OldObjectFile;
  return probe;
}

std::string RRLayoutFileErrorLine(const std::string& file, const TRRLayoutFileProbe& probe,
                                  TRRExpectedFile expected) {
  const std::string name = "\"" + file + "\"";
  const bool objectsToo = expected == TRRExpectedFile::ProjectOrObjectFile;
  switch (probe.Kind) {
    case TRRLayoutFileKind::Missing:
      return name + " wurde nicht gefunden.";
    case TRRLayoutFileKind::Folder:
      return name + " ist ein Ordner, keine Datei.";
    case TRRLayoutFileKind::Unreadable:
      return name + " kann nicht gelesen werden (" + probe.Reason + ").";
    case TRRLayoutFileKind::Other:
      return name +
             (objectsToo ? " ist weder eine Projekt- noch eine Objektdatei." : " ist keine Projektdatei.");
    case TRRLayoutFileKind::ObjectFile:
    case TRRLayoutFileKind::OldObjectFile:
      if (!objectsToo) return name + " ist eine Objektdatei, keine Projektdatei.";
      if (probe.Kind == TRRLayoutFileKind::ObjectFile && probe.Version > RREntitySerializerVersion)
        return name + " wurde mit einer neueren Version erstellt.";
      break;
    case TRRLayoutFileKind::Project:
      if (probe.Version > RRProjectVersion) return name + " wurde mit einer neueren Version erstellt.";
      if (probe.Version < RRProjectMinVersion)
        return name + " wurde mit einer zu alten Version erstellt und kann nicht gelesen werden.";
      break;
  }
  return name + " ist beschädigt.";
}

std::string RRShortErrorText(std::exception_ptr e) {
  if (!e) return "Unbekannter Fehler.";
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    std::string text = x.what();
    // The report's texts keep "\r\n"; one line is wanted here.
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ' ';
    return text;
  } catch (...) {
    return "Unbekannter Fehler.";
  }
}

}  // namespace rr
