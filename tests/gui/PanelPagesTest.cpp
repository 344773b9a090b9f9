// The panel's height and texture pages on the sample: the tab bar switches the panel's three
// pages (the history keeps recording the panel page), the mode buttons put a brush on the
// manager's modifier stack and leaving frees it, typed brush values are read in the display unit
// (bad text keeps, out-of-range clamps), and every change of the panel is one command that the
// window's undo takes back. The assistant reshapes the panel around its pivot; the height
// import's preview shows what OK then gives.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QPixmap>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <QFileInfo>
#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/RRProject.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelModifier.h"
#include "engine/core/GXMath.h"
#include "gui/PreviewView.h"
#include "gui/ProjectMenu.h"
#include "gui/ProjectPanelWindow.h"
#include "gui/SmartHints.h"
#include "gui/pages/EntityMenu.h"
#include "gui/pages/EntityPage.h"
#include "gui/pages/PanelHeightMenu.h"
#include "gui/pages/PanelMenu.h"
#include "gui/pages/PanelTextureMenu.h"
#include "tests/gui/GuiTestSupport.h"

using namespace rr;
using guitest::Pump;
using K = TRREntityPageKind;

namespace {

struct PanelPages : ::testing::Test {
  guitest::TProgram P;
  TMainWindow* W = nullptr;
  int32_t PanelID = -1;

  // The sample in a small window, lengths in centimetres, the panel selected.
  bool Open() {
    W = &P.MakeSmallWindow();
    W->resize(1000, 640);
    P.Global().SettingsNode("GeneralSettings")->WriteInteger("LengthUnit", 1);
    P.Global().LoadSettings();
    const bool ok = W->OpenProjectFile(QString::fromStdString(P.Sample()));
    Pump(100);
    auto* menu = static_cast<TRRProjectMenu*>(W->ProjectMenu());
    menu->Tabs()->setCurrentWidget(menu->EntityMenu());
    for (int i = 0; ok && i < M()->EntitySlotCount(); ++i)
      if (TRREntity* e = M()->EntitySlot(i); e && e->Is<TRRPanel>()) PanelID = e->ID();
    if (PanelID < 0) return false;
    Select(Panel());
    return ok;
  }
  TRREntityManager* M() { return P.Project().Manager(); }
  TRRHistory* H() { return P.Project().History(); }
  TRREntityMenu* Menu() { return static_cast<TRRProjectMenu*>(W->ProjectMenu())->EntityMenu(); }
  TRRPanel* Panel() { return dynamic_cast<TRRPanel*>(M()->FindByID(PanelID)); }
  void Select(TRREntity* e) {
    M()->Selection().BeginUpdate();
    M()->Selection().Clear();
    if (e) M()->Selection().Add(e);
    M()->Selection().EndUpdate();
    Pump(20);
  }
  void Undo() {
    W->Action(TRRShellAction::Undo)->trigger();
    Pump(30);
  }
  bool OnStack(TRREntityModifier* m) {
    for (int i = 0; i < M()->ModifierCount(); ++i)
      if (M()->Modifier(i) == m) return true;
    return false;
  }
  static void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    edit->insert(text);
    edit->setModified(true);
    QTest::keyClick(edit, Qt::Key_Return);
    Pump(10);
  }
  void SetLengthUnit(int unit) {
    P.Global().SettingsNode("GeneralSettings")->WriteInteger("LengthUnit", unit);
    P.Global().LoadSettings();
  }
  // Where the panel's pivot is in the world now.
  gx::TGXVector3 PivotInWorld() {
    gx::TGXNode* top = Panel();
    while (top->Parent()) top = top->Parent();
    top->Update(false);
    return gx::GXVec3TransformCoord(Panel()->Pivot(), Panel()->WorldMatrix());
  }
  // Every grid point's height, point by point.
  static std::vector<float> Heights(const TRRPanel& panel) {
    std::vector<float> all;
    panel.ForEachGridPoint([&](int64_t x, int64_t y) { all.push_back(panel.GetHeight(x, y)); });
    return all;
  }
  static void Finish(QLineEdit* edit, const QString& text) {
    edit->setText(text);
    emit edit->editingFinished();
  }
  void Shoot(const char* name) {
    Pump(100);
    const QPixmap shot = W->grab();
    shot.save(QString(VELMORA_TEST_OUTPUT_DIR) + "/" + name);
    shot.scaledToWidth(640, Qt::SmoothTransformation).save(QString(VELMORA_TEST_OUTPUT_DIR) + "/small-" + name);
  }
};

}  // namespace

