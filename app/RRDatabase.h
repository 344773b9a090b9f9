#pragma once
// The asset database: the catalogue packages (".vma") the user places objects from.
//
// A package is a package archive (GXPackage.h) holding its catalogue in the entry "Info.dat" and
// the data files its descriptions refer to, each named by the 32 upper-case hex digits of the MD5
// of its content and referred to as "{package ID}\<digest>" below "Game:\". Every other entry is
// an additional file that is carried over when the package is rewritten.
//
// "Info.dat" (little-endian): package GUID; root node; Integer version (1201 written; 2, 1200
// and 1201 read); name, author, description (texts per language); Integer revision (1201 only).
// Node: name (texts per language); Integer description count; that many description records
// (RREntityDescription.h); Integer child count; that many nodes.
//
// The database finds the packages in "Game:\" and in the enabled watched folders, reads them in
// the order of their sorted file names (the first package with an identifier wins) and mounts
// each at "Game:\{ID}". Catalogue lookups search the packages in order, each tree depth first
// with a folder's own descriptions before its sub-folders.
//
// Writing never puts a package at risk: every changed package is written completely into a
// temporary file in its own folder, and only when all of them are complete are they renamed over
// the originals. A cancel or failure before that point removes the temporary files and leaves
// every package byte-identical and the catalogue in memory as it was.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/RRGlobal.h"
#include "app/RRUIService.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXGuid.h"
#include "engine/core/GXSerialization.h"

namespace gx {
class TGXPackageWriter;
}

