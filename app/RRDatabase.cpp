#include "app/RRDatabase.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>

#include "app/RRTextureConverter.h"
#include "app/entities/RREntityGroup.h"
#include "engine/core/GXAtomicFile.h"
#include "engine/core/GXDigest.h"
#include "engine/core/GXPackage.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

namespace fs = std::filesystem;

bool IsBaseIdentifier(const gx::TGXGuid& id) {
  static const gx::TGXGuid base1 = gx::TGXGuid::Parse(RRBasePackage1);
  static const gx::TGXGuid base2 = gx::TGXGuid::Parse(RRBasePackage2);
  return id == base1 || id == base2;
}

void GiveIdentifiers(TRREntityDescription& d) {
  if (d.AssetID().IsNull()) d.SetAssetID(gx::TGXGuid::NewGuid());
  for (int i = 0; i < d.ChildCount(); ++i) GiveIdentifiers(*d.Child(i));
}

// The ".vma" files directly in folder (extension compared ignoring case).
void CollectPackageFiles(const std::string& folder, std::vector<std::string>& out) {
  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec)) return;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    if (!it->is_regular_file(ec2)) continue;
    std::string name = it->path().filename().string();
    if (name.size() > 4 && gx::SameText(std::string_view(name).substr(name.size() - 4), RRAssetExtension))
      out.push_back(it->path().string());
  }
}

void Visit(const TRRAssetNode& node, const std::function<void(TRREntityDescription&)>& f) {
  for (TRREntityDescription* d : node.Descriptions()) f(*d);
  for (int i = 0; i < node.ChildCount(); ++i) Visit(*node.Child(i), f);
}

void VisitTree(TRREntityDescription& d, const std::function<void(TRREntityDescription&)>& f) {
  f(d);
  for (int i = 0; i < d.ChildCount(); ++i) VisitTree(*d.Child(i), f);
}

}  // namespace

std::string RRAssetDataName(const void* data, size_t size) { return gx::GXDigestToHex(gx::GXMD5(data, size)); }