TEST_F(PanelPages, TheTabsSwitchThePanelsPagesAndThePageNumberStaysThePanels) {
  ASSERT_TRUE(Open());
  EXPECT_TRUE(Menu()->PanelTabs()->isVisible());
  EXPECT_EQ(Menu()->CurrentPage(), Menu()->Page(K::Panel));
  const char* names[3] = {"EntityPage9", "HeightPage", "PaintPage"};
  for (int i : {1, 2, 0, 1}) {
    Menu()->ShowPanelPage(i);
    Pump(10);
    EXPECT_EQ(Menu()->CurrentPage()->objectName(), names[i]);
    EXPECT_EQ(Menu()->EntityMenuPage(), int32_t(K::Panel));
    EXPECT_EQ(Menu()->CurrentPage()->First(), Panel());
  }
  // The history's page number shows the page chosen last; nothing selected hides the tabs.
  Menu()->ShowEntityMenuPage(int32_t(K::Panel));
  EXPECT_EQ(Menu()->CurrentPage()->objectName(), "HeightPage");
  Select(nullptr);
  EXPECT_FALSE(Menu()->PanelTabs()->isVisible());
  Select(Panel());
  EXPECT_EQ(Menu()->CurrentPage()->objectName(), "HeightPage");
}

TEST_F(PanelPages, HeightModeMarksAndTypedHeightsAreOneUndoableCommand) {
  ASSERT_TRUE(Open());
  Menu()->ShowPanelPage(1);
  auto* page = dynamic_cast<TPanelHeightMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  page->StartButton()->click();
  Pump(20);
  TRRPanelModifier* m = page->Modifier();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->Mode(), 1);
  EXPECT_TRUE(page->StartButton()->isChecked());
  EXPECT_TRUE(OnStack(m));
  EXPECT_TRUE(W->Hints()->Visible());
  EXPECT_EQ(W->Hints()->Title(), "Wussten Sie schon?");
  EXPECT_EQ(W->Hints()->Text(), RRTextHeightModeHint);

  // Brush values in cm: bad text keeps the value, out of range clamps; the brush follows.
  struct Case {
    QLineEdit* Edit;
    const char* Text;
    float Size, Gradient;
  } cases[] = {
      {page->WidthEdit(), "20", 20, -1},   {page->WidthEdit(), "abc", 20, -1}, {page->WidthEdit(), "1e999", 20, -1},
      {page->WidthEdit(), "-5", 1, -1},    {page->WidthEdit(), "5000", 1000, -1},
      {page->WidthEdit(), "0,5", 1, -1},   {page->WidthEdit(), "12", 12, -1},
      {page->GradientEdit(), "50", -1, 0.5f}, {page->GradientEdit(), "abc", -1, 0.5f},
      {page->GradientEdit(), "1e999", -1, 0.5f}, {page->GradientEdit(), "-5", -1, 0},
      {page->GradientEdit(), "150", -1, 1},    {page->GradientEdit(), "40", -1, 0.4f},
  };
  for (const Case& c : cases) {
    Type(c.Edit, c.Text);
    const TRRBrushSettings& s = TPanelHeightMenu::Settings();
    if (c.Size >= 0) {
      EXPECT_FLOAT_EQ(s.Size, c.Size) << c.Text;
    }
    if (c.Gradient >= 0) {
      EXPECT_NEAR(s.Gradient, c.Gradient, 1e-6) << c.Text;
    }
    EXPECT_FLOAT_EQ(m->Radius(), s.Size * 0.5f) << c.Text;
    EXPECT_NEAR(m->GradientWidth(), s.Size * 0.5f * s.Gradient, 1e-4) << c.Text;
  }
  EXPECT_EQ(page->GradientEdit()->selectedText(), "40");  // ready to be typed over
  page->WidthUp()->click();
  EXPECT_FLOAT_EQ(TPanelHeightMenu::Settings().Size, 13);
  EXPECT_EQ(page->WidthEdit()->text(), "13");
  page->GradientDown()->click();
  EXPECT_NEAR(TPanelHeightMenu::Settings().Gradient, 0.39f, 1e-6);
  page->ShapeBox()->setCurrentIndex(RRBrushVertical);
  emit page->ShapeBox()->activated(RRBrushVertical);
  EXPECT_EQ(m->Shape(), RRBrushVertical);

  // Marks show the selection panel with the marked range.
  TRRPanel* panel = Panel();
  const float before22 = panel->GetHeight(2, 2), before33 = panel->GetHeight(3, 3);
  Pump(300);
  EXPECT_FALSE(page->HeightPanel()->isVisible());
  m->Overlay()->Mark(2, 2, 255);
  m->Overlay()->Mark(3, 3, 51);
  Pump(300);
  EXPECT_TRUE(page->HeightPanel()->isVisible());
  EXPECT_TRUE(page->SelectionLabel()->text().contains(" bis ")) << page->SelectionLabel()->text().toStdString();
  EXPECT_TRUE(page->SelectionLabel()->text().endsWith(" cm"));

  const int count = H()->Count();
  Type(page->NewHeightEdit(), "abc");  // not a number: nothing
  EXPECT_EQ(H()->Count(), count);
  Type(page->NewHeightEdit(), "10");
  EXPECT_EQ(H()->Count(), count + 1);
  EXPECT_FLOAT_EQ(Panel()->GetHeight(2, 2), 10);
  EXPECT_FLOAT_EQ(Panel()->GetHeight(3, 3), 2);
  EXPECT_TRUE(page->NewHeightEdit()->text().isEmpty());
  Pump(300);
  EXPECT_EQ(page->SelectionLabel()->text(), "2 bis 10 cm");
  Type(page->NewHeightEdit(), "150");  // at most 100 cm
  EXPECT_EQ(H()->Count(), count + 2);
  EXPECT_FLOAT_EQ(Panel()->GetHeight(2, 2), 100);

  // Undo takes each typed height back; the panel made anew by undo ends the brush.
  Undo();
  EXPECT_FLOAT_EQ(Panel()->GetHeight(2, 2), 10);
  EXPECT_EQ(page->Modifier(), nullptr);
  EXPECT_FALSE(page->StartButton()->isChecked());
  EXPECT_FALSE(page->HeightPanel()->isVisible());
  Undo();
  EXPECT_FLOAT_EQ(Panel()->GetHeight(2, 2), before22);
  EXPECT_FLOAT_EQ(Panel()->GetHeight(3, 3), before33);

  // Leaving the page (another selection, another tab) frees the brush.
  for (int how = 0; how < 2; ++how) {
    Menu()->ShowPanelPage(1);
    page->StartButton()->click();
    TRRPanelModifier* again = page->Modifier();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(OnStack(again));
    if (how == 0) Select(nullptr);
    else Menu()->ShowPanelPage(0);
    EXPECT_EQ(page->Modifier(), nullptr);
    EXPECT_FALSE(OnStack(again));
    EXPECT_FALSE(page->StartButton()->isChecked());
    Select(Panel());
  }
}