namespace rr {

class TRRAsset;
class TRRDatabase;

inline constexpr const char* RRAssetInfoEntry = "Info.dat";
inline constexpr const char* RRAssetExtension = ".vma";
// The largest "Info.dat" read: real catalogues are a few hundred kilobytes, and packages are
// opened at every start, so a forged size must not cost seconds and gigabytes each time.
inline constexpr int64_t RRMaxAssetInfoSize = int64_t(64) << 20;
// The "Info.dat" version written; 2 and 1200 are read as well.
inline constexpr int32_t RRAssetVersion = 1201;
// Catalogue folders nested deeper than this are refused (the recursive reader's stack stays
// bounded on hostile input; real catalogues nest a handful of levels).
inline constexpr int RRMaxAssetNodeDepth = 128;
// The smallest node record: empty name (count), description count, child count.
inline constexpr int64_t RRMinAssetNodeSize = 12;

inline constexpr const char* RRTextIncompatibleAsset = "Incompatible asset";
inline constexpr const char* RRTextUnknownAssetVersion = "Unknown asset version";
inline constexpr const char* RRTextMissingAssetInfo = "Package without catalogue (Info.dat)";
inline constexpr const char* RRTextAssetTooDeep = "Catalogue folders nested too deeply";
inline constexpr const char* RRTextDuplicateAsset = "Package identifier already present";
inline constexpr const char* RRTextWriteDatabaseError = "Fehler beim Schreiben der Datenbankdateien.";
inline constexpr const char* RRTextWriteTemporaryError = "Fehler beim Schreiben der temporären Datenbankdateien.";
inline constexpr const char* RRCaptionWriteDatabase = "Schreibe Datenbankänderungen, bitte warten...";
inline constexpr const char* RRCaptionSaveDatabase = "Datenbank speichern";
inline constexpr const char* RRTextNewFolder = "Neues Verzeichnis";
inline constexpr const char* RRUnnamedPackage = "Unbenannt";
inline constexpr const char* RRReadOnlySuffix = " (schreibgeschützt)";
inline constexpr const char* RRTemporarySuffix = " (temporär)";

// ---- catalogue editing ----
inline constexpr const char* RRCaptionAddEntry = "Objekt hinzufügen";
inline constexpr const char* RRTextReplaceEntry =
    "Möchten Sie das ausgewählte Objekt in der Datenbank ersetzen anstatt es neu hinzuzufügen?\r\n\r\nHinweis: Alle "
    "Objekte im Projekt, die von dem zu ersetzenden Objekt abstammen, werden automatisch aktualisiert.";
inline constexpr const char* RRCaptionRemoveEntry = "Objekt entfernen";
inline constexpr const char* RRTextRemoveUsedEntry =
    "Das Objekt \"%s\" wird zur Zeit %d Mal im Projekt verwendet.\r\n\r\nWollen Sie das Objekt unwiderruflich aus "
    "dem Projekt und der Datenbank entfernen?";
inline constexpr const char* RRTextRemoveEntry = "Wollen Sie das Objekt \"%s\" unwiderruflich aus der Datenbank entfernen?";
inline constexpr const char* RRTextFolderUsesOne =
    "Das Verzeichnis \"%s\" enthält 1 Objekt dass zur Zeit im Projekt verwendet wird.";
inline constexpr const char* RRTextFolderUsesMany =
    "Das Verzeichnis \"%s\" enthält %d Objekte die zur Zeit im Projekt verwendet werden.";
inline constexpr const char* RRTextRemoveUsedFolder =
    "\r\n\r\nWollen Sie das Verzeichnis mit allen Unterverzeichnissen und Objekten unwiderruflich aus dem Projekt "
    "und der Datenbank entfernen?";
inline constexpr const char* RRTextRemoveEmptyFolder =
    "Wollen Sie das Verzeichnis \"%s\" unwiderruflich aus der Datenbank entfernen?";
inline constexpr const char* RRTextRemoveFolder =
    "Wollen Sie das Verzeichnis \"%s\" mit allen Unterverzeichnissen und Objekten unwiderruflich aus der Datenbank "
    "entfernen?";
// Refusals of edits that would break the catalogue (shown by the catalogue view).
inline constexpr const char* RRTextReadOnlyPackage =
    "Das Basispaket ist schreibgeschützt und kann nicht bearbeitet werden.";
inline constexpr const char* RRTextEmptyName = "Der Name darf nicht leer sein.";
inline constexpr const char* RRTextMoveIntoItself =
    "Ein Verzeichnis kann nicht in sich selbst oder eines seiner Unterverzeichnisse verschoben werden.";
inline constexpr const char* RRTextFixedEntry = "Dieses Objekt kann nicht in die Datenbank aufgenommen werden.";
inline constexpr const char* RRTextNotInCatalogue = "Das Objekt gehört zu keinem Datenbankpaket.";

// ---- close query ----
inline constexpr const char* RRTextSaveDatabaseQuestion =
    "Möchten Sie die Datenbankänderungen dauerhaft auf der Festplatte speichern?\r\n\r\nHinweis: Wenn Sie \"Nein\" "
    "wählen, gehen alle Änderungen seit dem letzten Start unwiderruflich verloren.";
inline constexpr const char* RRTextStoreDownloadsQuestion =
    "Möchten Sie die automatisch aus dem Internet heruntergeladenen Datenbankpakete dauerhaft auf der Festplatte "
    "speichern?";
inline constexpr const char* RRCaptionStoreDownloads = "Datenbankpakete speichern";
inline constexpr const char* RRTextStoreDownloadsFolder = "Geben Sie den Speicherort für die Datenbankpakete an.";

enum class TRRWriteResult { Written, Cancelled, Failed };
// What the user chose when an entity goes into the catalogue next to a selected entry.
enum class TRRAddMode { Add, Replace, Cancel };

// How the catalogue editing learns about the open layout's entities that came from catalogue
// entries. The project implements it; without a project (null) nothing is in use.
class IRRAssetUsage {
 public:
  virtual ~IRRAssetUsage() = default;
  // The number of entities that carry one of the asset identifiers.
  virtual int CountUsers(const std::vector<gx::TGXGuid>& assetIDs) = 0;
  // Removes those entities from the layout.
  virtual void RemoveUsers(const std::vector<gx::TGXGuid>& assetIDs) = 0;
  // The catalogue entry assetID was replaced by replacement: every entity carrying assetID is
  // rebuilt from it (the history is cleared and the clipboard forgets the identifier).
  virtual void ReplaceUsers(const gx::TGXGuid& assetID, const TRREntityDescription& replacement) = 0;
};

// A package that cannot be read or written: the reason as the message.
class EAssetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---- catalogue folder ----

class TRRAssetNode {
 public:
  TRRAssetNode(TRRAsset* asset, TRRAssetNode* parent) : FAsset(asset), FParent(parent) {}
  TRRAssetNode(const TRRAssetNode&) = delete;
  TRRAssetNode& operator=(const TRRAssetNode&) = delete;

