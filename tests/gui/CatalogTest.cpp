// The catalogue page of the desktop program: the tree with its package marks, edit mode and its
// setting, an entry dragged into the view (dropped, undone, cancelled), and the edits of edit
// mode on a package of the user's own with their questions.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/edit/RRCatalogDrop.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXConfiguration.h"
#include "gui/RRViewWidget.h"
#include "gui/SmartHints.h"
#include "gui/catalog/CatalogMenu.h"
#include "gui/catalog/PackageWindow.h"
#include "gui/catalog/PreviewBalloon.h"
#include "app/RRPreview.h"
#include <QWheelEvent>
#include "tests/gui/GuiTestSupport.h"

using namespace rr;
using guitest::Pump;
using A = TRRShellAction;

namespace {

struct Catalogue : ::testing::Test {
  guitest::TProgram P;
  TMainWindow* W = nullptr;
  void SetUp() override { W = &P.MakeWindow(); }

  bool OpenSmallSample() {
    P.Shrink();
    const bool ok = W->OpenProjectFile(QString::fromStdString(P.Sample()));
    Pump(100);
    return ok;
  }
  int EntityCount() {
    TRREntityManager* m = P.Project().Manager();
    int n = 0;
    for (int i = 0; m && i < m->EntitySlotCount(); ++i) n += m->EntitySlot(i) != nullptr;
    return n;
  }
  QTreeWidgetItem* Item(const QString& text) {
    const QList<QTreeWidgetItem*> found = W->Catalog()->Tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
  }
  int Items(const QString& text) {
    return int(W->Catalog()->Tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).size());
  }
  TRREntityDescription* Entry(const QString& text) {
    QTreeWidgetItem* item = Item(text);
    if (!item) return nullptr;
    W->Catalog()->Tree()->setCurrentItem(item);
    return W->Catalog()->CurrentEntry();
  }
  // The drag of an entry over the middle of the view and 60 pixels right of it, then dropped
  // (or the drag ended elsewhere).
  bool DragIntoView(const TRREntityDescription& entry, bool drop) {
    W->BeginCatalogDrag(entry, false);
    QMimeData mime;
    mime.setData(RRCatalogMimeType, "");
    const QPoint at = W->View()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(W->View(), &enter);
    Pump(150);
    QDragMoveEvent move(at + QPoint(60, 0), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(W->View(), &move);
    Pump(150);
    bool accepted = enter.isAccepted() && move.isAccepted();
    if (drop) {
      QDropEvent dropped(QPointF(at + QPoint(60, 0)), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(W->View(), &dropped);
      accepted = accepted && dropped.isAccepted();
    }
    W->EndCatalogDrag(drop && accepted);
    return accepted;
  }
};

}  // namespace

TEST_F(Catalogue, TheTreeMarksBasePackagesAndEditModeIsKept) {
  TRRCatalogMenu& c = *W->Catalog();
  EXPECT_GT(c.EntryCount(), 50);
  ASSERT_NE(Item("3D-Velmora Basiskatalog (schreibgeschützt)"), nullptr);
  EXPECT_FALSE(c.EditMode());
  EXPECT_TRUE(c.Button("Gleisfilter")->isVisibleTo(&c));
  EXPECT_FALSE(c.Button("Entfernen")->isVisibleTo(&c));
  c.Button("Bearbeitungsmodus")->click();
  EXPECT_TRUE(c.EditMode());
  EXPECT_FALSE(c.Button("Gleisfilter")->isVisibleTo(&c));
  EXPECT_TRUE(c.Button("Entfernen")->isVisibleTo(&c));
  EXPECT_EQ(P.Global().SettingsNode("Catalog")->ReadInteger("Mode", 0), 1);
  // A base package refuses edits: its buttons stay off.
  W->Catalog()->Tree()->setCurrentItem(Item("Wasserturm"));
  EXPECT_FALSE(c.Button("Umbenennen")->isEnabled());
  EXPECT_FALSE(c.Button("Entfernen")->isEnabled());
  EXPECT_TRUE(c.Button("NeuesPaket")->isEnabled());
}

TEST_F(Catalogue, AnEntryDraggedIntoTheViewIsPlacedAndUndoneInOneStep) {
  ASSERT_TRUE(OpenSmallSample());
  Pump(300);
  const int before = EntityCount();
  TRREntityDescription* tower = Entry("Wasserturm");
  ASSERT_NE(tower, nullptr);
  ASSERT_TRUE(DragIntoView(*tower, true));
  ASSERT_EQ(EntityCount(), before + 1);
  TRREntityManager& m = *P.Project().Manager();
  ASSERT_EQ(m.Selection().Count(), 1);
  TRREntity* placed = m.Selection().First();
  EXPECT_EQ(placed->Name(), "Wasserturm");
  EXPECT_EQ(placed->AssetID(), tower->AssetID());
  float scale = 0;
  if (P.Project().TrackParameters().AutomaticScale(scale)) {
    EXPECT_FLOAT_EQ(placed->Scale().x, scale);
  }
  EXPECT_EQ(W->focusWidget(), W->View());
  EXPECT_TRUE(W->Action(A::Undo)->isEnabled());
  W->Action(A::Undo)->trigger();
  EXPECT_EQ(EntityCount(), before);
  W->Action(A::Redo)->trigger();
  EXPECT_EQ(EntityCount(), before + 1);

  // Ended outside the view: nothing stays, nothing to undo.
  W->Action(A::Undo)->trigger();
  DragIntoView(*tower, false);
  EXPECT_EQ(EntityCount(), before);
  EXPECT_EQ(W->CatalogDrop(), nullptr);
  // The layout closing under a drag (an automation client may close it): the drag ends without
  // touching what is gone.
  W->BeginCatalogDrag(*tower, false);
  {
    QMimeData mime;
    mime.setData(RRCatalogMimeType, "");
    QDragEnterEvent enter(W->View()->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(W->View(), &enter);
  }
  ASSERT_NE(W->CatalogDrop()->Entity(), nullptr);
  P.Ui.Answers = {"&Nein"};
  ASSERT_TRUE(W->CloseProjectFlow());
  EXPECT_EQ(W->CatalogDrop()->Entity(), nullptr);
  EXPECT_TRUE(W->CatalogDrop()->Finished());
  W->EndCatalogDrag(false);
  // Without a layout no drag makes anything.
  W->BeginCatalogDrag(*tower, false);
  EXPECT_EQ(W->CatalogDrop(), nullptr);
}

TEST_F(Catalogue, EditModeMakesAPackageFolderAndEntryAndRemovesThemWithAQuestion) {
  ASSERT_TRUE(OpenSmallSample());
  TRRCatalogMenu& c = *W->Catalog();
  c.SetEditMode(true);
  const std::string file = P.Dir() + "/Eigene Sachen";
  QTimer::singleShot(200, W, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<TPackageWindow*>(w); d && d->isVisible()) {
        EXPECT_FALSE(d->OkButton()->isEnabled());
        d->FileEdit()->setText(QString::fromStdString(file));
        d->NameEdit()->setText("Eigene Sachen");
        d->AuthorEdit()->setText("Ich");
        d->OkButton()->click();
      }
  });
  c.NewPackage();
  TRRAsset* own = c.CurrentPackage();
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->Name().GetText(), "Eigene Sachen");
  EXPECT_EQ(own->FileName(), file + ".vma");
  std::string paths;
  for (const TRRAssetPath& p : P.Global().GetAssetPaths()) paths += p.Path + ";";
  EXPECT_NE(paths.find(P.Dir()), std::string::npos) << paths;

  c.NewFolder();
  ASSERT_NE(c.CurrentFolder(), nullptr);
  EXPECT_EQ(c.CurrentFolder()->Name().GetText(), RRTextNewFolder);
  // The selected object of the layout as a new entry of the folder: no question (no entry chosen).
  TRREntityManager& m = *P.Project().Manager();
  TRREntity* some = nullptr;
  for (int i = 0; i < m.EntitySlotCount() && !some; ++i)
    if (TRREntity* e = m.EntitySlot(i); e && e->Parent() == P.Project().ProjectNode() && !e->IsFixed()) some = e;
  ASSERT_NE(some, nullptr);
  m.Selection().Clear();
  m.Selection().Add(some);
  c.Tree()->setCurrentItem(Item(RRTextNewFolder));
  const size_t boxes = P.Ui.Boxes.size();
  c.AddSelection();
  EXPECT_EQ(P.Ui.Boxes.size(), boxes);
  TRREntityDescription* added = c.CurrentEntry();
  ASSERT_NE(added, nullptr);
  EXPECT_NE(added->AssetID(), some->AssetID());
  EXPECT_TRUE(P.Global().Database().IsModified());
  EXPECT_TRUE(W->Action(A::SaveDB)->isEnabled());

  // Removing asks first; "Nein" keeps the entry, "Ja" removes it.
  const QString name = QString::fromStdString(added->Name().GetText());
  const int named = Items(name);
  P.Ui.Answers = {"&Nein"};
  c.RemoveCurrent();
  ASSERT_EQ(P.Ui.Boxes.size(), boxes + 1);
  EXPECT_EQ(P.Ui.Boxes.back().Caption, "Objekt entfernen");
  EXPECT_EQ(Items(name), named);
  ASSERT_TRUE(c.SelectItem(added));
  P.Ui.Answers = {"&Ja"};
  c.RemoveCurrent();
  EXPECT_EQ(Items(name), named - 1);

  // Written: the tree is built anew from the files and still shows the package.
  W->Action(A::SaveDB)->trigger();
  EXPECT_FALSE(P.Global().Database().IsModified());
  EXPECT_NE(Item("Eigene Sachen"), nullptr);
  EXPECT_NE(Item(RRTextNewFolder), nullptr);
}

