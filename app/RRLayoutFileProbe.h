#pragma once
// What kind of file a path names, judged from its engine file header before a reader runs, and
// the one line a command prints when a layout or object file cannot be used.

#include <cstdint>
#include <exception>
#include <string>

namespace gx {
class TGXFileSystem;
}

namespace rr {

enum class TRRLayoutFileKind {
  Missing,        // nothing at the path
  Folder,         // a folder, not a file
  Unreadable,     // exists but cannot be read (permissions, I/O)
  Project,        // a layout file (.vmp)
  ObjectFile,     // an object file (.vme) of the current form
  OldObjectFile,  // an object file of the old property-bag form
  Other           // some other file: no engine header, or another kind's
};

struct TRRLayoutFileProbe {
  TRRLayoutFileKind Kind = TRRLayoutFileKind::Other;
  int32_t Version = 0;  // the header's version (Project and ObjectFile)
  std::string Reason;   // the system's text for Unreadable
};

// Looks at the path (virtual or disk) through the file system: folder and existence on disk,
// then the first 22 bytes of the file (from disk or a mounted package).
TRRLayoutFileProbe RRProbeLayoutFile(gx::TGXFileSystem& fileSystem, const std::string& file);

// What the program expects of the file.
enum class TRRExpectedFile { Project, ProjectOrObjectFile };

// One German line naming the file and what is wrong with it: not found, a folder, unreadable, of
// another kind ("… ist keine Projektdatei."), made by a newer or too old version, or - when the
// header is sound and reading still failed (error, may be null) - damaged ("… ist beschädigt.").
std::string RRLayoutFileErrorLine(const std::string& file, const TRRLayoutFileProbe& probe,
                                  TRRExpectedFile expected);

// One line for an error that is not about one input file (a write that failed, an unexpected
// error): the exception's own text without the report's advice.
std::string RRShortErrorText(std::exception_ptr e);

}  // namespace rr