  gx::TGXLocalizedString& Name() { return FName; }
  const gx::TGXLocalizedString& Name() const { return FName; }
  TRRAsset* Asset() const { return FAsset; }
  TRRAssetNode* Parent() const { return FParent; }

  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  TRRAssetNode* Child(int index) const { return FChildren.at(static_cast<size_t>(index)).get(); }
  // A new, empty sub-folder at the end.
  TRRAssetNode* AddChild();
  // The sub-folder of that name (ignoring case); a new one named so (German text) when none is.
  TRRAssetNode* FindOrAddChild(const std::string& name);
  // A new sub-folder named "Neues Verzeichnis", or "Neues Verzeichnis (n)" with the first n that
  // makes the name unique among the sub-folders (ignoring case).
  TRRAssetNode* AddNewFolder();
  void DeleteChild(int index);
  // Position among the parent's sub-folders, or -1 for a root.
  int IndexInParent() const;
  // Whether other is this folder or lies below it.
  bool Contains(const TRRAssetNode* other) const;

  const TRREntityDescriptionList& Descriptions() const { return FDescriptions; }
  // Takes the description (it must have no parent). A zero asset identifier, on it or on any of
  // its descendants, is replaced by a fresh GUID: catalogue entries are found by it.
  TRREntityDescription* AddDescription(std::unique_ptr<TRREntityDescription> description);
  void DeleteDescription(int index) { FDescriptions.Delete(index); }

 private:
  friend class TRRDatabase;
  // Moving folders between packages: the folder and everything below it change package.
  void SetAsset(TRRAsset* asset);
  TRREntityDescriptionList& EditDescriptions() { return FDescriptions; }
  std::vector<std::unique_ptr<TRRAssetNode>>& EditChildren() { return FChildren; }
  void SetParent(TRRAssetNode* parent) { FParent = parent; }

 public:

  void Read(gx::TGXStream& s, int depth);
  void Write(gx::TGXStream& s) const;

 private:
  TRRAsset* FAsset;
  TRRAssetNode* FParent;
  gx::TGXLocalizedString FName;
  std::vector<std::unique_ptr<TRRAssetNode>> FChildren;
  TRREntityDescriptionList FDescriptions{true};
};

// An entry of the archive that is neither the catalogue nor a data file.
struct TRRAdditionalFile {
  std::string DiskPath;   // empty: the entry comes from the package itself
  std::string EntryName;  // name in the archive
};

// ---- package ----

class TRRAsset {
 public:
  // A new package: fresh identifier, revision 1, empty catalogue, no file yet.
  explicit TRRAsset(TRRDatabase* database);
  // Reads the package file (POSIX path). Raises EAssetError or the reader's errors.
  TRRAsset(TRRDatabase* database, const std::string& fileName, bool temporary);
  ~TRRAsset();
  TRRAsset(const TRRAsset&) = delete;
  TRRAsset& operator=(const TRRAsset&) = delete;

  // "Game:\{ID}" through the database's file system.
  void Mount();
  void Unmount();
  bool Mounted() const { return FMounted; }

  // Writes the whole package to file (a complete file or none: the writer replaces the file only
  // when it is finished). Data files are stored once under their digest; files of the shared
  // base package stay there. The revision in memory becomes the one written; with adoptName the
  // package's file becomes file and it counts as unmodified. On failure nothing in memory
  // changes.
  void WritePackage(const std::string& file, bool adoptName);
  void MarkModified();
  // One of the two packages the program ships (read-only in the catalogue).
  bool IsBasePackage() const;

