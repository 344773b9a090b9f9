#pragma once
// Importing XTrackCAD parameter files into the catalogue: read (RRTrackLibrary.h), convert
// (RRTrackLibraryConvert.h) and put the pieces into a user package through the database.
//
// The pieces go into "Gleise\<manufacturer>\<gauge>\<system>" of the package, as the base
// catalogue's track systems do; their asset identifiers are derived from the catalogue path
// (RRTrackAssetID), so importing the same file again replaces its entries instead of adding them
// a second time, and layouts that use the pieces find them again. The package is a new file
// (written complete or not at all), a package of the database, or a package file that is added
// to the database first; base packages are refused. Writing goes through the database's change
// writing, so a failure leaves every package file as it was.

#include <array>
#include <string>
#include <vector>

#include "app/RRTrackLibrary.h"
#include "app/RRTrackLibraryConvert.h"

namespace rr {

class TRRDatabase;

// What became of one parameter file.
struct TRRTrackImportFile {
  std::string File;
  // The file could not be read (German); then nothing else is set.
  std::string Error;
  TRRTrackLibraryEncoding Encoding = TRRTrackLibraryEncoding::Ascii;
  std::string Contents;
  int Definitions = 0;
  TRRTrackLibrarySkipped Skipped;
  std::vector<std::string> Notes;
  // Every definition in file order, imported (with description) or refused (with reason).
  std::vector<TRRTrackLibraryPiece> Pieces;
  std::array<int, RRTrackTypeCount> ImportedByType{};
  std::array<int, RRTrackRefusalCount> RefusedByKind{};
  int Imported() const;
  int Refused() const;
};

struct TRRTrackImportResult {
  std::vector<TRRTrackImportFile> Files;
  // The package written (a disk path); empty when nothing was written.
  std::string Package;
  bool Created = false;
  int Added = 0;
  int Replaced = 0;
  int Imported() const;
};

// Reads and converts the files (disk paths); a file that cannot be read is reported in its entry.
TRRTrackImportResult RRConvertTrackLibraryFiles(const std::vector<std::string>& files);

// Puts every converted piece of result into the package file (a disk path) and writes it; a new
// package is named packageName (the file's name without extension when empty). Raises
// EAssetError when the package cannot be read, is a base package or cannot be written; the
// package files are then as they were.
void RRImportTrackPieces(TRRDatabase& db, TRRTrackImportResult& result, const std::string& packageFile,
                         const std::string& packageName = {});

}  // namespace rr