TEST_F(PanelPages, TextureListEditsAreOneUndoableCommandEach) {
  ASSERT_TRUE(Open());
  Menu()->ShowPanelPage(2);
  auto* page = dynamic_cast<TPanelTextureMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  QComboBox* list = page->TextureBox();
  const int textures = Panel()->TextureCount();
  ASSERT_GT(list->count(), 0);
  EXPECT_FALSE(page->DeleteButton()->isEnabled());  // the sample's textures are built in
  EXPECT_FALSE(page->Preview()->pixmap().isNull());
  EXPECT_EQ(page->ScaleLabel()->text(), QString::fromStdString(RRTextureScaleLabel(page->ScaleBar()->value())));

  // Add: the chosen picture becomes a user texture, selected and deletable.
  QImage picture(32, 32, QImage::Format_RGB32);
  picture.fill(QColor(200, 40, 40));
  const std::string file = P.Dir() + "/Ziegel.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(file)));
  int count = H()->Count();
  P.Ui.Paths.push_back(std::nullopt);  // cancelled: nothing
  page->AddButton()->click();
  EXPECT_EQ(H()->Count(), count);
  P.Ui.Paths.push_back(file);
  page->AddButton()->click();
  EXPECT_EQ(H()->Count(), count + 1);
  EXPECT_EQ(Panel()->TextureCount(), textures + 1);
  EXPECT_EQ(list->currentText(), "Ziegel.png");
  EXPECT_TRUE(page->DeleteButton()->isEnabled());
  EXPECT_FALSE(page->Preview()->pixmap().isNull());
  EXPECT_NE(std::find(P.Ui.DialogTitles.begin(), P.Ui.DialogTitles.end(), "Textur wählen"), P.Ui.DialogTitles.end());

  // Scale bar: label and one command.
  const int added = page->SelectedTexture();
  page->ScaleBar()->setValue(40);
  EXPECT_EQ(page->ScaleLabel()->text(), "x 2.0");
  EXPECT_EQ(H()->Count(), count + 2);
  EXPECT_NEAR(Panel()->TextureEntry(added).Scale, 0.03f, 1e-6);
  Undo();
  EXPECT_NEAR(Panel()->TextureEntry(added).Scale, 0.015f, 1e-6);
  EXPECT_EQ(page->ScaleBar()->value(), 20);

  // Replace: the dialog lists the other textures; OK replaces by the first.
  QStringList listed;
  QTimer::singleShot(100, [&] {
    auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!d) return;
    listed.push_back(d->windowTitle());
    auto* rows = d->findChild<QListWidget*>("TextureList");
    if (rows) listed.push_back(QString::number(rows->count()));
    d->accept();
  });
  page->ReplaceButton()->click();
  ASSERT_EQ(listed.size(), 2);
  EXPECT_EQ(listed[0], "Textur ersetzen");
  EXPECT_EQ(listed[1].toInt(), list->count() - 1 - (list->count() > 1 ? 1 : 0));  // no separator, not itself
  EXPECT_EQ(H()->Count(), count + 2);
  Undo();
  EXPECT_EQ(Panel()->TextureCount(), textures + 1);

  // Delete the user texture, then undo it and the adding.
  Menu()->Refresh();
  list->setCurrentIndex(list->findText("Ziegel.png"));
  ASSERT_TRUE(page->DeleteButton()->isEnabled());
  page->DeleteButton()->click();
  EXPECT_EQ(Panel()->TextureCount(), textures);
  EXPECT_EQ(list->findText("Ziegel.png"), -1);
  Undo();
  EXPECT_EQ(Panel()->TextureCount(), textures + 1);
  Undo();
  EXPECT_EQ(Panel()->TextureCount(), textures);

  // A file that is no picture is listed without a thumbnail and can be taken out again.
  const std::string broken = P.Dir() + "/Kaputt.png";
  std::ofstream(broken) << "keine Bilddaten";
  P.Ui.Paths.push_back(broken);
  page->AddButton()->click();
  Pump(50);
  EXPECT_EQ(list->currentText(), "Kaputt.png");
  EXPECT_TRUE(page->Preview()->pixmap().isNull());
  page->DeleteButton()->click();
  EXPECT_EQ(Panel()->TextureCount(), textures);
}