bool RRIsAssetDataName(std::string_view name) {
  return name.size() == 32 && std::all_of(name.begin(), name.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

// ---- node ---------------------------------------------------------------------------------------

TRRAssetNode* TRRAssetNode::AddChild() {
  FChildren.push_back(std::make_unique<TRRAssetNode>(FAsset, this));
  return FChildren.back().get();
}

TRRAssetNode* TRRAssetNode::FindOrAddChild(const std::string& name) {
  for (const auto& c : FChildren)
    if (gx::SameText(c->Name().GetText(), name)) return c.get();
  TRRAssetNode* node = AddChild();
  node->Name().SetText(gx::GX_LANG_GERMAN, name, true);
  return node;
}

TRRAssetNode* TRRAssetNode::AddNewFolder() {
  auto taken = [this](const std::string& name) {
    return std::any_of(FChildren.begin(), FChildren.end(),
                       [&](const auto& c) { return gx::SameText(c->Name().GetText(), name); });
  };
  std::string name = RRTextNewFolder;
  for (int n = 1; taken(name); ++n) name = std::string(RRTextNewFolder) + " (" + std::to_string(n) + ")";
  TRRAssetNode* node = AddChild();
  node->Name().SetUserText(name);
  return node;
}

void TRRAssetNode::DeleteChild(int index) { FChildren.erase(FChildren.begin() + index); }

int TRRAssetNode::IndexInParent() const {
  if (!FParent) return -1;
  for (int i = 0; i < FParent->ChildCount(); ++i)
    if (FParent->Child(i) == this) return i;
  return -1;
}

bool TRRAssetNode::Contains(const TRRAssetNode* other) const {
  for (; other; other = other->Parent())
    if (other == this) return true;
  return false;
}

void TRRAssetNode::SetAsset(TRRAsset* asset) {
  FAsset = asset;
  for (auto& c : FChildren) c->SetAsset(asset);
}

TRREntityDescription* TRRAssetNode::AddDescription(std::unique_ptr<TRREntityDescription> description) {
  GiveIdentifiers(*description);
  TRREntityDescription* d = description.get();
  FDescriptions.Add(std::move(description));
  return d;
}

void TRRAssetNode::Read(gx::TGXStream& s, int depth) {
  if (depth > RRMaxAssetNodeDepth) throw EAssetError(RRTextAssetTooDeep);
  FName.ReadLocalized(s);
  int32_t count = gx::ReadCount(s, RRMinDescriptionRecordSize);
  for (int32_t i = 0; i < count; ++i) FDescriptions.Add(TRREntityDescription::ReadRecord(s));
  // A track piece's catalogue path gains its number when it has fewer than five parts; that
  // joins here with the track kind.
  count = gx::ReadCount(s, RRMinAssetNodeSize);
  for (int32_t i = 0; i < count; ++i) {
    auto child = std::make_unique<TRRAssetNode>(FAsset, this);
    child->Read(s, depth + 1);
    FChildren.push_back(std::move(child));
  }
}

void TRRAssetNode::Write(gx::TGXStream& s) const {
  FName.WriteLocalized(s);
  gx::WriteInteger(s, FDescriptions.Count());
  for (TRREntityDescription* d : FDescriptions) TRREntityDescription::WriteRecord(*d, s);
  gx::WriteInteger(s, ChildCount());
  for (const auto& c : FChildren) c->Write(s);
}

// ---- package ------------------------------------------------------------------------------------

TRRAsset::TRRAsset(TRRDatabase* database)
    : FDatabase(database), FIdentifier(gx::TGXGuid::NewGuid()), FRoot(std::make_unique<TRRAssetNode>(this, nullptr)) {}

TRRAsset::TRRAsset(TRRDatabase* database, const std::string& fileName, bool temporary)
    : FDatabase(database), FFileName(fileName), FTemporary(temporary),
      FRoot(std::make_unique<TRRAssetNode>(this, nullptr)) {
  gx::TGXPackageReader reader(fileName);
  // Without its catalogue a package has no identifier: mounting it under the zero GUID would
  // shadow nothing useful and hide the damage, so it counts as unreadable.
  std::unique_ptr<gx::TGXMemoryStream> info = reader.Extract(RRAssetInfoEntry, RRMaxAssetInfoSize);
  if (!info) throw EAssetError(RRTextMissingAssetInfo);
  ReadInfo(*info);
  for (int i = 0; i < reader.FileCount(); ++i) {
    const std::string& name = reader.FileName(i);
    if (gx::SameText(name, RRAssetInfoEntry) || RRIsAssetDataName(name)) continue;
    FAdditionalFiles.push_back({std::string(), name});
  }
}

TRRAsset::~TRRAsset() { Unmount(); }

void TRRAsset::ReadInfo(gx::TGXStream& s) {
  gx::TGXGuid id = gx::ReadGuid(s);
  auto root = std::make_unique<TRRAssetNode>(this, nullptr);
  root->Read(s, 0);
  int32_t version = gx::ReadInteger(s);
  if (version == 2 && IsBaseIdentifier(id)) throw EAssetError(RRTextIncompatibleAsset);
  if (version != 2 && version != 1200 && version != 1201) throw EAssetError(RRTextUnknownAssetVersion);
  gx::TGXLocalizedString name, author, description;
  name.ReadLocalized(s);
  author.ReadLocalized(s);
  description.ReadLocalized(s);
  int32_t revision = version == 1201 ? gx::ReadInteger(s) : 1;
  FIdentifier = id;
  FRoot = std::move(root);
  FName = std::move(name);
  FAuthor = std::move(author);
  FDescription = std::move(description);
  FRevision = revision;
}

void TRRAsset::WriteInfo(gx::TGXStream& s, int32_t revision) const {
  gx::WriteGuid(s, FIdentifier);
  FRoot->Write(s);
  gx::WriteInteger(s, RRAssetVersion);
  FName.WriteLocalized(s);
  FAuthor.WriteLocalized(s);
  FDescription.WriteLocalized(s);
  gx::WriteInteger(s, revision);
}

void TRRAsset::Mount() {
  if (FMounted || FFileName.empty()) return;
  FDatabase->FileSystem().MountPackage(FFileName, std::string(RRGameRoot) + FIdentifier.ToString());
  FMounted = true;
}

void TRRAsset::Unmount() {
  if (!FMounted) return;
  FMounted = false;
  FDatabase->FileSystem().UnmountPackage(FFileName);
}

bool TRRAsset::IsBasePackage() const { return IsBaseIdentifier(FIdentifier); }

void TRRAsset::MarkModified() {
  FModified = true;
  FDatabase->CatalogueChanged();
  FDatabase->StateChanged();
}

void TRRAsset::Restore(TNameChanges& changes) {
  // Names first: some of them lie in companion lists that are put back afterwards.
  for (auto it = changes.Names.rbegin(); it != changes.Names.rend(); ++it) *it->first = it->second;
  for (auto it = changes.Companions.rbegin(); it != changes.Companions.rend(); ++it) it->first->Companions = it->second;
  changes.Names.clear();
  changes.Companions.clear();
}

void TRRAsset::WriteArchive(const std::string& file, TNameChanges& changes) {
  gx::TGXPackageWriter writer(file);
  WriteArchiveTo(writer, changes);
}

void TRRAsset::WriteArchive(gx::TGXStream& stream, TNameChanges& changes) {
  gx::TGXPackageWriter writer(stream);
  WriteArchiveTo(writer, changes);
}

void TRRAsset::WriteArchiveTo(gx::TGXPackageWriter& writer, TNameChanges& changes) {
  gx::TGXFileSystem& fileSystem = FDatabase->FileSystem();
  const std::string ownPrefix = FIdentifier.ToString() + "\\";
  const std::string sharedPrefix = std::string(RRBasePackage2) + "\\";

  // Stores the named file under its digest and points the name at the stored entry.
  auto store = [&](TRRAssetFileName& name, int levelCode) {
    if (name.FileName.empty() && name.RelativeName.empty()) return;
    if (name.RelativeName.size() >= sharedPrefix.size() &&
        gx::SameText(std::string_view(name.RelativeName).substr(0, sharedPrefix.size()), sharedPrefix))
      return;  // the shared base package is always there; its files are not copied
    std::unique_ptr<gx::TGXMemoryStream> data =
        fileSystem.OpenFile(name.RelativeName.empty() ? name.FileName : std::string(RRGameRoot) + name.RelativeName);
    std::string entry = RRAssetDataName(data->Memory(), data->Data().size());
    if (!writer.Contains(entry)) writer.AddFile(*data, entry, levelCode);
    changes.Names.emplace_back(&name, name);
    name.RelativeName = ownPrefix + entry;
  };

  Visit(*FRoot, [&](TRREntityDescription& top) {
    VisitTree(top, [&](TRREntityDescription& d) {
      TRRPropertyAccessList access;
      d.GetPropertyAccess(access);
      for (auto* a : access.OfType<TRRAssetFileNameAccess>()) store(a->Value(), 3);
      for (auto* m : access.OfType<TRRModelFileNameAccess>()) {
        TRRModelFileName& model = m->Value();
        bool fresh = false;
        if (model.Model.RelativeName.empty() && gx::TGXFileSystem::IsDiskPath(model.Model.FileName)) {
          // A model from disk takes the textures found beside it, converted for storage.
          std::vector<std::string> found = FindCompanionFiles(model.Model.FileName);
          if (!found.empty()) {
            std::vector<TRRAssetFileName> companions;
            for (const std::string& file : found) {
              std::unique_ptr<gx::TGXMemoryStream> source = fileSystem.OpenFile(file);
              gx::TGXMemoryStream converted(ConvertTextureForPackage(source->Data()));
              std::string entry = RRAssetDataName(converted.Memory(), converted.Data().size());
              if (!writer.Contains(entry)) writer.AddFile(converted, entry, 0);
              companions.emplace_back(file, ownPrefix + entry);
            }
            changes.Companions.emplace_back(&model, model.Companions);
            model.Companions = std::move(companions);
            fresh = true;
          }
        }
        if (!fresh)
          for (TRRAssetFileName& companion : model.Companions) store(companion, 0);
        store(model.Model, 3);
      }
    });
  });

  for (const TRRAdditionalFile& extra : FAdditionalFiles) {
    if (writer.Contains(extra.EntryName)) continue;
    std::unique_ptr<gx::TGXMemoryStream> data =
        fileSystem.OpenFile(!extra.DiskPath.empty() ? extra.DiskPath : std::string(RRGameRoot) + ownPrefix + extra.EntryName);
    writer.AddFile(*data, extra.EntryName, 3);
  }

  gx::TGXMemoryStream info;
  WriteInfo(info, FRevision + 1);
  info.SetPosition(0);
  writer.AddFile(info, RRAssetInfoEntry, 3);
  writer.Finish();
}

void TRRAsset::WritePackage(const std::string& file, bool adoptName) {
  TNameChanges changes;
  try {
    WriteArchive(file, changes);
  } catch (...) {
    Restore(changes);
    throw;
  }
  ++FRevision;
  if (adoptName) {
    bool remount = FMounted;
    Unmount();
    FFileName = file;
    FModified = false;
    if (remount) Mount();
  }
  FDatabase->CatalogueChanged();
}

// ---- database -----------------------------------------------------------------------------------

TRRDatabase::TRRDatabase(gx::TGXFileSystem& fileSystem, const std::vector<TRRAssetPath>& assetPaths)
    : FFileSystem(fileSystem) {
  std::vector<std::string> files;
  std::string game = fileSystem.ResolvePath(RRGameRoot);
  if (gx::TGXFileSystem::IsDiskPath(game)) CollectPackageFiles(game, files);
  for (const TRRAssetPath& p : assetPaths)
    if (!p.Disabled) CollectPackageFiles(p.Path, files);
  std::stable_sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
    return gx::CompareText(a, b) < 0;
  });
  files.erase(std::unique(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
                return gx::SameText(a, b);
              }),
              files.end());
  for (const std::string& f : files) AddPackage(f, false);
}

