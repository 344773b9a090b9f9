#pragma once
// The catalogue page of the project menu: every package's folders and entries in a tree, from
// which entries are dragged into the 3D view. Normal mode hides the tracks the layout's track
// filter leaves out and offers "Gleisfilter setzen"; edit mode ("Bearbeitungsmodus", kept in the
// setting Catalog/Mode) shows the buttons that change the catalogue. Base packages are marked
// " (schreibgeschützt)" and refuse edits; downloaded ones " (temporär)". The tree holds
// pointers into the database, so it is rebuilt after every write and download (Refresh).

#include <QIcon>
#include <QWidget>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace rr {

class IRRAssetUsage;
class IRRUIService;
class TRRAsset;
class TRRAssetNode;
class TRRDatabase;
class TRREntity;
class TRREntityDescription;
class TRRPreviewBalloon;
class TRRTrackParameters;

// The tree's item kinds (stored in the item's data).
enum class TRRCatalogItem { Package = 1, Folder = 2, Entry = 3 };

inline constexpr const char* RRCatalogMimeType = "application/x-velmora-katalogeintrag";
inline constexpr const char* RRTextReadOnlySuffix = " (schreibgeschützt)";
inline constexpr const char* RRTextTemporarySuffix = " (temporär)";

class TRRCatalogMenu : public QWidget {
  Q_OBJECT

 public:
  // What the menu needs from the window around it.
  struct THooks {
    // The open layout's filter (null without a layout): hides entries in normal mode.
    std::function<TRRTrackParameters*()> TrackFilter;
    // Opens the filter dialog (normal mode).
    std::function<void()> EditTrackFilter;
    // The layout's entities made from catalogue entries (null without a layout).
    std::function<IRRAssetUsage*()> Usage;
    // The layout's selected entities, for "add to the catalogue".
    std::function<std::vector<TRREntity*>()> Selection;
    // A new package's folder joins the watched folders.
    std::function<void(const std::string& folder)> AddAssetPath;
    // Edit mode switched (stored in the settings by the window).
    std::function<void(bool editMode)> ModeChanged;
    // A drag of an entry started / ended (dropped: whether a target took it).
    std::function<void(const TRREntityDescription& entry, bool editMode)> DragStarted;
    std::function<void(bool dropped)> DragEnded;
    // Something in the catalogue changed (the save action follows it).
    std::function<void()> Changed;
  };

  TRRCatalogMenu(TRRDatabase& database, IRRUIService& ui, QWidget* parent = nullptr);
  void SetHooks(THooks hooks) { FHooks = std::move(hooks); }

  // Rebuilds the tree; open folders and the current item stay where they were when they still exist.
  void Refresh();
  bool EditMode() const { return FEditMode; }
  void SetEditMode(bool editMode);
  int EntryCount() const { return FEntries; }
  QTreeWidget* Tree() const { return FTree; }
  QPushButton* Button(const QString& objectName) const;
  // The balloon that shows the current entry turning in 3D.
  TRRPreviewBalloon* Balloon() const { return FBalloon; }
  // Small pictures of the entries seen in the balloon, by asset identifier.
  int IconCount() const { return int(FIcons.size()); }

  // The current item and what it stands for (null when it is of another kind or nothing is current).
  TRRAsset* CurrentPackage() const;
  TRRAssetNode* CurrentFolder() const;  // a folder, a package's root, or the folder of an entry
  TRREntityDescription* CurrentEntry() const;
  // Makes the item of a package, folder or entry current (false when it is not shown).
  bool SelectItem(const void* object);

  // ---- the edits of edit mode (the buttons call them; the tests too) ----
  void NewPackage();
  void PackageProperties();
  void NewFolder();
  void Rename();
  void AddSelection();
  void RemoveCurrent();

 signals:
  void EntryActivated(const TRREntityDescription* entry);

 private:
  void Edit(const std::function<void()>& change);
  void UpdateButtons();
  void StartDrag(QTreeWidgetItem* item);
  void ShowBalloon();
  void hideEvent(QHideEvent* event) override;
  friend class TRRCatalogTree;

  TRRDatabase& FDatabase;
  IRRUIService& FUI;
  THooks FHooks;
  QTreeWidget* FTree;
  QPushButton* FFilterButton;
  QPushButton* FModeButton;
  std::vector<QPushButton*> FEditButtons;
  TRRPreviewBalloon* FBalloon;
  std::unordered_map<std::string, QIcon> FIcons;
  bool FEditMode = false;
  int FEntries = 0;
};

}  // namespace rr