TEST_F(PanelPages, PaintModeBrushFollowsTheSettingsAndEndsWithThePage) {
  ASSERT_TRUE(Open());
  Menu()->ShowPanelPage(2);
  auto* page = dynamic_cast<TPanelTextureMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  page->PaintButton()->click();
  TRRPanelModifier* m = page->Modifier();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->Mode(), 0);
  EXPECT_TRUE(page->PaintButton()->isChecked());
  EXPECT_TRUE(OnStack(m));
  EXPECT_EQ(m->Texture(), page->SelectedTexture());
  struct Case {
    QLineEdit* Edit;
    const char* Text;
    float Opacity;
  } cases[] = {{page->OpacityEdit(), "50", 0.5f},   {page->OpacityEdit(), "abc", 0.5f},
               {page->OpacityEdit(), "0", 0.01f},   {page->OpacityEdit(), "1e999", 0.01f},
               {page->OpacityEdit(), "250", 1.0f}};
  for (const Case& c : cases) {
    Type(c.Edit, c.Text);
    EXPECT_NEAR(m->Opacity(), c.Opacity, 1e-6) << c.Text;
  }
  Type(page->WidthEdit(), "30");
  EXPECT_FLOAT_EQ(m->Radius(), 15);
  Shoot("panel-texture-page.png");
  Menu()->ShowPanelPage(1);
  EXPECT_EQ(page->Modifier(), nullptr);
  EXPECT_FALSE(OnStack(m));
  EXPECT_FALSE(page->PaintButton()->isChecked());
  auto* heights = dynamic_cast<TPanelHeightMenu*>(Menu()->CurrentPage());
  ASSERT_NE(heights, nullptr);
  heights->StartButton()->click();
  heights->Modifier()->Overlay()->Mark(2, 2, 255);
  Pump(300);
  Shoot("panel-height-page.png");
}