TRRDatabase::~TRRDatabase() {
  for (auto it = FPackages.rbegin(); it != FPackages.rend(); ++it) {
    TRRAsset& a = **it;
    a.Unmount();
    if (a.Temporary()) unlink(a.FileName().c_str());
  }
  FPackages.clear();
}

bool TRRDatabase::AddPackage(const std::string& fileName, bool temporary) {
  std::unique_ptr<TRRAsset> asset;
  try {
    asset = std::make_unique<TRRAsset>(this, fileName, temporary);
  } catch (const std::exception& e) {
    FProblems.push_back({fileName, e.what()});
    return false;
  } catch (...) {
    FProblems.push_back({fileName, "?"});
    return false;
  }
  if (FindAsset(asset->Identifier())) {
    FProblems.push_back({fileName, std::string(RRTextDuplicateAsset) + " " + asset->Identifier().ToString()});
    return false;
  }
  try {
    asset->Mount();
  } catch (const std::exception& e) {
    FProblems.push_back({fileName, e.what()});
    return false;
  }
  FPackages.push_back(std::move(asset));
  FIndexValid = false;
  if (temporary) StateChanged();
  return true;
}

TRRAsset* TRRDatabase::AppendPackage(std::unique_ptr<TRRAsset> asset) {
  asset->Mount();
  FPackages.push_back(std::move(asset));
  FIndexValid = false;
  return FPackages.back().get();
}