  TRRDatabase* Database() const { return FDatabase; }
  const std::string& FileName() const { return FFileName; }
  bool Temporary() const { return FTemporary; }
  const gx::TGXGuid& Identifier() const { return FIdentifier; }
  // Only before the package is mounted (generated packages carry fixed identifiers).
  void SetIdentifier(const gx::TGXGuid& id) { FIdentifier = id; }
  int32_t Revision() const { return FRevision; }
  TRRAssetNode& Root() { return *FRoot; }
  const TRRAssetNode& Root() const { return *FRoot; }
  std::vector<TRRAdditionalFile>& AdditionalFiles() { return FAdditionalFiles; }
  gx::TGXLocalizedString& Name() { return FName; }
  const gx::TGXLocalizedString& Name() const { return FName; }
  gx::TGXLocalizedString& Author() { return FAuthor; }
  const gx::TGXLocalizedString& Author() const { return FAuthor; }
  gx::TGXLocalizedString& Description() { return FDescription; }
  const gx::TGXLocalizedString& Description() const { return FDescription; }
  bool Modified() const { return FModified; }

  // "Info.dat" alone, for readers and tests.
  void ReadInfo(gx::TGXStream& s);
  void WriteInfo(gx::TGXStream& s, int32_t revision) const;

 private:
  friend class TRRDatabase;
  // Names rewritten while writing, with their previous values, so that a write that is not kept
  // can be taken back.
  struct TNameChanges {
    std::vector<std::pair<TRRAssetFileName*, TRRAssetFileName>> Names;
    // Companion lists of models from disk, replaced by the companions found beside them.
    std::vector<std::pair<TRRModelFileName*, std::vector<TRRAssetFileName>>> Companions;
  };
  void WriteArchive(const std::string& file, TNameChanges& changes);
  // The same into a stream (a replacement that the database commits with the others).
  void WriteArchive(gx::TGXStream& stream, TNameChanges& changes);
  void WriteArchiveTo(gx::TGXPackageWriter& writer, TNameChanges& changes);
  static void Restore(TNameChanges& changes);

  TRRDatabase* FDatabase;
  std::string FFileName;
  bool FTemporary = false;
  gx::TGXGuid FIdentifier;
  bool FMounted = false;
  int32_t FRevision = 1;
  std::unique_ptr<TRRAssetNode> FRoot;
  std::vector<TRRAdditionalFile> FAdditionalFiles;
  gx::TGXLocalizedString FName;
  gx::TGXLocalizedString FAuthor;
  gx::TGXLocalizedString FDescription;
  bool FModified = false;
};

// A package file that could not be used, and why.
struct TRRAssetProblem {
  std::string FileName;
  std::string Reason;
};

// ---- database ----

class TRRDatabase {
 public:
  // Finds and reads the packages of "Game:\" and of every enabled path. Unreadable and duplicate
  // packages are skipped and listed in Problems().
  TRRDatabase(gx::TGXFileSystem& fileSystem, const std::vector<TRRAssetPath>& assetPaths);
  // Deletes the files of packages still temporary and unmounts every package.
  ~TRRDatabase();
  TRRDatabase(const TRRDatabase&) = delete;
  TRRDatabase& operator=(const TRRDatabase&) = delete;

  gx::TGXFileSystem& FileSystem() const { return FFileSystem; }

  // Reads, checks and mounts the package. False when it is unreadable or its identifier is
  // present already (the reason is added to Problems()).
  bool AddPackage(const std::string& fileName, bool temporary);
  // Appends a package made in memory and mounts it when it has a file.
  TRRAsset* AppendPackage(std::unique_ptr<TRRAsset> asset);
  // A new package (fresh identifier, revision 1) with the three texts, written at once to file
  // (a disk path) and added. When writing fails no file is left and the error is passed on. The
  // caller adds the file's folder to the watched folders.
  TRRAsset* CreatePackage(const std::string& file, const std::string& name, const std::string& author,
                          const std::string& description);

