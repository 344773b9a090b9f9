#include "gui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <QWindow>

#include "app/RRClipboard.h"
#include "app/RRReplaceEntity.h"
#include "app/edit/RRCatalogDrop.h"
#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRHistory.h"
#include "app/RRInput.h"
#include "app/RRProject.h"
#include "app/RRProjectRenderWindow.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RREntityGroup.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackEditing.h"
#include "engine/core/GXConfiguration.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderCore.h"
#include "gui/AboutWindow.h"
#include "gui/DesktopAutomation.h"
#include "gui/LoadProgress.h"
#include "gui/OptionsWindow.h"
#include "gui/ProjectMenu.h"
#include "gui/pages/EntityMenu.h"
#include "gui/pages/EntityPage.h"
#include "gui/pages/PanelHeightMenu.h"
#include "gui/ProjectPanelWindow.h"
#include "gui/ProjectRuler.h"
#include "gui/RRQtUIService.h"
#include "gui/RRViewWidget.h"
#include "gui/SelectWindow.h"
#include "gui/SmartHints.h"
#include "gui/WelcomeWindow.h"
#include "gui/catalog/CatalogMenu.h"
#include "gui/pages/EntityMenu.h"
#include "gui/pages/EntityPage.h"
#include "gui/catalog/TrackFilterWindow.h"
#include "gui/events/EventManagerWindow.h"
#include "gui/tools/TrackEditor.h"
#include "gui/tools/TrackListWindow.h"
#include "gui/tools/TrackSolutionWindow.h"
#include "gui/tools/TrackVehicleEditor.h"

namespace rr {

// Ends a flow however the function that began it is left.
namespace {
struct TFlowEnd {
  std::function<void()> End;
  ~TFlowEnd() { End(); }
};
}  // namespace

namespace {

constexpr int kFrameMs = 40;
constexpr const char* kSampleLayout = "Documents:\\Beispielanlagen\\Kleine Beispielanlage.vmp";
constexpr const char* kTitleOpen = "Projekt öffnen...";
constexpr const char* kFilterOpen = "Projektdateien (*.vmp)";
constexpr const char* kFilterAll = "Alle Dateien (*.*)";
constexpr const char* kTitleImport = "Importieren...";
constexpr const char* kTitleExport = "Exportieren...";
constexpr const char* kTitleScreenshot = "Bildschirmfoto speichern...";
constexpr const char* kTextNoGraphics =
    "Es konnte keine kompatible Grafikkarte für die Anzeige gefunden werden. Stellen Sie sicher, dass Ihre "
    "Grafikkarte DirectX 9 unterstützt und Sie die aktuellsten Treiber installiert haben.\r\n\r\nOhne kompatible "
    "Grafikkarte können keine Projekte erzeugt oder geladen werden.";

// Tool bar icons drawn in code: a few strokes on 24 x 24 pixels in the program's colours.
QIcon DrawIcon(TRRShellAction action) {
  QPixmap pm(48, 48);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(2, 2);
  const QColor ink(0x33, 0x3D, 0x47), accent(0x2F, 0x7D, 0x4A), warm(0xC8, 0x6A, 0x1E);
  QPen pen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  auto page = [&] {
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(6, 3), QPointF(15, 3), QPointF(19, 7), QPointF(19, 21), QPointF(6, 21)}));
  };
  auto arrow = [&](bool right) {
    QPainterPath path;
    path.moveTo(right ? 5 : 19, 15);
    path.cubicTo(right ? 5 : 19, 8, right ? 12 : 12, 6, right ? 18 : 6, 9);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setBrush(ink);
    const double x = right ? 18 : 6;
    p.drawPolygon(QPolygonF({QPointF(x, 9), QPointF(x + (right ? -5 : 5), 5), QPointF(x + (right ? -4 : 4), 12)}));
  };
  switch (action) {
    case TRRShellAction::NewProject:
      page();
      p.setPen(QPen(accent, 2));
      p.drawLine(QPointF(12.5, 10), QPointF(12.5, 17));
      p.drawLine(QPointF(9, 13.5), QPointF(16, 13.5));
      break;
    case TRRShellAction::OpenProject:
      p.setBrush(QColor(0xF2, 0xC9, 0x4C));
      p.drawPolygon(QPolygonF({QPointF(3, 7), QPointF(9, 7), QPointF(11, 9), QPointF(21, 9), QPointF(21, 19),
                               QPointF(3, 19)}));
      break;
    case TRRShellAction::SaveProject:
      p.setBrush(QColor(0x4A, 0x6F, 0x9C));
      p.drawRoundedRect(QRectF(4, 4, 16, 16), 2, 2);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(8, 4, 8, 6));
      break;
    case TRRShellAction::Print:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(7, 3, 10, 7));
      p.setBrush(QColor(0x9A, 0xA4, 0xAE));
      p.drawRoundedRect(QRectF(3, 9, 18, 8), 2, 2);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(7, 14, 10, 7));
      break;
    case TRRShellAction::Undo:
      arrow(false);
      break;
    case TRRShellAction::Redo:
      arrow(true);
      break;
    case TRRShellAction::Cut:
      p.drawEllipse(QPointF(8, 17), 3, 3);
      p.drawEllipse(QPointF(16, 17), 3, 3);
      p.drawLine(QPointF(10, 15), QPointF(17, 4));
      p.drawLine(QPointF(14, 15), QPointF(7, 4));
      break;
    case TRRShellAction::Copy:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4, 4, 11, 13));
      p.drawRect(QRectF(9, 8, 11, 13));
      break;
    case TRRShellAction::Paste:
      p.setBrush(QColor(0xC9, 0xA8, 0x74));
      p.drawRoundedRect(QRectF(4, 5, 14, 16), 2, 2);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(10, 10, 10, 11));
      break;
    case TRRShellAction::Delete:
      p.setPen(QPen(QColor(0xC0, 0x30, 0x30), 2.6, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(6, 6), QPointF(18, 18));
      p.drawLine(QPointF(18, 6), QPointF(6, 18));
      break;
    case TRRShellAction::ZoomIn:
    case TRRShellAction::ZoomOut:
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(10, 10), 6.5, 6.5);
      p.drawLine(QPointF(15, 15), QPointF(21, 21));
      p.drawLine(QPointF(7, 10), QPointF(13, 10));
      if (action == TRRShellAction::ZoomIn) p.drawLine(QPointF(10, 7), QPointF(10, 13));
      break;
    case TRRShellAction::SetNight: {
      p.setBrush(QColor(0xF2, 0xD0, 0x4C));
      QPainterPath moon;
      moon.addEllipse(QPointF(12, 12), 8, 8);
      QPainterPath cut;
      cut.addEllipse(QPointF(16, 9), 7, 7);
      p.drawPath(moon.subtracted(cut));
      break;
    }
    case TRRShellAction::SimMode:
      p.setBrush(accent);
      p.setPen(Qt::NoPen);
      p.drawPolygon(QPolygonF({QPointF(7, 4), QPointF(20, 12), QPointF(7, 20)}));
      break;
    case TRRShellAction::Fullscreen:
      p.drawPolyline(QPolygonF({QPointF(4, 9), QPointF(4, 4), QPointF(9, 4)}));
      p.drawPolyline(QPolygonF({QPointF(15, 4), QPointF(20, 4), QPointF(20, 9)}));
      p.drawPolyline(QPolygonF({QPointF(20, 15), QPointF(20, 20), QPointF(15, 20)}));
      p.drawPolyline(QPolygonF({QPointF(9, 20), QPointF(4, 20), QPointF(4, 15)}));
      break;
    case TRRShellAction::ScreenToFile:
      p.setBrush(QColor(0x60, 0x6C, 0x78));
      p.drawRoundedRect(QRectF(3, 7, 18, 13), 2, 2);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(12, 13.5), 4, 4);
      p.drawRect(QRectF(8, 4, 6, 3));
      break;
    default:
      p.setBrush(warm);
      p.drawEllipse(QPointF(12, 12), 6, 6);
      break;
  }
  p.end();
  return QIcon(pm);
}