TRRAsset* TRRDatabase::CreatePackage(const std::string& file, const std::string& name, const std::string& author,
                                     const std::string& description) {
  auto asset = std::make_unique<TRRAsset>(this);
  asset->Name().SetUserText(name);
  asset->Author().SetUserText(author);
  asset->Description().SetUserText(description);
  // The writer replaces file only with a finished package, so a failure leaves nothing behind.
  asset->WritePackage(file, true);
  return AppendPackage(std::move(asset));
}

TRRAsset* TRRDatabase::FindAsset(const gx::TGXGuid& identifier) const {
  for (const auto& p : FPackages)
    if (p->Identifier() == identifier) return p.get();
  return nullptr;
}

TRRAsset* TRRDatabase::FindAssetByFile(std::string_view fileName) const {
  for (const auto& p : FPackages)
    if (gx::SameText(p->FileName(), fileName)) return p.get();
  return nullptr;
}

TRRAsset* TRRDatabase::OpenPackageFile(const std::string& file) {
  if (TRRAsset* asset = FindAssetByFile(file)) return asset;
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return nullptr;
  if (!std::filesystem::is_regular_file(file, ec)) throw EAssetError("\"" + file + "\" ist keine Paketdatei.");
  if (!AddPackage(file, false))
    throw EAssetError("Das Paket \"" + file + "\" kann nicht gelesen werden: " +
                      (FProblems.empty() ? std::string("?") : FProblems.back().Reason));
  return FindAssetByFile(file);
}

const TRRDatabase::TIndex& TRRDatabase::Index() const {
  if (FIndexValid) return FIndex;
  FIndex = TIndex();
  for (const auto& p : FPackages)
    Visit(p->Root(), [this](TRREntityDescription& d) {
      FIndex.All.push_back(&d);
      FIndex.ByPath.try_emplace(gx::LowerCaseText(d.CataloguePath()), d.AssetID());
      FIndex.ByAsset.emplace(d.AssetID(), &d);
    });
  FIndexValid = true;
  return FIndex;
}

gx::TGXGuid TRRDatabase::FindAssetIDByPath(std::string_view path) const {
  const TIndex& index = Index();
  auto it = index.ByPath.find(gx::LowerCaseText(path));
  return it == index.ByPath.end() ? gx::TGXGuid() : it->second;
}

void TRRDatabase::CollectCatalogByClass(const TRRDescriptionClass& cls, TRREntityDescriptionList& list) const {
  for (TRREntityDescription* d : Index().All)
    if (d->GetClass().InheritsFrom(cls)) list.Add(d);
}

void TRRDatabase::CollectCatalogByAsset(const gx::TGXGuid& identifier, TRREntityDescriptionList& list) const {
  // The multimap keeps no order among equal keys; the search order is the catalogue's.
  const TIndex& index = Index();
  if (index.ByAsset.count(identifier) <= 1) {
    auto it = index.ByAsset.find(identifier);
    if (it != index.ByAsset.end()) list.Add(it->second);
    return;
  }
  for (TRREntityDescription* d : index.All)
    if (d->AssetID() == identifier) list.Add(d);
}

void TRRDatabase::RefreshDescription(TRREntityDescription& description) const {
  TRREntityDescriptionList found(false);
  CollectCatalogByAsset(description.AssetID(), found);
  if (found.Count() > 0 && found.Item(0) != &description) description.AssignFrom(*found.Item(0));
  for (int i = 0; i < description.ChildCount(); ++i) RefreshDescription(*description.Child(i));
}

void TRRDatabase::RefreshDescriptions(const TRREntityDescriptionList& list) const {
  for (TRREntityDescription* d : list) RefreshDescription(*d);
}

bool TRRDatabase::IsModified() const {
  return std::any_of(FPackages.begin(), FPackages.end(), [](const auto& p) { return p->Modified(); });
}

bool TRRDatabase::HasTemporary() const {
  return std::any_of(FPackages.begin(), FPackages.end(), [](const auto& p) { return p->Temporary(); });
}

void TRRDatabase::ReloadAll(std::vector<std::pair<std::string, bool>> files) {
  for (auto it = FPackages.rbegin(); it != FPackages.rend(); ++it) (*it)->Unmount();
  FPackages.clear();
  FIndexValid = false;
  for (const auto& [file, temporary] : files) AddPackage(file, temporary);
  StateChanged();
}