  // The package of that file: the one read already, else the file read and added when it exists;
  // null when there is no such file. Raises EAssetError when the file is no package file or
  // cannot be read.
  TRRAsset* OpenPackageFile(const std::string& file);

  int Count() const { return static_cast<int>(FPackages.size()); }
  TRRAsset* Item(int index) const { return FPackages.at(static_cast<size_t>(index)).get(); }
  TRRAsset* FindAsset(const gx::TGXGuid& identifier) const;
  // File names compared ignoring case.
  TRRAsset* FindAssetByFile(std::string_view fileName) const;
  const std::vector<TRRAssetProblem>& Problems() const { return FProblems; }

  // The asset identifier of the first catalogue description whose catalogue path equals path
  // ignoring case; all zero when there is none.
  gx::TGXGuid FindAssetIDByPath(std::string_view path) const;
  // Appends (without owning) every catalogue description of the class or a subclass.
  void CollectCatalogByClass(const TRRDescriptionClass& cls, TRREntityDescriptionList& list) const;
  void CollectCatalogByAsset(const gx::TGXGuid& identifier, TRREntityDescriptionList& list) const;
  // Gives the description (and each of its children) the catalogue data of the first catalogue
  // entry with its asset identifier.
  void RefreshDescription(TRREntityDescription& description) const;
  void RefreshDescriptions(const TRREntityDescriptionList& list) const;

  bool IsModified() const;
  bool HasTemporary() const;
  // Called by packages whose catalogue changed: lookups are rebuilt on next use.
  void CatalogueChanged() { FIndexValid = false; }

  // Writes every modified package (progress and cancel through progress, which may be null).
  // Returns false when cancelled: then no package file changed and no temporary file remains.
  // A write failure raises EAssetError with "Fehler beim Schreiben der Datenbankdateien." and
  // leaves every package as it was; afterwards every package is read again from its file.
  bool WriteChanges(IRRProgress* progress);
  // WriteChanges on a worker thread while this thread shows a cancellable progress display
  // through ui (values forwarded when they change) and keeps away from the database. A failure
  // is shown to the user with its reason and answered Failed, so the caller can ask again
  // instead of going on as if the changes were safe.
  TRRWriteResult WriteChangesWithProgress(IRRUIService& ui);
  // Moves every temporary package into folder under its sanitised name ("Unbenannt" when it has
  // none; "Name(2).vma" and so on when taken) and adds it again as a stored package. Raises
  // EAssetError with "Fehler beim Schreiben der temporären Datenbankdateien." when a file cannot
  // be moved; the packages are present afterwards either way.
  void StoreTemporary(const std::string& folder);

  // ---- catalogue editing ----
  // Every edit marks the package(s) it touches modified, so WriteChanges writes them; the base
  // packages refuse edits (EAssetError with RRTextReadOnlyPackage), as do names that are empty
  // after trimming (RRTextEmptyName).

  // Called whenever IsModified or HasTemporary may have changed (the save action follows them).
  void SetChangeHandler(std::function<void()> handler) { FOnChange = std::move(handler); }
  void StateChanged() {
    if (FOnChange) FOnChange();
  }
  void SetPackageProperties(TRRAsset& asset, const std::string& name, const std::string& author,
                            const std::string& description);
  void RenameFolder(TRRAssetNode& folder, const std::string& name);
  void RenameEntry(TRREntityDescription& entry, const std::string& name);
  // A new sub-folder ("Neues Verzeichnis", made unique).
  TRRAssetNode* AddFolder(TRRAssetNode& parent);
  // The folder and position that hold a catalogue entry; null folder when none does.
  std::pair<TRRAssetNode*, int> FindEntry(const TRREntityDescription* entry) const;