// The start picture: scaled to the client height and cut symmetrically to its aspect; strips
// left at the sides take the picture's first pixel.
void PaintStartPicture(QPainter& p, const QRect& client, const QImage& picture) {
  if (client.isEmpty()) return;
  if (picture.isNull()) {
    p.fillRect(client, QColor(0x9F, 0xC3, 0xE0));
    return;
  }
  p.fillRect(client, QColor::fromRgb(picture.pixel(0, 0)));
  const double scale = double(client.height()) / picture.height();
  const int scaledWidth = int(picture.width() * scale);
  QRect source = picture.rect();
  if (scaledWidth > client.width()) {
    const int keep = int(client.width() / scale);
    source = QRect((picture.width() - keep) / 2, 0, keep, picture.height());
  }
  const int width = std::min(scaledWidth, client.width());
  const QRect target(client.x() + (client.width() - width) / 2, client.y(), width, client.height());
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(target, picture, source);
}

}  // namespace

// The central area: the view, the project menu and the rulers where the rules place them, or the
// start picture while no layout is open.
class TCentralArea : public QWidget {
 public:
  explicit TCentralArea(QWidget* parent) : QWidget(parent), FPicture(":/Background.jpg") {}
  std::function<void()> OnResize;
  bool ShowPicture = true;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    if (ShowPicture) PaintStartPicture(p, rect(), FPicture);
    else p.fillRect(rect(), palette().window());
  }
  void resizeEvent(QResizeEvent*) override {
    if (OnResize) OnResize();
  }

 private:
  QImage FPicture;
};

void TRRQtAction::SetEnabled(bool enabled) {
  FEnabled = enabled;
  if (FAction) FAction->setEnabled(enabled);
}

void TRRQtAction::SetCaption(const std::string& caption) {
  if (FAction && !caption.empty()) FAction->setText(QString::fromStdString(caption));
}

// ---- construction -----------------------------------------------------------------------------

TMainWindow::TMainWindow(TRRGlobal& global, TRRQtUIService& ui) : FGlobal(global), FUI(ui) {
  setWindowTitle(QString("%1 %2").arg(RRPublisherName, RRProductName));
  FUI.SetParent(this);
  FCentral = new TCentralArea(this);
  setCentralWidget(FCentral);
  FView = new TRRViewWidget(FCentral);
  FView->hide();
  FProjectMenu = new TRRProjectMenu(global.Database(), ui, FCentral);
  FProjectMenu->hide();
  FLeftRuler = new TRRProjectRuler(Qt::Vertical, FCentral);
  FTopRuler = new TRRProjectRuler(Qt::Horizontal, FCentral);
  FLeftRuler->hide();
  FTopRuler->hide();
  FLoadProgress = new TRRLoadProgress(FCentral);
  FCentral->OnResize = [this] {
    FLoadProgress->setGeometry(FCentral->rect());
    RefreshState();
  };
  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  FHints = new TRRSmartHintManager(this);
  // The height page shows its hint in this window's balloons.
  TPanelHeightMenu::SetHints(FHints);
  FHints->SetEnabled(global.GeneralSettings().SmartHints);
  ConnectProject();
  ConnectCatalog();
  // The project's own progress (new and load) shows over the central area.
  FUI.SetProgressFactory([this](const std::string& caption, const std::string& text, bool) {
    return caption.empty() ? FLoadProgress->Begin(text) : nullptr;
  });

  FTickTimer.setInterval(kFrameMs);
  connect(&FTickTimer, &QTimer::timeout, this, [this] { FrameTick(); });
  connect(&FIdleTimer, &QTimer::timeout, this, [this] { FrameTick(); });
  connect(FView, &TRRViewWidget::MouseMovedTo, this, [this](QPoint at) {
    FLeftRuler->SetMouse(at.y());
    FTopRuler->SetMouse(at.x());
  });
  RestorePlacement();
  FAutoTerrain = global.GeneralSettings().AutoTerrainAlignment;
  global.SetSettingsChangedHandler([this] { SettingsChanged(); });
  RefreshState();
}

TMainWindow::~TMainWindow() {
  FCatalogDrop.reset();
  FGlobal.Database().SetChangeHandler(nullptr);
  FGlobal.SetSettingsChangedHandler(nullptr);
  StopFrameLoop();
  FUI.SetProgressFactory(nullptr);
  TRRProject& project = Project();
  // The render settings read meanwhile stay; only the window's own callbacks go.
  const TRRProjectServices& now = project.Services();
  FSavedServices.TextureQuality = now.TextureQuality;
  FSavedServices.MultiSample = now.MultiSample;
  FSavedServices.PlanarReflectionQuality = now.PlanarReflectionQuality;
  FSavedServices.EnvironmentQuality = now.EnvironmentQuality;
  project.EditServices() = FSavedServices;
  FUI.SetParent(nullptr);
}

TRRProject& TMainWindow::Project() const { return FGlobal.Project(); }
QWidget* TMainWindow::ProjectMenu() const { return FProjectMenu; }

QAction* TMainWindow::Add(TRRShellAction id, const QString& caption, const QKeySequence& key,
                          std::function<void()> slot, bool checkable) {
  auto* a = new QAction(caption, this);
  if (!key.isEmpty()) a->setShortcut(key);
  a->setCheckable(checkable);
  if (id == TRRShellAction::NewProject || id == TRRShellAction::OpenProject || id == TRRShellAction::SaveProject ||
      id == TRRShellAction::Print || id == TRRShellAction::Undo || id == TRRShellAction::Redo ||
      id == TRRShellAction::Cut || id == TRRShellAction::Copy || id == TRRShellAction::Paste ||
      id == TRRShellAction::Delete || id == TRRShellAction::ZoomIn || id == TRRShellAction::ZoomOut ||
      id == TRRShellAction::SetNight || id == TRRShellAction::SimMode || id == TRRShellAction::Fullscreen ||
      id == TRRShellAction::ScreenToFile)
    a->setIcon(DrawIcon(id));
  connect(a, &QAction::triggered, this, [this, slot] { Guarded(slot); });
  FActions[static_cast<size_t>(id)] = a;
  addAction(a);  // shortcuts work with hidden bars (full screen) too
  return a;
}