bool TRRDatabase::WriteChanges(IRRProgress* progress) {
  if (FPackages.empty()) return true;
  if (progress) progress->SetText(RRCaptionWriteDatabase);

  struct TPending {
    TRRAsset* Asset;
    // The complete new package, put in the old one's place only when all are written.
    std::unique_ptr<gx::TGXAtomicFile> File;
    TRRAsset::TNameChanges Changes;
  };
  std::vector<TPending> pending;
  // Takes back everything of a write that is not kept: the temporary files and the names.
  auto discard = [&]() {
    for (TPending& p : pending) {
      p.File.reset();
      TRRAsset::Restore(p.Changes);
    }
    pending.clear();
  };

  const int64_t n = static_cast<int64_t>(FPackages.size());
  try {
    for (int64_t i = 0; i < n; ++i) {
      if (progress && progress->Cancelled()) {
        discard();
        return false;
      }
      TRRAsset& a = *FPackages[static_cast<size_t>(i)];
      if (progress) {
        progress->SetText(a.FileName());
        progress->SetProgress(i * 90, n * 100);
      }
      if (!a.Modified()) continue;
      // A package without file was never added through its file; there is nothing to replace.
      if (a.FileName().empty()) throw EAssetError(RRTextWriteDatabaseError);
      pending.push_back({&a, std::make_unique<gx::TGXAtomicFile>(a.FileName()), {}});
      a.WriteArchive(*pending.back().File, pending.back().Changes);
    }
    if (progress && progress->Cancelled()) {
      discard();
      return false;
    }
  } catch (...) {
    discard();
    throw EAssetError(RRTextWriteDatabaseError);
  }

  if (progress) progress->SetProgress(90, 100);
  std::vector<std::pair<std::string, bool>> files;
  for (const auto& p : FPackages) files.emplace_back(p->FileName(), p->Temporary());
  // Each commit replaces one package atomically by its complete new version; a package whose
  // commit fails keeps its old file, and so do the ones after it.
  bool failed = false;
  for (TPending& p : pending) {
    try {
      if (!failed) p.File->Commit();
    } catch (const std::exception&) {
      failed = true;
    }
    p.File.reset();
  }
  pending.clear();
  ReloadAll(std::move(files));
  if (progress) progress->SetProgress(100, 100);
  if (failed) throw EAssetError(RRTextWriteDatabaseError);
  return true;
}

namespace {

// The worker's side of the progress display: values are picked up by the waiting thread, which
// alone talks to the user interface.
class TThreadProgress : public IRRProgress {
 public:
  void SetText(const std::string& text) override {
    std::lock_guard<std::mutex> lock(FLock);
    FText = text;
  }
  void SetProgress(int64_t done, int64_t total) override {
    std::lock_guard<std::mutex> lock(FLock);
    FDone = done;
    FTotal = total;
  }
  bool Cancelled() const override { return FCancel.load(); }
  void Cancel() { FCancel = true; }
  void Take(std::string& text, int64_t& done, int64_t& total) {
    std::lock_guard<std::mutex> lock(FLock);
    text = FText;
    done = FDone;
    total = FTotal;
  }

 private:
  std::mutex FLock;
  std::string FText;
  int64_t FDone = 0, FTotal = 0;
  std::atomic<bool> FCancel{false};
};

}  // namespace

void RRRunWithProgress(IRRUIService& ui, const std::string& caption, const std::string& text, bool cancellable,
                       const std::function<void(IRRProgress&)>& work) {
  std::unique_ptr<IRRProgress> display = ui.BeginProgress(caption, text, cancellable);
  TThreadProgress shared;
  std::exception_ptr error;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    try {
      work(shared);
    } catch (...) {
      error = std::current_exception();
    }
    finished = true;
  });
  std::string shownText = text;
  int64_t shownDone = -1, shownTotal = -1;
  auto forward = [&] {
    std::string t;
    int64_t done, total;
    shared.Take(t, done, total);
    if (!t.empty() && t != shownText) display->SetText(shownText = t);
    if (total > 0 && (done != shownDone || total != shownTotal)) display->SetProgress(shownDone = done, shownTotal = total);
  };
  while (!finished) {
    forward();
    if (display->Cancelled()) shared.Cancel();
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
  worker.join();
  forward();
  display.reset();
  if (error) std::rethrow_exception(error);
}

TRRWriteResult TRRDatabase::WriteChangesWithProgress(IRRUIService& ui) {
  std::exception_ptr error;
  bool written = false;
  try {
    RRRunWithProgress(ui, RRCaptionWriteDatabase, "", true, [&](IRRProgress& p) { written = WriteChanges(&p); });
  } catch (...) {
    error = std::current_exception();
  }
  if (error) {
    std::string text = RRTextWriteDatabaseError;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      text = e.what();
    } catch (...) {
    }
    ui.ShowMessage(text, RRCaptionSaveDatabase, TRRMessageIcon::Error);
    return TRRWriteResult::Failed;
  }
  return written ? TRRWriteResult::Written : TRRWriteResult::Cancelled;
}