TEST_F(PanelPages, HeightFilesAreExportedAndImportedAsOneUndoableCommand) {
  ASSERT_TRUE(Open());
  Menu()->ShowPanelPage(1);
  auto* page = dynamic_cast<TPanelHeightMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  // Export: a message names the file; a folder that does not exist is reported as a failure.
  struct Export {
    std::string Path, Text, Caption;
  } exports[] = {
      {P.Dir() + "/hoehen.csv", "Höhenfeld erfolgreich nach hoehen.csv exportiert.", "Export"},
      {P.Dir() + "/hoehen.bmp", "Höhenfeld erfolgreich nach hoehen.bmp exportiert.", "Export"},
      {P.Dir() + "/fehlt/hoehen.bmp", "Fehler beim Exportieren des Höhenfeldes nach hoehen.bmp.", "Fehler"},
  };
  for (const Export& e : exports) {
    P.Ui.Paths.push_back(e.Path);
    page->ExportButton()->click();
    ASSERT_FALSE(P.Ui.Boxes.empty());
    EXPECT_EQ(P.Ui.Boxes.back().Text, e.Text);
    EXPECT_EQ(P.Ui.Boxes.back().Caption, e.Caption);
  }
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(P.Dir() + "/hoehen.csv")));

  // Import: a file that is no picture is refused in the dialog; OK without a file changes
  // nothing; a text file sets the heights (origin in the display unit) as one command.
  const std::string broken = P.Dir() + "/kaputt.png", text = P.Dir() + "/punkte.csv";
  {
    std::ofstream(broken) << "keine Bilddaten";
    std::ofstream(text) << "1,1,25\n2,1,40\nunsinn\n";
  }
  struct Import {
    std::vector<std::string> Files;
    const char* OriginX;
    bool Loaded;
  } imports[] = {{{broken}, "0", false}, {{}, "0", false}, {{broken, text}, "10", true}};
  TRRPanel* panel = Panel();
  const uint32_t grid = panel->Params().QuadWidth;
  const float before = panel->GetHeight(1 + 10 / grid, 1);
  for (const Import& im : imports) {
    const int count = H()->Count();
    const size_t boxes = P.Ui.Boxes.size();
    bool loaded = false;
    QTimer::singleShot(200, [&] {
      auto* d = qobject_cast<TPanelHeightImport*>(QApplication::activeModalWidget());
      if (!d) return;
      d->OriginXEdit()->setText(im.OriginX);
      for (const std::string& f : im.Files) {
        P.Ui.Paths.push_back(f);
        d->OpenButton()->click();
      }
      loaded = d->Loaded();
      d->accept();
    });
    page->ImportButton()->click();
    Pump(400);
    EXPECT_EQ(loaded, im.Loaded);
    EXPECT_EQ(H()->Count(), count + (im.Loaded ? 1 : 0));
    if (!im.Files.empty()) {
      ASSERT_GT(P.Ui.Boxes.size(), boxes);
      EXPECT_EQ(P.Ui.Boxes[boxes].Caption, RRTextHeightFileInvalidCaption);
    }
  }
  EXPECT_EQ(Panel()->ID(), PanelID);
  EXPECT_FLOAT_EQ(Panel()->GetHeight(1 + 10 / grid, 1), 25);
  EXPECT_FLOAT_EQ(Panel()->GetHeight(2 + 10 / grid, 1), 40);
  Undo();
  EXPECT_FLOAT_EQ(Panel()->GetHeight(1 + 10 / grid, 1), before);
}

