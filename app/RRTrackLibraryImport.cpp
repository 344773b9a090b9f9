#include "app/RRTrackLibraryImport.h"

#include <filesystem>
#include <system_error>

#include "app/RRDatabase.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

// Removes the entry with the identifier from the tree; the folder that held it, or null.
TRRAssetNode* RemoveEntry(TRRAssetNode& node, const gx::TGXGuid& id) {
  const TRREntityDescriptionList& list = node.Descriptions();
  for (int i = 0; i < list.Count(); ++i)
    if (list.Item(i)->AssetID() == id) {
      node.DeleteDescription(i);
      return &node;
    }
  for (int i = 0; i < node.ChildCount(); ++i)
    if (TRRAssetNode* found = RemoveEntry(*node.Child(i), id)) return found;
  return nullptr;
}

std::string AbsolutePath(const std::string& file) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(file, ec);
  return (ec ? std::filesystem::path(file) : p).lexically_normal().string();
}

}  // namespace

int TRRTrackImportFile::Imported() const {
  int n = 0;
  for (int c : ImportedByType) n += c;
  return n;
}

int TRRTrackImportFile::Refused() const {
  int n = 0;
  for (int c : RefusedByKind) n += c;
  return n;
}

int TRRTrackImportResult::Imported() const {
  int n = 0;
  for (const TRRTrackImportFile& f : Files) n += f.Imported();
  return n;
}

TRRTrackImportResult RRConvertTrackLibraryFiles(const std::vector<std::string>& files) {
  TRRTrackImportResult result;
  for (const std::string& file : files) {
    TRRTrackImportFile entry;
    entry.File = file;
    try {
      TRRTrackLibraryFile library = RRReadTrackLibraryFile(file);
      entry.Encoding = library.Encoding;
      entry.Contents = library.Contents;
      entry.Definitions = static_cast<int>(library.Definitions.size());
      entry.Skipped = library.Skipped;
      entry.Notes = library.Notes;
      entry.Pieces = RRConvertTrackLibrary(library);
      for (const TRRTrackLibraryPiece& p : entry.Pieces) {
        if (p.Description)
          ++entry.ImportedByType[static_cast<size_t>(p.Description->Type())];
        else
          ++entry.RefusedByKind[static_cast<size_t>(p.Refusal)];
      }
    } catch (const ETrackLibraryError& e) {
      entry.Error = e.what();
    } catch (const std::bad_alloc&) {
      entry.Error = "Die Parameterdatei \"" + file + "\" ist zu groß für den Speicher.";
    }
    result.Files.push_back(std::move(entry));
  }
  return result;
}

void RRImportTrackPieces(TRRDatabase& db, TRRTrackImportResult& result, const std::string& packageFile,
                         const std::string& packageName) {
  const std::string file = AbsolutePath(packageFile);
  TRRAsset* asset = db.OpenPackageFile(file);
  std::error_code ec;
  if (asset && asset->IsBasePackage()) throw EAssetError(RRTextReadOnlyPackage);

  std::unique_ptr<TRRAsset> created;
  if (!asset) {
    created = std::make_unique<TRRAsset>(&db);
    std::string name = packageName.empty() ? std::filesystem::path(file).stem().string() : packageName;
    created->Name().SetUserText(name);
    created->Description().SetUserText("Aus XTrackCAD-Parameterdateien eingelesene Gleise.");
  }
  TRRAsset& target = created ? *created : *asset;
  TRRAssetNode* tracks = target.Root().FindOrAddChild(RRTrackLibraryFolder);
  int added = 0, replaced = 0;
  for (const TRRTrackImportFile& f : result.Files)
    for (const TRRTrackLibraryPiece& p : f.Pieces) {
      if (!p.Description) continue;
      std::unique_ptr<TRREntityDescription> copy = p.Description->Clone();
      TRRAssetNode* folder = RemoveEntry(target.Root(), copy->AssetID());
      if (folder)
        ++replaced;
      else
        ++added;
      if (!folder)
        folder = tracks->FindOrAddChild(p.Manufacturer)
                     ->FindOrAddChild(RRTrackSystemName(p.TrackWidth))
                     ->FindOrAddChild(p.SystemName);
      folder->AddDescription(std::move(copy));
    }
  if (created) {
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec) &&
        !std::filesystem::create_directories(folder, ec))
      throw EAssetError("Der Ordner \"" + folder.string() + "\" kann nicht angelegt werden.");
    // Complete or not at all: the writer replaces the file only with the finished package.
    created->WritePackage(file, true);
    db.AppendPackage(std::move(created));
    result.Created = true;
  } else {
    target.MarkModified();
    db.CatalogueChanged();
    db.WriteChanges(nullptr);
  }
  result.Package = file;
  result.Added = added;
  result.Replaced = replaced;
}

}  // namespace rr