std::string TRRDatabase::SanitizePackageName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) out += (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') ? '_' : static_cast<char>(c);
  for (size_t p; (p = out.find("..")) != std::string::npos;) out.replace(p, 2, "_");
  out = std::string(gx::TrimText(out));
  // A name made only of dots would be a hidden file or a folder reference.
  while (!out.empty() && out.front() == '.') out.erase(0, 1);
  out = std::string(gx::TrimText(out));
  return out.empty() ? std::string(RRUnnamedPackage) : out;
}

void TRRDatabase::StoreTemporary(const std::string& folder) {
  std::vector<std::pair<std::string, bool>> files;
  for (const auto& p : FPackages) files.emplace_back(p->FileName(), p->Temporary());
  std::error_code ec;
  fs::create_directories(folder, ec);
  bool failed = false;
  for (size_t i = 0; i < FPackages.size(); ++i) {
    TRRAsset& a = *FPackages[i];
    if (!a.Temporary()) continue;
    std::string base = SanitizePackageName(a.Name().GetText());
    fs::path target = fs::path(folder) / (base + RRAssetExtension);
    for (int k = 2; fs::exists(target, ec); ++k) target = fs::path(folder) / (base + "(" + std::to_string(k) + ")" + RRAssetExtension);
    a.Unmount();
    fs::rename(a.FileName(), target, ec);
    if (ec) {
      // Another file system: a complete copy (never half of one in a watched folder), then the
      // original goes.
      try {
        gx::TGXFileStream source(a.FileName(), gx::TGXFileStream::Mode::Read);
        gx::TGXAtomicFile copy(target.string());
        copy.CopyFrom(source, -1);
        copy.Commit();
        std::error_code ec2;
        fs::remove(a.FileName(), ec2);
        ec.clear();
      } catch (const std::exception&) {
      }
    }
    if (ec) {
      failed = true;
      continue;
    }
    files[i] = {target.string(), false};
  }
  ReloadAll(std::move(files));
  if (failed) throw EAssetError(RRTextWriteTemporaryError);
}

// ---- catalogue editing ----------------------------------------------------------------------

namespace {

// Replaces the first "%s" and then the first "%d" of a message.
std::string FormatMessage(std::string text, const std::string& name, int count = 0) {
  size_t p = text.find("%s");
  if (p != std::string::npos) text.replace(p, 2, name);
  p = text.find("%d");
  if (p != std::string::npos) text.replace(p, 2, std::to_string(count));
  return text;
}

std::string CheckedName(const std::string& name) {
  std::string trimmed(gx::TrimText(name));
  if (trimmed.empty()) throw EAssetError(RRTextEmptyName);
  return trimmed;
}

void CollectAssetIDs(const TRREntityDescription& d, std::vector<gx::TGXGuid>& out) {
  if (!d.AssetID().IsNull()) out.push_back(d.AssetID());
  for (int i = 0; i < d.ChildCount(); ++i) CollectAssetIDs(*d.Child(i), out);
}

void CollectAssetIDs(const TRRAssetNode& node, std::vector<gx::TGXGuid>& out) {
  for (TRREntityDescription* d : node.Descriptions()) CollectAssetIDs(*d, out);
  for (int i = 0; i < node.ChildCount(); ++i) CollectAssetIDs(*node.Child(i), out);
}

bool HasContent(const TRRAssetNode& node) { return node.ChildCount() > 0 || node.Descriptions().Count() > 0; }

// An entity's description made ready to be a catalogue entry.
void PrepareEntry(TRREntityDescription& d) {
  if (d.IsFixed()) throw EAssetError(RRTextFixedEntry);
  d.RemoveFixed();
  d.SetID(0);
  d.SetLocked(false);
  d.SetPosition({0, 0, 0});
  d.SetRotation({0, 0, 0, 1});
  // Each descendant is an entry of its own in the catalogue's eyes: fresh identifiers.
  std::function<void(TRREntityDescription&)> fresh = [&](TRREntityDescription& x) {
    x.SetAssetID(gx::TGXGuid::NewGuid());
    for (int i = 0; i < x.ChildCount(); ++i) fresh(*x.Child(i));
  };
  fresh(d);
}

}  // namespace

void TRRDatabase::CheckEditable(const TRRAsset* asset) {
  if (!asset) throw EAssetError(RRTextNotInCatalogue);
  if (asset->IsBasePackage()) throw EAssetError(RRTextReadOnlyPackage);
}

void TRRDatabase::SetPackageProperties(TRRAsset& asset, const std::string& name, const std::string& author,
                                       const std::string& description) {
  CheckEditable(&asset);
  std::string checked = CheckedName(name);
  asset.Name().SetUserText(checked);
  asset.Author().SetUserText(author);
  asset.Description().SetUserText(description);
  asset.MarkModified();
}

void TRRDatabase::RenameFolder(TRRAssetNode& folder, const std::string& name) {
  CheckEditable(folder.Asset());
  folder.Name().SetUserText(CheckedName(name));
  folder.Asset()->MarkModified();
}