TEST_F(PanelPages, AssistantReshapesThePanelAroundItsPivotAsOneUndoableCommand) {
  ASSERT_TRUE(Open());
  Menu()->ShowPanelPage(0);
  auto* page = dynamic_cast<TPanelMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(page->AssistantButton()->isEnabled());
  const TRRPanelParams before = Panel()->Params();
  const gx::TGXVector3 pivot = PivotInWorld(), position = Panel()->Position();
  const QString a = QString::number(before.A);

  // What the dialog does while it is open; true: OK, false: cancel.
  struct Run {
    const char* Name;
    int Unit;
    std::function<bool(TProjectPanelWindow&)> Act;
    bool Changes;
  };
  TRRPanelParams chosen;
  QStringList seen;
  const Run runs[] = {
      {"filled with the record, cancelled", 1,
       [&](TProjectPanelWindow& d) {
         seen << d.findChild<QLabel*>("CaptionLbl")->text() << d.findChild<QLabel*>("HintLbl")->text();
         EXPECT_EQ(d.TypeBox()->currentIndex(), before.Shape);
         EXPECT_EQ(d.TypeBox()->count(), 4);
         EXPECT_EQ(d.Edit(0)->text(), a);
         EXPECT_EQ(d.Edit(1)->text(), QString::number(before.B));
         EXPECT_EQ(d.Edit(2)->isVisibleTo(&d), before.Shape > 0);
         EXPECT_EQ(d.Edit(4)->isVisibleTo(&d), before.Shape == 3);
         EXPECT_EQ(d.QuadWidthBox()->currentData().toUInt(), before.QuadWidth);
         EXPECT_EQ(d.NextButton()->text(), "Ok");
         Finish(d.Edit(0), QString::number(before.A + 2 * before.QuadWidth));
         return false;
       },
       false},
      {"unchanged", 1, [](TProjectPanelWindow&) { return true; }, false},
      {"bad and absurd values", 1,
       [&](TProjectPanelWindow& d) {
         // Not a number, negative, below a centimetre: the old value stays; huge: the largest.
         for (const char* text : {"abc", "-5", "0,4", ""}) {
           Finish(d.Edit(0), text);
           EXPECT_EQ(d.Edit(0)->text(), a) << text;
         }
         Finish(d.Edit(0), "1e9");
         EXPECT_EQ(d.Edit(0)->text(), "100000");
         return false;
       },
       false},
      {"L shape, in centimetres also when the display unit is mm", 0,
       [&](TProjectPanelWindow& d) {
         EXPECT_EQ(d.Edit(0)->text(), a);
         d.TypeBox()->setCurrentIndex(2);
         EXPECT_TRUE(d.Edit(2)->isVisibleTo(&d));
         EXPECT_FALSE(d.Edit(4)->isVisibleTo(&d));
         Finish(d.Edit(0), QString::number(before.A + 40));
         chosen = d.Shape();
         return true;
       },
       true},
  };
  for (const Run& run : runs) {
    SetLengthUnit(run.Unit);
    const int count = H()->Count();
    bool ran = false;
    QTimer::singleShot(100, [&] {
      auto* d = qobject_cast<TProjectPanelWindow*>(QApplication::activeModalWidget());
      if (!d) return;
      ran = true;
      (run.Act(*d) ? d->NextButton() : d->CancelButton())->click();
    });
    page->AssistantButton()->click();
    Pump(50);
    ASSERT_TRUE(ran) << run.Name;
    EXPECT_EQ(H()->Count(), count + (run.Changes ? 1 : 0)) << run.Name;
  }
  SetLengthUnit(1);
  ASSERT_EQ(seen.size(), 2);
  EXPECT_EQ(seen[0], "Bodenplatte");
  EXPECT_EQ(seen[1], "Wählen Sie die gewünschte Grundform, die Maße sowie die Rastergröße der Bodenplatte.");
  EXPECT_EQ(chosen.Shape, 2);
  EXPECT_EQ(chosen.A, before.A + 40);
  const TRRPanelParams& now = Panel()->Params();
  EXPECT_EQ(now.Shape, 2);
  EXPECT_EQ(now.A, chosen.A);
  EXPECT_EQ(now.C, chosen.C);
  EXPECT_EQ(now.QuadWidth, chosen.QuadWidth);
  EXPECT_FLOAT_EQ(now.Thickness, before.Thickness);
  EXPECT_EQ(Panel()->ID(), PanelID);
  const gx::TGXVector3 kept = PivotInWorld();
  EXPECT_NEAR(kept.x, pivot.x, 1e-2f);
  EXPECT_NEAR(kept.y, pivot.y, 1e-2f);
  EXPECT_NEAR(kept.z, pivot.z, 1e-2f);

  Undo();
  TRRPanelParams back = Panel()->Params();
  EXPECT_EQ(back, before);
  EXPECT_NEAR(Panel()->Position().x, position.x, 1e-3f);
  EXPECT_NEAR(Panel()->Position().z, position.z, 1e-3f);
}