TEST_F(Catalogue, TheCurrentEntryTurnsInTheBalloonAndKeepsItsPictureAsIcon) {
  ASSERT_TRUE(OpenSmallSample());
  TRRCatalogMenu& c = *W->Catalog();
  TRREntityDescription* tower = Entry("Wasserturm");
  ASSERT_NE(tower, nullptr);
  TRRPreviewBalloon& b = *c.Balloon();
  ASSERT_TRUE(b.isVisible());
  EXPECT_EQ(b.Entry(), tower);
  while (b.FramesDrawn() < TRRPreviewBalloon::SettledFrames) b.Step();
  // The tower stands out from the background in the middle of the picture.
  const QImage picture = b.Picture();
  ASSERT_FALSE(picture.isNull());
  const QRgb corner = picture.pixel(0, 0);
  int differing = 0;
  for (int y = picture.height() / 4; y < picture.height() * 3 / 4; ++y)
    for (int x = picture.width() / 4; x < picture.width() * 3 / 4; ++x) differing += picture.pixel(x, y) != corner;
  EXPECT_GT(differing, picture.width() * picture.height() / 40);
  EXPECT_FALSE(Item("Wasserturm")->icon(0).isNull());
  EXPECT_EQ(c.IconCount(), 1);
  b.grab().save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-balloon.png");
  W->grab().scaledToWidth(640, Qt::SmoothTransformation).save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-catalogue.png");
  // The wheel over the balloon brings the object nearer.
  const float goal = b.Preview()->Camera().Goal();
  QWheelEvent wheel(QPointF(50, 50), QPointF(b.mapToGlobal(QPoint(50, 50))), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(&b, &wheel);
  EXPECT_LT(b.Preview()->Camera().Goal(), goal);
  // A folder hides it; after a rebuild of the tree the picture is still the entry's icon.
  c.Tree()->setCurrentItem(Item(RRTextNewFolder) ? Item(RRTextNewFolder) : c.Tree()->topLevelItem(0));
  EXPECT_FALSE(b.isVisible());
  c.Refresh();
  EXPECT_FALSE(Item("Wasserturm")->icon(0).isNull());
}

TEST_F(Catalogue, HintsComeOnceAndNotWhenSwitchedOff) {
  ASSERT_TRUE(OpenSmallSample());
  for (bool on : {false, true}) {
    P.Global().SettingsNode("GeneralSettings")->WriteBoolean("SmartHints", on);
    P.Global().LoadSettings();
    W->SettingsChanged();
    TRRSmartHintManager& hints = *W->Hints();
    hints.Hide();
    TRREntityDescription* tower = Entry("Wasserturm");
    ASSERT_NE(tower, nullptr);
    ASSERT_TRUE(DragIntoView(*tower, true));
    EXPECT_EQ(hints.Visible(), on) << on;
    if (on) {
      EXPECT_EQ(hints.Title(), RRHintTitle);
      EXPECT_TRUE(hints.Text().contains("Gizmo"));
      hints.Balloon()->grab().save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-hint.png");
      hints.Hide();
      ASSERT_TRUE(DragIntoView(*tower, true));
      EXPECT_FALSE(hints.Visible());  // once per run
    }
    W->Catalog()->SetEditMode(true);
    EXPECT_EQ(hints.Visible(), on) << on;
    W->Catalog()->SetEditMode(false);
    hints.Hide();
  }
}

TEST_F(Catalogue, ADownloadedPackageShowsAsTemporary) {
  const std::string file = P.Dir() + "/Geladen.vma";
  TRRDatabase& db = P.Global().Database();
  TRRAsset* made = db.CreatePackage(file, "Geladenes Paket", "Jemand", "");
  ASSERT_NE(made, nullptr);
  db.RemovePackage(made);
  Pump(20);
  EXPECT_EQ(Item("Geladenes Paket"), nullptr);
  ASSERT_TRUE(db.AddPackage(file, true));
  Pump(20);
  EXPECT_NE(Item("Geladenes Paket (temporär)"), nullptr);
}