std::pair<TRRAssetNode*, int> TRRDatabase::FindEntry(const TRREntityDescription* entry) const {
  std::function<std::pair<TRRAssetNode*, int>(TRRAssetNode&)> search = [&](TRRAssetNode& node) {
    int i = node.Descriptions().IndexOf(entry);
    if (i >= 0) return std::make_pair(&node, i);
    for (int c = 0; c < node.ChildCount(); ++c) {
      auto found = search(*node.Child(c));
      if (found.first) return found;
    }
    return std::make_pair(static_cast<TRRAssetNode*>(nullptr), -1);
  };
  for (const auto& p : FPackages) {
    auto found = search(p->Root());
    if (found.first) return found;
  }
  return {nullptr, -1};
}

void TRRDatabase::RenameEntry(TRREntityDescription& entry, const std::string& name) {
  TRRAssetNode* folder = FindEntry(&entry).first;
  CheckEditable(folder ? folder->Asset() : nullptr);
  entry.Name().SetUserText(CheckedName(name));
  folder->Asset()->MarkModified();
}

TRRAssetNode* TRRDatabase::AddFolder(TRRAssetNode& parent) {
  CheckEditable(parent.Asset());
  TRRAssetNode* node = parent.AddNewFolder();
  parent.Asset()->MarkModified();
  return node;
}

bool TRRDatabase::CanReplace(const TRREntityDescription& entry, const TRREntityDescription& candidate) {
  return &entry.GetClass() == &candidate.GetClass() && !entry.Is<TRREntityGroupDesc>() &&
         !candidate.Is<TRREntityGroupDesc>();
}

TRRAddMode TRRDatabase::QueryAddMode(IRRUIService& ui, const TRREntityDescription* selectedEntry,
                                     const TRREntityDescription& candidate) {
  if (!selectedEntry || !CanReplace(*selectedEntry, candidate)) return TRRAddMode::Add;
  switch (ui.Ask(RRTextReplaceEntry, RRCaptionAddEntry, TRRButtons::YesNoCancel, TRRMessageIcon::Question,
                 TRRAnswer::Cancel)) {
    case TRRAnswer::Yes: return TRRAddMode::Replace;
    case TRRAnswer::No: return TRRAddMode::Add;
    default: return TRRAddMode::Cancel;
  }
}

TRREntityDescription* TRRDatabase::AddEntry(TRRAssetNode& folder, std::unique_ptr<TRREntityDescription> description) {
  CheckEditable(folder.Asset());
  PrepareEntry(*description);
  TRREntityDescription* d = folder.AddDescription(std::move(description));
  folder.Asset()->MarkModified();
  return d;
}

TRREntityDescription* TRRDatabase::ReplaceEntry(const gx::TGXGuid& oldAssetID, TRRAssetNode& fallback,
                                                std::unique_ptr<TRREntityDescription> description,
                                                IRRAssetUsage* usage) {
  TRREntityDescriptionList found(false);
  CollectCatalogByAsset(oldAssetID, found);
  TRRAssetNode* folder = &fallback;
  int position = -1;
  if (found.Count() > 0) {
    auto [holder, index] = FindEntry(found.Item(0));
    if (holder) {
      folder = holder;
      position = index;
    }
  }
  CheckEditable(folder->Asset());
  PrepareEntry(*description);
  description->SetAssetID(oldAssetID);
  TRREntityDescription* d = description.get();
  if (position >= 0) {
    // The new entry takes the old one's place: append, then move it there and free the old one.
    TRREntityDescriptionList& list = folder->EditDescriptions();
    list.Delete(position);
    std::vector<std::unique_ptr<TRREntityDescription>> rest;
    while (list.Count() > position) rest.emplace_back(list.Extract(position));
    list.Add(std::move(description));
    for (auto& r : rest) list.Add(std::move(r));
  } else {
    folder->AddDescription(std::move(description));
  }
  folder->Asset()->MarkModified();
  if (usage) usage->ReplaceUsers(oldAssetID, *d);
  return d;
}

bool TRRDatabase::RemoveEntry(TRREntityDescription& entry, IRRUIService& ui, IRRAssetUsage* usage) {
  auto [folder, index] = FindEntry(&entry);
  CheckEditable(folder ? folder->Asset() : nullptr);
  std::vector<gx::TGXGuid> ids;
  CollectAssetIDs(entry, ids);
  int used = usage && !ids.empty() ? usage->CountUsers(ids) : 0;
  std::string name = entry.Name().GetText();
  std::string text = used > 0 ? FormatMessage(RRTextRemoveUsedEntry, name, used) : FormatMessage(RRTextRemoveEntry, name);
  if (ui.Ask(text, RRCaptionRemoveEntry, TRRButtons::YesNo, TRRMessageIcon::Question, TRRAnswer::No) != TRRAnswer::Yes)
    return false;
  if (used > 0) usage->RemoveUsers(ids);
  folder->DeleteDescription(index);
  folder->Asset()->MarkModified();
  return true;
}