TEST_F(PanelPages, ShapeDialogKeepsTheChosenGridUntilTheOutlineChanges) {
  SetLengthUnit(1);
  // 300 x 150 on a 2 cm grid: the rules alone would choose 5 cm.
  TRRPanelParams record;
  record.A = 300;
  record.B = 150;
  record.QuadWidth = 2;
  TProjectPanelWindow d(record);
  EXPECT_EQ(d.QuadWidthBox()->currentData().toUInt(), 2u);
  const int ten = d.QuadWidthBox()->findData(10u);
  ASSERT_GE(ten, 0);
  d.QuadWidthBox()->setCurrentIndex(ten);
  Finish(d.Edit(1), "150");  // the same outline
  EXPECT_EQ(d.QuadWidthBox()->currentData().toUInt(), 10u);
  d.NextButton()->click();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.Shape().QuadWidth, 10u);
  Finish(d.Edit(1), "160");  // a new outline: the rules choose again
  EXPECT_EQ(d.Shape().QuadWidth, 5u);
}

TEST_F(PanelPages, HeightImportPreviewShowsWhatTheImportGives) {
  ASSERT_TRUE(Open());
  Menu()->ShowPanelPage(1);
  auto* page = dynamic_cast<TPanelHeightMenu*>(Menu()->CurrentPage());
  ASSERT_NE(page, nullptr);
  const uint32_t grid = Panel()->Params().QuadWidth;
  // Four columns of grey 0, 85, 170, 255; three text points.
  QImage picture(4, 2, QImage::Format_RGB32);
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 2; ++y) picture.setPixel(x, y, qRgb(85 * x, 85 * x, 85 * x));
  const std::string png = P.Dir() + "/rampe.png", csv = P.Dir() + "/punkte.csv";
  ASSERT_TRUE(picture.save(QString::fromStdString(png)));
  std::ofstream(csv) << "1,1,25\n2,1,40\n";

  // After reading, grid point (X, Y) has Loaded; the edit's new text makes it Changed once the
  // 500 ms timer has fired.
  struct Case {
    std::string File;
    QLineEdit* (TPanelHeightImport::*Edit)() const;
    QString Text;
    int X, Y;
    float Loaded, Changed;
  } cases[] = {
      {png, &TPanelHeightImport::HighEdit, "60", 3, 0, 100, 60},
      {png, &TPanelHeightImport::LowEdit, "30", 0, 1, 0, 30},
      {csv, &TPanelHeightImport::OriginXEdit, QString::number(grid), 2, 1, 40, 25},
      {csv, &TPanelHeightImport::OriginYEdit, "abc", 1, 1, 25, 25},
  };
  for (const Case& c : cases) {
    const int count = H()->Count();
    std::vector<float> previewed;
    bool ran = false;
    QTimer::singleShot(100, [&] {
      auto* d = qobject_cast<TPanelHeightImport*>(QApplication::activeModalWidget());
      if (!d) return;
      ran = true;
      // A failed check must still close the dialog, or the test would wait for ever.
      struct TClose {
        TPanelHeightImport* D;
        ~TClose() {
          if (D->isVisible()) D->reject();
        }
      } close{d};
      TRRPanel* shown = d->PreviewPanel();
      ASSERT_NE(shown, nullptr);
      EXPECT_TRUE(d->PreviewView()->Running());
      P.Ui.Paths.push_back(c.File);
      d->OpenButton()->click();
      ASSERT_TRUE(d->Loaded());
      EXPECT_FLOAT_EQ(shown->GetHeight(c.X, c.Y), c.Loaded) << c.File;
      (d->*c.Edit)()->setText(c.Text);
      EXPECT_TRUE(d->RecomputeTimer()->isActive());
      EXPECT_FLOAT_EQ(shown->GetHeight(c.X, c.Y), c.Loaded) << "before the timer";
      // The timer fires after 500 ms; a slow build may need longer to get to it between previews.
      Pump(600);
      for (int i = 0; i < 200 && d->RecomputeTimer()->isActive(); ++i) Pump(50);
      EXPECT_FLOAT_EQ(shown->GetHeight(c.X, c.Y), c.Changed) << c.File;
      // The preview draws the panel: its frame is more than the background.
      const QImage frame = d->PreviewView()->Picture();
      ASSERT_FALSE(frame.isNull());
      const QRgb background = frame.pixel(0, 0);
      int other = 0;
      for (int y = 0; y < frame.height(); y += 4)
        for (int x = 0; x < frame.width(); x += 4) other += frame.pixel(x, y) != background;
      EXPECT_GT(other, 50);
      previewed = Heights(*shown);
      // The result is the preview's panel, placed and numbered as the layout's.
      const std::unique_ptr<TRREntityDescription> result = d->Result();
      ASSERT_NE(result, nullptr);
      EXPECT_EQ(result->ID(), PanelID);
      EXPECT_NEAR(result->Position().x, Panel()->Position().x, 1e-4f);
      EXPECT_TRUE(result->AssetID() != Panel()->CreateDescription()->AssetID());
      d->accept();
      EXPECT_FALSE(d->PreviewView()->Running());
    });
    page->ImportButton()->click();
    Pump(300);
    ASSERT_TRUE(ran) << c.File;
    EXPECT_EQ(H()->Count(), count + 1);
    EXPECT_EQ(Panel()->ID(), PanelID);
    EXPECT_EQ(Heights(*Panel()), previewed) << c.File;
    EXPECT_FLOAT_EQ(Panel()->GetHeight(c.X, c.Y), c.Changed);
  }
}