void TMainWindow::CreateActions() {
  using A = TRRShellAction;
  Add(A::NewProject, "&Neues Projekt...", QKeySequence::New, [this] { NewProject(); });
  Add(A::OpenProject, "Projekt ö&ffnen...", QKeySequence::Open, [this] { OpenProject(); });
  Add(A::SaveProject, "Projekt &speichern", QKeySequence::Save, [this] { SaveProject(); });
  Add(A::SaveProjectAs, "Projekt speichern &unter...", QKeySequence("Ctrl+Shift+S"), [this] { SaveProjectAs(); });
  Add(A::CloseProject, "Projekt s&chließen", QKeySequence("Ctrl+W"), [this] { CloseProjectFlow(); });
  Add(A::Import, "&Importieren...", QKeySequence("Ctrl+I"), [this] { Import(); });
  Add(A::Export, "&Exportieren...", QKeySequence("Ctrl+E"), [this] { Export(); });
  Add(A::Print, "&Drucken...", QKeySequence::Print, [this] { Print(); });
  Add(A::ScreenToClipboard, "Bildschirmfoto in die &Zwischenablage", {}, [this] { ScreenToClipboard(); });
  Add(A::ScreenToFile, "Bildschirmfoto s&peichern...", {}, [this] { ScreenToFile(); });
  Add(A::Exit, "&Beenden", QKeySequence("Ctrl+Q"), [this] { close(); });
  QAction* undo = Add(A::Undo, "Rückgängig", QKeySequence::Undo, [this] {
    if (TRRHistory* h = Project().History()) h->Undo();
    RefreshState();
  });
  QAction* redo = Add(A::Redo, "Wiederherstellen", {}, [this] {
    if (TRRHistory* h = Project().History()) h->Redo();
    RefreshState();
  });
  redo->setShortcuts({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")});
  FUndo.Bind(undo);
  FRedo.Bind(redo);
  Add(A::Cut, "Aus&schneiden", QKeySequence::Cut, [this] {
    TRREntityManager* m = Project().Manager();
    if (!m) return;
    FGlobal.Clipboard().Copy(m->Selection());
    if (m->CanDeleteSelection()) m->DeleteSelection();
  });
  Add(A::Copy, "&Kopieren", QKeySequence::Copy, [this] {
    if (TRREntityManager* m = Project().Manager()) FGlobal.Clipboard().Copy(m->Selection());
    RefreshState();
  });
  QAction* paste = Add(A::Paste, "&Einfügen", QKeySequence::Paste, [this] {
    if (TRREntityManager* m = Project().Manager()) FGlobal.Clipboard().Paste(*m);
  });
  FPaste.Bind(paste);
  Add(A::Delete, "&Löschen", QKeySequence::Delete, [this] {
    TRREntityManager* m = Project().Manager();
    if (m && m->CanDeleteSelection()) m->DeleteSelection();
  });
  Add(A::Group, "&Gruppieren", QKeySequence("Ctrl+G"), [this] {
    if (TRREntityManager* m = Project().Manager()) m->GroupSelection();
  });
  Add(A::ReleaseGroup, "Gruppierung auf&heben", QKeySequence("Ctrl+Shift+G"), [this] {
    if (TRREntityManager* m = Project().Manager()) m->UngroupSelection();
  });
  Add(A::Select, "Aus&wählen...", QKeySequence::Find, [this] {
    TRREntityManager* m = Project().Manager();
    if (!m || FInFlow) return;
    TSelectWindow window(*m, this);
    if (window.exec() != QDialog::Accepted) return;
    // The layout may have been closed while the window was open.
    if (Project().Manager() == m) window.Apply(*m);
  });
  Add(A::SelectAll, "&Alles auswählen", QKeySequence::SelectAll, [this] { SelectAll(); });
  Add(A::Center, "&Zentrieren", {}, [this] {
    TRREntityManager* m = Project().Manager();
    auto* camera = dynamic_cast<TRRCamera*>(Project().ActiveCamera());
    if (!m || !camera) return;
    camera->FrameEntities(std::vector<TRREntity*>(m->Selection().begin(), m->Selection().end()));
  });
  Add(A::ZoomIn, "&Vergrößern", QKeySequence("Ctrl++"), [this] { SendViewKey(107); });
  Add(A::ZoomOut, "Ver&kleinern", QKeySequence("Ctrl+-"), [this] { SendViewKey(109); });
  Add(A::SetNight, "&Nacht", {}, [this] { ToggleNight(); }, true);
  Add(A::SimMode, "&Simulationsmodus", {}, [this] { SetSimulationMode(!FSimulationMode); }, true);
  Add(A::ShowGizmo, "&Gizmo anzeigen", {}, [this] { ToggleDisplay(TRRShellAction::ShowGizmo); }, true);
  Add(A::ShowSelectionBorder, "Selektions&rahmen anzeigen", {},
      [this] { ToggleDisplay(TRRShellAction::ShowSelectionBorder); }, true);
  Add(A::ShowActiveTrack, "Aktive &Weichenstellungen anzeigen", {},
      [this] { ToggleDisplay(TRRShellAction::ShowActiveTrack); }, true);
  Add(A::ShowToolbar, "Werkzeug&leiste", {}, [this] { ToggleBar(TRRShellAction::ShowToolbar); }, true);
  Add(A::ShowProjectMenu, "&Projektmenü", {}, [this] { ToggleBar(TRRShellAction::ShowProjectMenu); }, true);
  Add(A::ShowStatusBar, "S&tatusleiste", {}, [this] { ToggleBar(TRRShellAction::ShowStatusBar); }, true);
  Add(A::Fullscreen, "Voll&bild", QKeySequence(Qt::Key_F12), [this] { ToggleFullScreen(); }, true);
  Add(A::AutoTerrainAlign, "Automatische &Geländeanpassung", {}, [this] {
    FAutoTerrain = !FAutoTerrain;
    FGlobal.SettingsNode("GeneralSettings")->WriteBoolean("AutoTerrainAlignment", FAutoTerrain);
    RefreshState();
  }, true);
  Add(A::Animations, "&Animationen", {}, [this] {
    FGlobal.SetAnimations(Action(TRRShellAction::Animations)->isChecked());
  }, true);
  Add(A::Sounds, "Ge&räusche", {}, [this] {
    FGlobal.SetSoundEnabled(Action(TRRShellAction::Sounds)->isChecked());
  }, true);
  Add(A::ShowTrackList, "&Stückliste...", {}, [this] { ShowTrackList(); });
  Add(A::ShowEventManager, "&Ereignisverwaltung...", {}, [this] { ShowEventManager(); });
  Add(A::ShowTrackSolution, "Gleis&lösung...", {}, [this] { ShowTrackSolution(); });
  Add(A::EditTrack, "Gle&iseditor...", {}, [this] { EditTrack(); });
  Add(A::SaveDB, "&Datenbank speichern", {}, [this] {
    FGlobal.Database().WriteChangesWithProgress(FUI);
    // Writing reads every package anew: the tree's entries are gone.
    FProjectMenu->FillCatalogue();
    RefreshState();
  });
  Add(A::ConfigAssetPaths, "&Paketordner...", {}, [this] { ShowOptions(TOptionsWindow::PackageFolders); });
  Add(A::Options, "&Optionen...", {}, [this] { ShowOptions(); });
  Add(A::Manual, "&Handbuch", QKeySequence(Qt::Key_F1), [this] {
    const QString manual = QDir(QCoreApplication::applicationDirPath()).filePath("Handbuch.pdf");
    if (!QFileInfo::exists(manual) || !QDesktopServices::openUrl(QUrl::fromLocalFile(manual)))
      FUI.ShowMessage("Das Handbuch \"" + manual.toStdString() + "\" wurde nicht gefunden.", "Hinweis",
                      TRRMessageIcon::Information);
  });
  Add(A::Welcome, "&Willkommensfenster...", {}, [this] { ShowWelcome(); });
  Add(A::Update, QString("%1 &aktualisieren").arg(RRProductName), {}, [this] {
    FUI.ShowMessage("Die Suche nach Aktualisierungen ist ausgeschaltet: es ist kein Aktualisierungsserver "
                    "eingestellt.",
                    "Hinweis", TRRMessageIcon::Information);
  });
  Add(A::Forum, "&Diskussionsforum", {}, [] { QDesktopServices::openUrl(QUrl(RRPublisherWeb)); });
  Add(A::About, QString("Ü&ber %1...").arg(RRProductName), {}, [this] { ShowAbout(); });
  for (int i = 0; i < 9; ++i) {
    auto* a = new QAction(this);
    connect(a, &QAction::triggered, this, [this, i] { Guarded([this, i] { OpenRecent(i); }); });
    FRecent[size_t(i)] = a;
  }
}

void TMainWindow::CreateMenus() {
  using A = TRRShellAction;
  FFileMenu = menuBar()->addMenu("&Datei");
  for (A a : {A::NewProject, A::OpenProject}) FFileMenu->addAction(Action(a));
  FFileMenu->addSeparator();
  for (QAction* r : FRecent) FFileMenu->addAction(r);
  FFileMenu->addSeparator();
  for (A a : {A::SaveProject, A::SaveProjectAs, A::CloseProject}) FFileMenu->addAction(Action(a));
  FFileMenu->addSeparator();
  for (A a : {A::Import, A::Export}) FFileMenu->addAction(Action(a));
  FFileMenu->addSeparator();
  for (A a : {A::Print, A::ScreenToClipboard, A::ScreenToFile}) FFileMenu->addAction(Action(a));
  FFileMenu->addSeparator();
  FFileMenu->addAction(Action(A::Exit));

  QMenu* edit = menuBar()->addMenu("&Bearbeiten");
  for (A a : {A::Undo, A::Redo}) edit->addAction(Action(a));
  edit->addSeparator();
  for (A a : {A::Cut, A::Copy, A::Paste, A::Delete}) edit->addAction(Action(a));
  edit->addSeparator();
  for (A a : {A::Group, A::ReleaseGroup}) edit->addAction(Action(a));
  edit->addSeparator();
  for (A a : {A::Select, A::SelectAll}) edit->addAction(Action(a));

  QMenu* view = menuBar()->addMenu("&Ansicht");
  for (A a : {A::Center, A::ZoomIn, A::ZoomOut}) view->addAction(Action(a));
  view->addSeparator();
  for (A a : {A::SetNight, A::SimMode}) view->addAction(Action(a));
  view->addSeparator();
  for (A a : {A::ShowGizmo, A::ShowSelectionBorder, A::ShowActiveTrack}) view->addAction(Action(a));
  view->addSeparator();
  for (A a : {A::ShowToolbar, A::ShowProjectMenu, A::ShowStatusBar, A::Fullscreen}) view->addAction(Action(a));

  FCameraMenu = menuBar()->addMenu("&Kameras");

  QMenu* extras = menuBar()->addMenu("E&xtras");
  for (A a : {A::AutoTerrainAlign, A::Animations, A::Sounds}) extras->addAction(Action(a));
  extras->addSeparator();
  for (A a : {A::ShowTrackList, A::ShowEventManager, A::ShowTrackSolution, A::EditTrack})
    extras->addAction(Action(a));
  extras->addSeparator();
  for (A a : {A::SaveDB, A::ConfigAssetPaths, A::Options}) extras->addAction(Action(a));

  QMenu* help = menuBar()->addMenu("&Hilfe");
  for (A a : {A::Manual, A::Welcome}) help->addAction(Action(a));
  help->addSeparator();
  for (A a : {A::Update, A::Forum}) help->addAction(Action(a));
  help->addSeparator();
  help->addAction(Action(A::About));
}

void TMainWindow::CreateToolBar() {
  using A = TRRShellAction;
  FToolBar = addToolBar("Werkzeugleiste");
  FToolBar->setObjectName("Werkzeugleiste");
  FToolBar->setMovable(false);
  FToolBar->setIconSize(QSize(24, 24));
  for (A a : {A::NewProject, A::OpenProject, A::SaveProject, A::Print}) FToolBar->addAction(Action(a));
  FToolBar->addSeparator();
  for (A a : {A::Undo, A::Redo}) FToolBar->addAction(Action(a));
  FToolBar->addSeparator();
  for (A a : {A::Cut, A::Copy, A::Paste, A::Delete}) FToolBar->addAction(Action(a));
  FToolBar->addSeparator();
  for (A a : {A::ZoomIn, A::ZoomOut, A::SetNight, A::SimMode, A::Fullscreen, A::ScreenToFile})
    FToolBar->addAction(Action(a));
}

void TMainWindow::CreateStatusBar() {
  for (size_t i = 0; i < FPanels.size(); ++i) {
    FPanels[i] = new QLabel(this);
    FPanels[i]->setMinimumWidth(i == 0 ? 0 : 160);
    statusBar()->addPermanentWidget(FPanels[i], i == 0 ? 1 : 0);
  }
}

// The project's callbacks into the window; the services it had are given back when the window goes.
void TMainWindow::ConnectProject() {
  TRRProject& project = Project();
  FSavedServices = project.Services();
  TRRProjectServices& s = project.EditServices();
  s.ViewSurface = &FView->Surface();
  s.UndoAction = &FUndo;
  s.RedoAction = &FRedo;
  s.PasteAction = &FPaste;
  FGlobal.Clipboard().SetPasteAction(&FPaste);
  s.CaptureMouse = [this] { FView->CaptureMouse(); };
  s.ReleaseMouse = [this] { FView->ReleaseMouse(); };
  s.CamerasChanged = [this] { RebuildCameraMenu(); };
  s.RulersChanged = [this] { UpdateRulers(); };
  s.ShowFPSText = [this](const std::string& text) { FPanels[2]->setText(QString::fromStdString(text)); };
  s.ShowStatusText = [this](const std::string& text) { FPanels[1]->setText(QString::fromStdString(text)); };
  s.SelectionChanged = [this] {
    FProjectMenu->ShowSelection(&Project());
    RefreshState();
  };
  s.EntityMenuPage = [this] { return FProjectMenu->EntityMenu()->EntityMenuPage(); };
  s.ShowEntityMenuPage = [this](int32_t page) { FProjectMenu->EntityMenu()->ShowEntityMenuPage(page); };
  s.SelectionBordersEnabled = [this] { return FShowSelectionBorder; };
  s.KeyDown = [this](int32_t key) { return FView->KeyDown(key); };
  s.GizmoEnabled = [this] { return FShowGizmo; };
  s.AutoTerrainAlign = [this] { return FAutoTerrain; };
  FView->SetFollowHandler([this](bool following) {
    if (TRRProjectRenderWindow* w = Project().RenderWindow()) w->SetFollowingPointer(following);
  });
  FView->SetInputHandler([this](const TRRInputRecord& record) {
    TRREntityManager* m = Project().Manager();
    TRRProjectRenderWindow* w = Project().RenderWindow();
    if (!m || !w || !Project().IsOpen()) return false;
    bool handled = false;
    Guarded([&] { handled = m->HandleInput(w, record); });
    return handled;
  });
}

// ---- catalogue --------------------------------------------------------------------------------

void TMainWindow::ConnectCatalog() {
  TRRCatalogMenu::THooks h;
  h.TrackFilter = [this]() -> TRRTrackParameters* {
    return Project().IsOpen() ? &Project().TrackParameters() : nullptr;
  };
  h.EditTrackFilter = [this] { EditTrackFilter(); };
  h.Usage = [this] { return Project().AssetUsage(); };
  h.Selection = [this] {
    std::vector<TRREntity*> selected;
    if (TRREntityManager* m = Project().Manager(); m && Project().IsOpen())
      for (TRREntity* e : m->Selection()) selected.push_back(e);
    return selected;
  };
  h.AddAssetPath = [this](const std::string& folder) {
    std::vector<TRRAssetPath> paths = FGlobal.GetAssetPaths();
    for (const TRRAssetPath& p : paths)
      if (p.Path == folder) return;
    paths.push_back({folder, false});
    FGlobal.SetAssetPaths(paths);
  };
  h.ModeChanged = [this](bool edit) {
    FGlobal.SettingsNode("Catalog")->WriteInteger("Mode", edit ? 1 : 0);
    if (edit && Catalog()->isVisible())
      FHints->Show("catalog-edit", RRHintTitle,
                   "Im Bearbeitungsmodus legen Sie eigene Pakete und Verzeichnisse an und nehmen das ausgewählte "
                   "Objekt der Anlage mit \"Objekt hinzufügen\" in den Katalog auf. Die Grundpakete sind "
                   "schreibgeschützt; \"Datenbank speichern\" schreibt Ihre Änderungen.",
                   Catalog()->mapToGlobal(QPoint(Catalog()->width() - 340, -110)));
  };
  h.DragStarted = [this](const TRREntityDescription& entry, bool editMode) { BeginCatalogDrag(entry, editMode); };
  h.DragEnded = [this](bool dropped) { EndCatalogDrag(dropped); };
  h.Changed = [this] { RefreshState(); };
  Catalog()->SetHooks(std::move(h));
  // "(ändern)" on the track page and "Modell bearbeiten" on the vehicle page open their editors.
  connect(FProjectMenu->EntityMenu(), &TRREntityMenu::EditorRequested, this, [this](TRREntityPageKind kind) {
    if (kind == TRREntityPageKind::Track && Action(TRRShellAction::EditTrack)->isEnabled()) EditTrack();
    if (kind == TRREntityPageKind::TrackVehicle) EditVehicleModel();
  });
  // Downloaded packages and catalogue edits change the database outside the tree: it is built
  // anew once the change is done (deferred, so a change inside a drag or a flow finishes first).
  FGlobal.Database().SetChangeHandler([this] {
    if (FCatalogRefreshPending) return;
    FCatalogRefreshPending = true;
    QTimer::singleShot(0, this, [this] {
      FCatalogRefreshPending = false;
      FProjectMenu->FillCatalogue();
      RefreshState();
    });
  });
  Catalog()->SetEditMode(FGlobal.SettingsNode("Catalog")->ReadInteger("Mode", 0) == 1);
  FView->SetDropHandlers(
      [this](QPoint at) {
        bool over = false;
        if (FCatalogDrop) Guarded([&] { over = FCatalogDrop->Over(at.x(), at.y()); });
        return over;
      },
      [this] {
        TRREntity* placed = nullptr;
        if (FCatalogDrop) Guarded([&] { placed = FCatalogDrop->Drop(); });
        RefreshState();
        if (placed)
          FHints->Show("placed", RRHintTitle,
                       "Mit den Pfeilen des Gizmos verschieben Sie das Objekt entlang einer Achse, mit den Ringen "
                       "drehen Sie es. W/S, A/D und Q/Y schieben es in kleinen Schritten; Strg+Z nimmt das "
                       "Platzieren zurück.",
                       FView->mapToGlobal(QPoint(16, 16)));
        return placed != nullptr;
      });
}

TRRCatalogMenu* TMainWindow::Catalog() const { return FProjectMenu->Catalog(); }

void TMainWindow::BeginCatalogDrag(const TRREntityDescription& entry, bool editMode) {
  FCatalogDrop.reset();
  TRREntityManager* m = Project().Manager();
  if (!m || !Project().IsOpen()) return;
  // Entries dragged in normal mode take the layout's one scale (when its filter leaves one).
  float scale = 0;
  if (!editMode && !Project().TrackParameters().AutomaticScale(scale)) scale = 0;
  FCatalogDrop = std::make_unique<TRRCatalogDrop>(*m, entry, scale);
}

void TMainWindow::EndCatalogDrag(bool dropped) {
  if (!FCatalogDrop) return;
  if (!dropped) Guarded([&] { FCatalogDrop->Cancel(); });
  FCatalogDrop.reset();
  RefreshState();
}

void TMainWindow::ShowEventManager() {
  if (!Project().IsOpen() || !Project().EventManager() || !BeginFlow()) return;
  // A flow: no automation client closes the layout under the window.
  TFlowEnd end{[this] { EndFlow(); }};
  TEventManagerWindow window(FGlobal, FUI, this);
  FEventManager = &window;
  window.exec();
  FEventManager = nullptr;
  RefreshState();
}

void TMainWindow::EditTrack() {
  TRREntityManager* m = Project().Manager();
  if (!m || !Project().IsOpen() || m->Selection().Count() != 1) return;
  // A flow: no other flow (an automation client) may close the layout under the window.
  if (!BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  auto* track = dynamic_cast<TRRTrack*>(m->Selection().First());
  if (!track) return;
  const int32_t id = track->ID();
  const std::unique_ptr<TRRTrackDesc> start = track->ToDescription();
  TRREntityDescriptionList catalogue(false);
  FGlobal.Database().CollectCatalogByClass(TRRTrackDesc::StaticClass(), catalogue);
  TTrackEditor editor(this, *start, &catalogue, FGlobal.LengthUnit(), FGlobal.AngleUnit(), FUI);
  FTrackEditor = &editor;
  const bool ok = editor.exec() == QDialog::Accepted;
  FTrackEditor = nullptr;
  std::unique_ptr<TRRTrackDesc> made = editor.TakeDescription();
  // The track, even the layout, may have gone while the window was open (undo, the automation
  // interface).
  if (!ok || !made || !Project().IsOpen() || Project().Manager() != m) return;
  track = dynamic_cast<TRRTrack*>(m->FindByID(id));
  if (!track) return;
  Guarded([&] { RRReplaceTrack(*m, *track, *made); });
  RefreshState();
}

void TMainWindow::EditVehicleModel() {
  TRREntityManager* m = Project().Manager();
  if (!m || !Project().IsOpen() || m->Selection().Count() != 1) return;
  // A flow: no other flow (an automation client) may close the layout under the window.
  if (!BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  auto* vehicle = dynamic_cast<TRRTrackVehicle*>(m->Selection().First());
  if (!vehicle) return;
  const int32_t id = vehicle->ID();
  const std::unique_ptr<TRREntityDescription> start = vehicle->CreateDescription();
  auto* desc = dynamic_cast<TRRTrackVehicleDesc*>(start.get());
  if (!desc) return;
  TTrackVehicleEditor editor(this, *desc, FGlobal.LengthUnit(), FUI);
  FVehicleEditor = &editor;
  const bool ok = editor.exec() == QDialog::Accepted;
  FVehicleEditor = nullptr;
  std::unique_ptr<TRRTrackVehicleDesc> made = editor.TakeDescription();
  // The vehicle, even the layout, may have gone while the window was open.
  if (!ok || !made || !Project().IsOpen() || Project().Manager() != m) return;
  TRREntity* still = m->FindByID(id);
  if (!still) return;
  Guarded([&] { RRReplaceEntity(*m, *still, *made); });
  RefreshState();
}

void TMainWindow::EditTrackFilter() {
  if (!Project().IsOpen() || !BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  TTrackFilterWindow window(this, Project().TrackParameters());
  if (window.exec() != QDialog::Accepted) return;
  Project().TrackParameters().Assign(window.Filter());
  Project().SetModified();
  FProjectMenu->FillCatalogue();
  RefreshState();
}

// ---- state ------------------------------------------------------------------------------------

TRRShellSnapshot TMainWindow::Snapshot() const {
  TRRShellSnapshot s;
  TRRProject& project = Project();
  s.ProjectOpen = project.IsOpen();
  s.FileName = project.FileName();
  if (TRREntityManager* m = project.Manager(); m && s.ProjectOpen) {
    for (TRREntity* e : m->Selection()) {
      ++s.Selection.Count;
      if (e->IsFixed()) ++s.Selection.FixedCount;
      if (e->Is<TRREntityGroup>()) ++s.Selection.GroupCount;
      if (e->Is<TRRTrack>()) ++s.Selection.TrackCount;
    }
  }
  s.ClipboardEmpty = FGlobal.Clipboard().Count() == 0;
  if (TRRLight* light = s.ProjectOpen ? project.Light() : nullptr) {
    s.HasLight = true;
    s.LightPreset = light->ActiveIndex();
  }
  s.DatabaseModified = FGlobal.Database().IsModified();
  s.Animations = FGlobal.Animations();
  s.Sounds = FGlobal.SoundEnabled();
  s.AutoTerrainAlign = FAutoTerrain;
  s.SimulationMode = FSimulationMode;
  s.ShowGizmo = FShowGizmo;
  s.ShowSelectionBorder = FShowSelectionBorder;
  s.ShowActiveTrack = FShowActiveTrack;
  s.FullScreen = FFullScreen;
  s.Windowed = FWindowed;
  s.FullScreenFlags = FFullScreenFlags;
  if (auto* camera = dynamic_cast<TRRCamera*>(project.ActiveCamera()); camera && s.ProjectOpen)
    s.ActiveCameraType = camera->Type();
  s.ClientWidth = FCentral->width();
  s.ClientHeight = FCentral->height();
  s.RecentProjects = FGlobal.RecentProjects();
  return s;
}

void TMainWindow::RefreshState() {
  const TRRShellState state(Snapshot());
  // The layout's track filter narrows the catalogue while a layout is open.
  if (Project().IsOpen() != FCatalogForOpen) {
    FCatalogForOpen = Project().IsOpen();
    FProjectMenu->FillCatalogue();
  }
  // Simulation mode moves nothing by hand.
  if (TRREntityManager* m = Project().Manager()) m->SetTransformEnabled(!FSimulationMode);
  for (int i = 0; i < RRShellActionCount; ++i) {
    const auto id = static_cast<TRRShellAction>(i);
    QAction* a = FActions[size_t(i)];
    if (!a) continue;
    // Undo, redo and paste follow the history and the clipboard as they tell their actions.
    if (id == TRRShellAction::Undo || id == TRRShellAction::Redo) {
      const bool open = Project().IsOpen();
      a->setEnabled(open && (id == TRRShellAction::Undo ? FUndo.Enabled() : FRedo.Enabled()));
      continue;
    }
    const TRRShellActionState st = state.Action(id);
    a->setEnabled(st.Enabled);
    if (a->isCheckable()) a->setChecked(st.Checked);
    a->setVisible(st.Visible);
  }
  setWindowTitle(QString::fromStdString(state.Caption()));
  const std::vector<std::string> captions = state.RecentCaptions();
  for (size_t i = 0; i < FRecent.size(); ++i) {
    FRecent[i]->setVisible(i < captions.size());
    if (i < captions.size()) FRecent[i]->setText(QString::fromStdString(captions[i]));
  }
  ApplyLayout(state);
}

void TMainWindow::ApplyLayout(const TRRShellState& state) {
  const TRRMainWindowViewFlags bars = state.BarsInUse();
  menuBar()->setVisible(bars.CoolBar);
  FToolBar->setVisible(bars.CoolBar && bars.ToolBar);
  statusBar()->setVisible(bars.StatusBar);
  const TRRShellLayout layout = state.Layout();
  FCentral->ShowPicture = layout.StartPicture;
  // The geometry first: a view shown afterwards takes its size at once.
  auto place = [](QWidget* w, const TRRShellRect& r) {
    if (r.Visible) w->setGeometry(r.X, r.Y, std::max(r.Width, 0), std::max(r.Height, 0));
    w->setVisible(r.Visible && r.Width > 0 && r.Height > 0);
  };
  place(FView, layout.View);
  place(FProjectMenu, layout.ProjectMenu);
  place(FLeftRuler, layout.LeftRuler);
  place(FTopRuler, layout.TopRuler);
  if (FLoadProgress->isVisible()) FLoadProgress->raise();
  FCentral->update();
  UpdateRulers();
  // The check marks follow what is really shown.
  Action(TRRShellAction::ShowToolbar)->setChecked(FToolBar->isVisible());
  Action(TRRShellAction::ShowProjectMenu)->setChecked(FProjectMenu->isVisible());
  Action(TRRShellAction::ShowStatusBar)->setChecked(statusBar()->isVisible());
  Action(TRRShellAction::Fullscreen)->setChecked(FFullScreen);
}

void TMainWindow::UpdateRulers() {
  if (!FLeftRuler->isVisible()) return;
  auto* camera = dynamic_cast<TRRCamera*>(Project().ActiveCamera());
  gx::TGXCamera* engine = camera ? camera->EngineCamera() : nullptr;
  const int w = FView->width(), h = FView->height();
  if (!engine || h <= 0 || w <= 0) return;
  // The top-down camera looks straight down: x to the right, z up the screen.
  const gx::TGXVector3 at = camera->WorldPosition();
  const double perPixel = double(engine->OrthoHeight()) / h;
  FTopRuler->SetMapping(at.x - perPixel * w / 2, perPixel, RRRulerSize);
  FLeftRuler->SetMapping(at.z + perPixel * h / 2, perPixel, 0);  // beside the view, from its top
  FLeftRuler->SetUnit(FGlobal.LengthUnitFactor(), QString::fromStdString(FGlobal.LengthUnitName()));
  FTopRuler->SetUnit(FGlobal.LengthUnitFactor(), QString::fromStdString(FGlobal.LengthUnitName()));
}

void TMainWindow::RebuildCameraMenu() {
  FCameraMenu->clear();
  TRREntityManager* m = Project().Manager();
  if (!m || !Project().IsOpen()) {
    FCameraMenu->setEnabled(false);
    return;
  }
  std::vector<TRRCamera*> cameras;
  std::vector<TRRCameraMenuEntry> entries;
  for (TRREntity* e : m->Cameras())
    if (auto* c = dynamic_cast<TRRCamera*>(e)) {
      cameras.push_back(c);
      entries.push_back({c->Type(), c == Project().ActiveCamera()});
    }
  QMenu* cockpits = nullptr;
  auto* group = new QActionGroup(FCameraMenu);
  for (const TRRCameraMenuItem& item : RRCameraMenu(entries)) {
    if (item.Kind == TRRCameraMenuItem::Separator) {
      FCameraMenu->addSeparator();
      continue;
    }
    if (item.Kind == TRRCameraMenuItem::CockpitSubmenu) {
      cockpits = FCameraMenu->addMenu(RRTextCockpitCameras);
      continue;
    }
    TRRCamera* camera = cameras[size_t(item.Index)];
    QMenu* menu = item.InSubmenu && cockpits ? cockpits : FCameraMenu;
    QAction* a = menu->addAction(QString::fromStdString(RREscapeMnemonic(camera->Name())));
    a->setCheckable(true);
    a->setChecked(item.Checked);
    group->addAction(a);
    const int32_t id = camera->ID();
    connect(a, &QAction::triggered, this, [this, id] {
      Guarded([this, id] {
        TRREntityManager* manager = Project().Manager();
        if (TRREntity* e = manager ? manager->FindByID(id) : nullptr) Project().SetActiveCamera(e);
        RebuildCameraMenu();
        RefreshState();
      });
    });
  }
  FCameraMenu->setEnabled(!cameras.empty());
}

// ---- frame loop -------------------------------------------------------------------------------

void TMainWindow::StartFrameLoop() {
  FTickTimer.start();
  // With vertical sync idle frames come at most at the screen's rate.
  const QScreen* s = screen();
  const double rate = s ? s->refreshRate() : 60;
  FIdleTimer.start(FGlobal.RenderSettings().VSync && rate > 0 ? int(1000 / rate) : 0);
}

void TMainWindow::StopFrameLoop() {
  FTickTimer.stop();
  FIdleTimer.stop();
}

void TMainWindow::FrameTick() {
  TRRProject& project = Project();
  if (!project.IsOpen()) {
    StopFrameLoop();
    return;
  }
  // A minimised window or an empty view draws nothing: only the 40 ms timer keeps time going.
  if (sender() == &FIdleTimer && FView->Hidden()) return;
  project.Tick();
}

// ---- flows ------------------------------------------------------------------------------------

bool TMainWindow::BeginFlow() {
  if (FInFlow) return false;
  FInFlow = true;
  return true;
}

void TMainWindow::EndFlow() { FInFlow = false; }


void TMainWindow::Guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    FGlobal.HandleException(std::current_exception());
  }
}

bool TMainWindow::CloseProjectFlow() {
  if (!BeginFlow()) return false;
  TFlowEnd end{[this] { EndFlow(); }};
  TRRProject& project = Project();
  const bool closed = !project.IsOpen() || project.CloseQuery();
  if (!project.IsOpen()) {
    StopFrameLoop();
    FView->ClearFrame();
    FPanels[1]->clear();
    FPanels[2]->clear();
    FSimulationMode = false;
    FShowGizmo = FShowSelectionBorder = FShowActiveTrack = true;
  }
  RebuildCameraMenu();
  RefreshState();
  return closed;
}

void TMainWindow::NewProject() {
  if (FInFlow) return;
  if (!gx::GXCurrentRenderCore()) {
    FUI.ShowMessage(kTextNoGraphics, "Hinweis", TRRMessageIcon::Warning);
    return;
  }
  TProjectPanelWindow dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (!CloseProjectFlow() || Project().IsOpen()) return;
  if (!BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  RefreshState();  // the view takes its place before the first frame is drawn
  if (Project().NewProject(dialog.TrackParameters(), dialog.ShapeBytes())) StartFrameLoop();
  RebuildCameraMenu();
  RefreshState();
}

bool TMainWindow::OpenProjectFile(const QString& fileName) {
  if (FInFlow) return false;
  if (!gx::GXCurrentRenderCore()) {
    FUI.ShowMessage(kTextNoGraphics, "Hinweis", TRRMessageIcon::Warning);
    return false;
  }
  if (!CloseProjectFlow() || Project().IsOpen()) return false;
  if (!BeginFlow()) return false;
  TFlowEnd end{[this] { EndFlow(); }};
  FCentral->ShowPicture = false;
  RefreshState();
  const bool ok = Project().LoadProject(fileName.toStdString(), true);
  if (ok) StartFrameLoop();
  RebuildCameraMenu();
  RefreshState();
  return ok;
}

QString TMainWindow::InitialOpenFolder() const {
  const std::string& current = Project().FileName();
  if (!current.empty()) return QFileInfo(QString::fromStdString(current)).absolutePath();
  if (!FGlobal.RecentProjects().empty())
    return QFileInfo(QString::fromStdString(FGlobal.RecentProjects().front())).absolutePath();
  return {};
}

void TMainWindow::OpenProject() {
  if (FInFlow) return;
  TRRFileDialogOptions o;
  o.Title = kTitleOpen;
  o.Filters = {{kFilterOpen, "*.vmp"}, {kFilterAll, "*.*"}};
  o.InitialFolder = InitialOpenFolder().toStdString();
  std::optional<std::string> file = FUI.OpenFileDialog(o);
  if (file) OpenProjectFile(QString::fromStdString(*file));
}

void TMainWindow::OpenRecent(int index) {
  // The path is taken now: the list may change during the close question.
  const std::vector<std::string>& recent = FGlobal.RecentProjects();
  if (index < 0 || size_t(index) >= recent.size()) return;
  const QString file = QString::fromStdString(recent[size_t(index)]);
  if (!QFileInfo(file).isFile()) {
    FUI.ShowMessage("Die Datei \"" + file.toStdString() + "\" wurde nicht gefunden.", "Dateifehler",
                    TRRMessageIcon::Error);
    FGlobal.RemoveRecentProject(file.toStdString());
    RefreshState();
    return;
  }
  OpenProjectFile(file);
}

void TMainWindow::OpenSample() {
  OpenProjectFile(QString::fromStdString(FGlobal.FileSystem().ResolvePath(kSampleLayout)));
}

void TMainWindow::SaveProject() {
  if (!BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  Project().SaveProjectActn();
  RefreshState();
}

void TMainWindow::SaveProjectAs() {
  if (!BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  Project().SaveProjectAs();
  RefreshState();
}

void TMainWindow::Import() {
  if (!Project().IsOpen() || !BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  TRRFileDialogOptions o;
  o.Title = kTitleImport;
  o.Filters = {{"Alle unterstützten Dateien (*.vme;*.vmp;*.3ds;*.x)", "*.vme;*.vmp;*.3ds;*.x"},
               {"Objektdateien (*.vme)", "*.vme"},
               {"Projektdateien (*.vmp)", "*.vmp"},
               {"3D-Modelle (*.3ds;*.x)", "*.3ds;*.x"}};
  std::optional<std::string> file = FUI.OpenFileDialog(o);
  if (!file) return;
  std::string error;
  if (!Project().ImportFile(*file, &error) && !error.empty())
    FUI.ShowMessage(error, "Importieren", TRRMessageIcon::Error);
  RefreshState();
}

void TMainWindow::Export() {
  if (!Project().IsOpen() || !BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  TRRFileDialogOptions o;
  o.Title = kTitleExport;
  o.Filters = {{"Objektdateien (*.vme)", "*.vme"}};
  o.DefaultExtension = "vme";
  std::optional<std::string> file = FUI.SaveFileDialog(o);
  if (file) Project().ExportSelection(*file);
}

QImage TMainWindow::ScreenImage() const { return FView->FrameImage(); }

void TMainWindow::Print() {
  if (!Project().IsOpen() || !BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  const QImage image = ScreenImage();
  if (image.isNull()) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(image.width() >= image.height() ? QPageLayout::Landscape : QPageLayout::Portrait);
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle("Drucken");
  if (dialog.exec() != QDialog::Accepted) return;
  QPainter p(&printer);
  const QRect page = p.viewport();
  // Caption and date above the picture, the picture as large as the page allows.
  QFont f = p.font();
  f.setPointSize(12);
  p.setFont(f);
  const QString caption = windowTitle() + "   " + QDateTime::currentDateTime().toString("dd.MM.yyyy hh:mm");
  const int header = p.fontMetrics().height() * 2;
  p.drawText(QRect(page.x(), page.y(), page.width(), header), Qt::AlignLeft | Qt::AlignVCenter, caption);
  const QSize size = image.size().scaled(page.width(), page.height() - header, Qt::KeepAspectRatio);
  p.drawImage(QRect(page.x() + (page.width() - size.width()) / 2, page.y() + header, size.width(), size.height()),
              image);
}

void TMainWindow::ScreenToClipboard() {
  const QImage image = ScreenImage();
  if (!image.isNull()) QApplication::clipboard()->setImage(image);
}

void TMainWindow::ScreenToFile() {
  if (!Project().IsOpen() || !BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  const QImage image = ScreenImage();
  if (image.isNull()) return;
  TRRFileDialogOptions o;
  o.Title = kTitleScreenshot;
  o.Filters = {{"PNG-Bilder (*.png)", "*.png"}, {"JPEG-Bilder (*.jpg)", "*.jpg;*.jpeg"}, {"Bitmaps (*.bmp)", "*.bmp"}};
  o.DefaultExtension = "png";
  std::optional<std::string> file = FUI.SaveFileDialog(o);
  if (!file) return;
  const QString name = QString::fromStdString(*file);
  const QString suffix = QFileInfo(name).suffix().toLower();
  const char* format = suffix == "jpg" || suffix == "jpeg" ? "JPG" : suffix == "bmp" ? "BMP" : "PNG";
  // Written beside the target and renamed over it, so a failed write leaves no half picture.
  const QString temp = name + ".part";
  if (!image.convertToFormat(QImage::Format_RGB32).save(temp, format, 92) || !QFile::rename(temp, name)) {
    if (QFileInfo::exists(name) && QFileInfo::exists(temp)) {
      QFile::remove(name);
      if (QFile::rename(temp, name)) return;
    }
    QFile::remove(temp);
    FUI.ShowMessage("Das Bildschirmfoto konnte nicht nach \"" + *file + "\" geschrieben werden.",
                    "Speichern fehlgeschlagen", TRRMessageIcon::Error);
  }
}

void TMainWindow::ShowWelcome() {
  if (FInFlow) return;
  TWelcomeWindow welcome(FGlobal.RecentProjects(), FGlobal.GeneralSettings().ShowWelcomeWindow, this);
  welcome.exec();
  if (welcome.ShowAtStart() != FGlobal.GeneralSettings().ShowWelcomeWindow) {
    FGlobal.SettingsNode("GeneralSettings")->WriteBoolean("ShowWelcomeWindow", welcome.ShowAtStart());
    FGlobal.LoadSettings();
  }
  switch (welcome.Choice()) {
    case TWelcomeWindow::NewProject:
      NewProject();
      break;
    case TWelcomeWindow::OpenProject:
      OpenProject();
      break;
    case TWelcomeWindow::OpenSample:
      OpenSample();
      break;
    case TWelcomeWindow::OpenRecent:
      OpenRecent(welcome.RecentIndex());
      break;
    case TWelcomeWindow::None:
      break;
  }
}

void TMainWindow::ShowOptions(int page) {
  if (FInFlow) return;
  TOptionsWindow options(FGlobal, page, this);
  if (options.exec() != QDialog::Accepted) return;
  Action(TRRShellAction::Sounds)->setChecked(FGlobal.SoundEnabled());
  // The project took the render settings and the window refreshed when they were read again.
}

void TMainWindow::SettingsChanged() {
  if (Project().IsOpen()) StartFrameLoop();  // a changed VSync changes the idle rate
  FProjectMenu->SettingsChanged();
  FHints->SetEnabled(FGlobal.GeneralSettings().SmartHints);
  UpdateRulers();
  RefreshState();
}

void TMainWindow::ShowAbout() {
  TAboutWindow about(this);
  about.exec();
}

void TMainWindow::ShowTrackList() {
  // A flow: no other flow may close the layout under the window.
  if (!Project().IsOpen() || !Project().ProjectNode() || !BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  TTrackListWindow window(*Project().ProjectNode(), RRPartsListProjectName(Project().FileName()), FUI, this);
  window.exec();
}

void TMainWindow::ShowTrackSolution() {
  TRREntityManager* m = Project().Manager();
  if (!Project().IsOpen() || !m || !BeginFlow()) return;
  TFlowEnd end{[this] { EndFlow(); }};
  TTrackSolutionWindow window(Project(), FGlobal, FUI, this);
  std::vector<int32_t> tracks;
  for (TRREntity* e : m->Selection())
    if (e->Is<TRRTrack>()) tracks.push_back(e->ID());
  // Two selected tracks that cannot be joined: told, and the window stays closed.
  if (tracks.size() == 2) {
    const std::string problem = window.SetTracks(tracks[0], tracks[1]);
    if (problem == RRTextDifferentTrackSystems || problem == RRTextNoFreeContacts) {
      FUI.ShowMessage(problem, RRCaptionIncompatibleTracks, TRRMessageIcon::Warning);
      return;
    }
  }
  window.exec();
  RefreshState();
}

void TMainWindow::DeferredStart(const QString& fileArgument, bool openSample, bool forClient) {
  setEnabled(true);
  if (!gx::GXCurrentRenderCore()) FUI.ShowMessage(kTextNoGraphics, "Hinweis", TRRMessageIcon::Warning);
  // Started by the session bus for a client: the client loads what it wants.
  if (forClient) return;
  if (openSample) {
    OpenSample();
    return;
  }
  if (!fileArgument.isEmpty() && QFileInfo(fileArgument).isFile()) {
    OpenProjectFile(fileArgument);
    return;
  }
  const std::vector<std::string>& recent = FGlobal.RecentProjects();
  if (FGlobal.GeneralSettings().OpenLastProject && !recent.empty() &&
      QFileInfo(QString::fromStdString(recent.front())).isFile()) {
    OpenProjectFile(QString::fromStdString(recent.front()));
    return;
  }
  if (FGlobal.GeneralSettings().ShowWelcomeWindow) ShowWelcome();
}

// ---- editing displays, bars, full screen ------------------------------------------------------

void TMainWindow::SetSimulationMode(bool on) {
  const TRRShellState state(Snapshot());
  ApplyDisplays(on == FSimulationMode ? state.Snapshot() : state.ToggleSimulationMode());
}

void TMainWindow::ToggleDisplay(TRRShellAction display) {
  ApplyDisplays(TRRShellState(Snapshot()).ToggleDisplay(display));
}

// Simulation mode and the three displays as the rules left them; the selection borders are drawn
// again when their switch changed.
void TMainWindow::ApplyDisplays(const TRRShellSnapshot& next) {
  const bool borders = FShowSelectionBorder != next.ShowSelectionBorder;
  FSimulationMode = next.SimulationMode;
  FShowGizmo = next.ShowGizmo;
  FShowSelectionBorder = next.ShowSelectionBorder;
  FShowActiveTrack = next.ShowActiveTrack;
  if (borders)
    if (TRREntityManager* m = Project().Manager()) m->RefreshSelectionBorders();
  RefreshState();
}

void TMainWindow::ToggleBar(TRRShellAction bar) {
  const TRRShellSnapshot next = TRRShellState(Snapshot()).ToggleBar(bar);
  FWindowed = next.Windowed;
  FFullScreenFlags = next.FullScreenFlags;
  RefreshState();
}

void TMainWindow::ToggleFullScreen() {
  if (!FFullScreen) {
    SavePlacement();
    FNormalGeometry = normalGeometry();
    FFullScreen = true;
    showFullScreen();
    RefreshState();
    FUI.ShowMessage(RRTextFullScreenHint, RRTextFullScreenHintTitle, TRRMessageIcon::Information);
  } else {
    FFullScreen = false;
    showNormal();
    RestorePlacement();
    RefreshState();
  }
}

void TMainWindow::ToggleNight() {
  TRRLight* light = Project().Light();
  if (!light) return;
  light->ApplyPreset(light->ActiveIndex() == 1 ? 0 : 1, true);
  FProjectMenu->ShowSelection(&Project());
  RefreshState();
}

void TMainWindow::SendViewKey(int virtualKey) {
  TRREntityManager* m = Project().Manager();
  TRRProjectRenderWindow* w = Project().RenderWindow();
  if (!m || !w) return;
  TRRInputRecord down;
  down.Message = RRMsgKeyDown;
  down.Key = virtualKey;
  m->HandleInput(w, down);
}

void TMainWindow::SelectAll() {
  TRREntityManager* m = Project().Manager();
  gx::TGXNode* node = Project().ProjectNode();
  if (!m || !node) return;
  TRREntitySelection& selection = m->Selection();
  selection.BeginUpdate();
  selection.Clear();
  for (int i = 0; i < node->ChildCount(); ++i) {
    auto* e = dynamic_cast<TRREntity*>(node->Child(i));
    if (!e || e->Is<TRRCamera>() || e->Is<TRRLight>() || e->Is<TRRPanel>()) continue;
    selection.Add(e);
  }
  selection.EndUpdate();
}

// ---- placement and closing --------------------------------------------------------------------

void TMainWindow::RestorePlacement() {
  gx::IGXConfigNode n = FGlobal.SettingsNode("MainWindowSettings");
  const int left = n->ReadInteger("Left", 0), top = n->ReadInteger("Top", 0);
  const int right = n->ReadInteger("Right", 0), bottom = n->ReadInteger("Bottom", 0);
  QRect r(QPoint(left, top), QPoint(right - 1, bottom - 1));
  const QScreen* s = QGuiApplication::primaryScreen();
  const QRect avail = s ? s->availableGeometry() : QRect(0, 0, 1280, 800);
  setMinimumSize(480, 360);
  // A stored rectangle without size is ignored; one larger than the screen or off it is moved in.
  if (!n->ValueExists("Left") || r.width() <= 0 || r.height() <= 0)
    r = QRect(avail.x() + avail.width() / 10, avail.y() + avail.height() / 10, avail.width() * 4 / 5,
              avail.height() * 4 / 5);
  r.setWidth(std::clamp(r.width(), minimumWidth(), std::max(avail.width(), minimumWidth())));
  r.setHeight(std::clamp(r.height(), minimumHeight(), std::max(avail.height(), minimumHeight())));
  r.moveLeft(std::clamp(r.left(), avail.left(), std::max(avail.left(), avail.right() - r.width() + 1)));
  r.moveTop(std::clamp(r.top(), avail.top(), std::max(avail.top(), avail.bottom() - r.height() + 1)));
  setGeometry(r);
  if (n->ReadBoolean("Maximized", true)) setWindowState(windowState() | Qt::WindowMaximized);
}

void TMainWindow::SavePlacement() {
  if (FFullScreen) return;
  gx::IGXConfigNode n = FGlobal.SettingsNode("MainWindowSettings");
  const QRect r = normalGeometry().isValid() ? normalGeometry() : geometry();
  n->WriteInteger("Left", r.left());
  n->WriteInteger("Top", r.top());
  n->WriteInteger("Right", r.left() + r.width());
  n->WriteInteger("Bottom", r.top() + r.height());
  n->WriteBoolean("Maximized", isMaximized());
}

bool TMainWindow::DisplayMark(TRRShellAction action) const {
  TRRShellSnapshot s = Snapshot();
  const bool* mark = RRDisplayMark(s, action);
  return mark && *mark;
}

void TMainWindow::SetDisplayMark(TRRShellAction action, bool checked) {
  TRRShellSnapshot next = Snapshot();
  bool* mark = RRDisplayMark(next, action);
  if (!mark) return;
  *mark = checked;
  ApplyDisplays(next);
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  // Clients still using the program would lose it: the user decides (No is the default).
  if (!FInFlow && FAutomationClients && FAutomationClients() > 0 &&
      FUI.Ask(RRTextAutomationCloseWarning, RRTextAutomationCloseWarningTitle, TRRButtons::YesNo,
              TRRMessageIcon::Warning, TRRAnswer::No) != TRRAnswer::Yes) {
    event->ignore();
    return;
  }
  if (FInFlow || !CloseProjectFlow() || Project().IsOpen() || !FGlobal.DatabaseCloseQuery()) {
    event->ignore();
    return;
  }
  StopFrameLoop();
  SavePlacement();
  event->accept();
}

void TMainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) RefreshState();
}

void TMainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  RefreshState();
}

}  // namespace rr