bool TRRDatabase::RemoveFolder(TRRAssetNode& folder, IRRUIService& ui, IRRAssetUsage* usage) {
  CheckEditable(folder.Asset());
  TRRAssetNode* parent = folder.Parent();
  if (!parent) throw EAssetError(RRTextNotInCatalogue);
  std::vector<gx::TGXGuid> ids;
  CollectAssetIDs(folder, ids);
  int used = usage && !ids.empty() ? usage->CountUsers(ids) : 0;
  std::string name = folder.Name().GetText();
  std::string text;
  if (used > 0)
    text = FormatMessage(used == 1 ? RRTextFolderUsesOne : RRTextFolderUsesMany, name, used) + RRTextRemoveUsedFolder;
  else
    text = FormatMessage(HasContent(folder) ? RRTextRemoveFolder : RRTextRemoveEmptyFolder, name);
  if (ui.Ask(text, RRCaptionRemoveEntry, TRRButtons::YesNo, TRRMessageIcon::Question, TRRAnswer::No) != TRRAnswer::Yes)
    return false;
  if (used > 0) usage->RemoveUsers(ids);
  TRRAsset* asset = folder.Asset();
  parent->DeleteChild(folder.IndexInParent());
  asset->MarkModified();
  return true;
}

void TRRDatabase::MoveEntry(TRREntityDescription& entry, TRRAssetNode& target, int index) {
  auto [folder, position] = FindEntry(&entry);
  CheckEditable(folder ? folder->Asset() : nullptr);
  CheckEditable(target.Asset());
  TRREntityDescriptionList& from = folder->EditDescriptions();
  std::unique_ptr<TRREntityDescription> moving(from.Extract(position));
  TRREntityDescriptionList& to = target.EditDescriptions();
  int at = index < 0 || index > to.Count() ? to.Count() : index;
  std::vector<std::unique_ptr<TRREntityDescription>> rest;
  while (to.Count() > at) rest.emplace_back(to.Extract(at));
  to.Add(std::move(moving));
  for (auto& r : rest) to.Add(std::move(r));
  folder->Asset()->MarkModified();
  target.Asset()->MarkModified();
}

void TRRDatabase::MoveFolder(TRRAssetNode& folder, TRRAssetNode& target, int index) {
  CheckEditable(folder.Asset());
  CheckEditable(target.Asset());
  TRRAssetNode* parent = folder.Parent();
  if (!parent) throw EAssetError(RRTextNotInCatalogue);
  if (folder.Contains(&target)) throw EAssetError(RRTextMoveIntoItself);
  TRRAsset* source = folder.Asset();
  auto& siblings = parent->EditChildren();
  int from = folder.IndexInParent();
  std::unique_ptr<TRRAssetNode> moving = std::move(siblings[static_cast<size_t>(from)]);
  siblings.erase(siblings.begin() + from);
  auto& children = target.EditChildren();
  int at = index < 0 || index > static_cast<int>(children.size()) ? static_cast<int>(children.size()) : index;
  moving->SetParent(&target);
  moving->SetAsset(target.Asset());
  children.insert(children.begin() + at, std::move(moving));
  source->MarkModified();
  target.Asset()->MarkModified();
}

void TRRDatabase::RemovePackage(TRRAsset* asset) {
  for (auto it = FPackages.begin(); it != FPackages.end(); ++it) {
    if (it->get() != asset) continue;
    asset->Unmount();
    if (asset->Temporary()) unlink(asset->FileName().c_str());
    FPackages.erase(it);
    FIndexValid = false;
    StateChanged();
    return;
  }
}

bool TRRDatabase::CloseQuery(IRRUIService& ui, const std::function<void(const std::string& folder)>& addAssetPath) {
  while (IsModified()) {
    TRRAnswer a = ui.Ask(RRTextSaveDatabaseQuestion, RRCaptionSaveDatabase, TRRButtons::YesNoCancel);
    if (a == TRRAnswer::Cancel) return false;
    if (a == TRRAnswer::No) break;
    // A failure was shown by the write; a cancelled write leaves the changes unwritten. Either
    // way the question comes again.
    if (WriteChangesWithProgress(ui) == TRRWriteResult::Written) break;
  }
  while (HasTemporary()) {
    TRRAnswer a = ui.Ask(RRTextStoreDownloadsQuestion, RRCaptionStoreDownloads, TRRButtons::YesNoCancel);
    if (a == TRRAnswer::Cancel) return false;
    if (a == TRRAnswer::No) break;
    std::optional<std::string> folder = ui.SelectFolderDialog(RRTextStoreDownloadsFolder, "");
    if (!folder || folder->empty()) return false;
    // Watched first: packages moved before a failure must be found at the next start.
    if (addAssetPath) addAssetPath(*folder);
    try {
      StoreTemporary(*folder);
      break;
    } catch (const std::exception& e) {
      ui.ShowMessage(e.what(), RRCaptionStoreDownloads, TRRMessageIcon::Error);
    }
  }
  return true;
}

}  // namespace rr