  // Whether an entity's description may replace a selected catalogue entry: same class, and
  // neither is a group.
  static bool CanReplace(const TRREntityDescription& entry, const TRREntityDescription& candidate);
  // Asks whether to replace the selected catalogue entry (when one is selected and CanReplace
  // holds; otherwise Add without a question). Cancel is the default button.
  static TRRAddMode QueryAddMode(IRRUIService& ui, const TRREntityDescription* selectedEntry,
                                 const TRREntityDescription& candidate);
  // Puts an entity's description into the catalogue as a new entry at the end of folder: fixed
  // descriptions inside are dropped, the entry and each of its descendants get fresh asset
  // identifiers, and ID, lock, position and rotation are reset. A fixed description itself is
  // refused (RRTextFixedEntry).
  TRREntityDescription* AddEntry(TRRAssetNode& folder, std::unique_ptr<TRREntityDescription> description);
  // The same, but the new entry keeps the old one's asset identifier and takes its place (or is
  // appended to fallback when the old entry is gone); the layout's users are rebuilt from it
  // through usage.
  TRREntityDescription* ReplaceEntry(const gx::TGXGuid& oldAssetID, TRRAssetNode& fallback,
                                     std::unique_ptr<TRREntityDescription> description, IRRAssetUsage* usage);
  // Asks (RRTextRemoveUsedEntry or RRTextRemoveEntry, No preselected) and on Yes removes the
  // layout's users and the entry. True when removed.
  bool RemoveEntry(TRREntityDescription& entry, IRRUIService& ui, IRRAssetUsage* usage);
  // The same for a folder with everything below it; a package's root folder is not removed.
  bool RemoveFolder(TRRAssetNode& folder, IRRUIService& ui, IRRAssetUsage* usage);
  // Moves an entry to target (at index, -1 = the end), also into another package.
  void MoveEntry(TRREntityDescription& entry, TRRAssetNode& target, int index = -1);
  // Moves a folder below target (at index, -1 = the end); never into itself.
  void MoveFolder(TRRAssetNode& folder, TRRAssetNode& target, int index = -1);

  // ---- close query ----
  // Asks whether to write the changes (Yes/No/Cancel) and writes them with a progress display; a
  // write that fails or is cancelled is reported and the question asked again, so changes are
  // only lost by the user's "Nein". Then asks whether to keep downloaded packages: Yes asks for
  // a folder, hands it to addAssetPath (the watched folders) and moves the packages there; a
  // failure is reported and the question asked again. False when closing must not go on.
  bool CloseQuery(IRRUIService& ui, const std::function<void(const std::string& folder)>& addAssetPath);

  // Takes the package out of the database (unmounted; its file is deleted when temporary).
  void RemovePackage(TRRAsset* asset);

  // The file name a package name gives: separators, ':', control characters and ".." removed,
  // blanks trimmed, "Unbenannt" when nothing is left.
  static std::string SanitizePackageName(std::string_view name);

 private:
  struct TIndex {
    std::unordered_map<std::string, gx::TGXGuid> ByPath;  // folded path -> first asset ID
    std::unordered_multimap<gx::TGXGuid, TRREntityDescription*> ByAsset;
    std::vector<TRREntityDescription*> All;  // search order
  };
  const TIndex& Index() const;
  // Unmounts and frees every package, then adds the files again (same order, same flags).
  void ReloadAll(std::vector<std::pair<std::string, bool>> files);

  gx::TGXFileSystem& FFileSystem;
  std::vector<std::unique_ptr<TRRAsset>> FPackages;
  std::vector<TRRAssetProblem> FProblems;
  mutable TIndex FIndex;
  mutable bool FIndexValid = false;
  std::function<void()> FOnChange;

  static void CheckEditable(const TRRAsset* asset);
};

// Runs work on a worker thread while this thread shows a progress display through ui (caption,
// text; values forwarded only when they change; Cancel passed on as a stop request) and waits.
// An exception of the work is raised again here once the worker has ended.
void RRRunWithProgress(IRRUIService& ui, const std::string& caption, const std::string& text, bool cancellable,
                       const std::function<void(IRRProgress&)>& work);

// The data file name of content: 32 upper-case hex digits of its MD5.
std::string RRAssetDataName(const void* data, size_t size);
// Whether an entry name is such a name (32 hex digits of either case).
bool RRIsAssetDataName(std::string_view name);

}  // namespace rr
