#include "gui/pages/EntityMenu.h"

#include <QLabel>
#include <QScrollArea>
#include <algorithm>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/RREntityManager.h"
#include "app/RREntitySelection.h"
#include "app/RRProject.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RRController.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityGroup.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRModel.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRPrimitive.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "app/entities/track/RRCatenary.h"
#include "app/entities/track/RRTrack.h"
#include "gui/pages/CameraMenu.h"
#include "gui/pages/CatenaryMenu.h"
#include "gui/pages/ControllerMenu.h"
#include "gui/pages/EntityPage.h"
#include "gui/pages/GroupMenu.h"
#include "gui/pages/LightMenu.h"
#include "gui/pages/ModelMenu.h"
#include "gui/pages/PanelHeightMenu.h"
#include "gui/pages/PanelMenu.h"
#include "gui/pages/PanelTextureMenu.h"
#include "gui/pages/PrimitiveMenu.h"
#include "gui/pages/SignalMenu.h"
#include "gui/pages/TrackMenu.h"
#include "gui/pages/TrackVehicleMenu.h"
#include "gui/pages/VehicleBuildingMenu.h"

namespace rr {

namespace {

using K = TRREntityPageKind;

// The page of one entity by its kind, the most derived kinds first.
K KindOf(const TRREntity& e) {
  if (e.Is<TRRTrack>()) return K::Track;
  if (e.Is<TRRTrackVehicle>()) return K::TrackVehicle;
  if (e.Is<TRRCockpit>()) return K::Entity;
  if (e.Is<TRRCamera>()) return K::Camera;
  if (e.Is<TRRLight>()) return K::Light;
  if (e.Is<TRRPanel>()) return K::Panel;
  if (e.Is<TRRSignal>()) return K::Signal;
  if (e.Is<TRRController>()) return K::Controller;
  if (e.Is<TRRCatenary>()) return K::Catenary;
  if (e.Is<TRRStreet>()) return K::Street;
  if (e.Is<TRRVegetation>()) return K::Plant;
  if (e.Is<TRRBarrier>()) return K::Barrier;
  if (e.Is<TRRVehicleBuilding>()) return K::VehicleBuilding;
  if (e.Is<TRRPrimitive>()) return K::Primitive;
  if (e.Is<TRREntityGroup>()) return K::Group;
  if (e.Is<TRRModel>()) return K::Model;
  return K::Entity;
}

// The "Keine Auswahl" page: no fields.
class TNoSelectionPage : public TEntityPage {
 public:
  explicit TNoSelectionPage(QWidget* parent) : TEntityPage(K::None, false, parent) {
    auto* label = new QLabel(RRTextNoSelection, this);
    label->setObjectName("NoSelectionLabel");
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    AddWide(0, label);
    Grid()->setRowStretch(1, 1);
    Grid()->setColumnStretch(0, 1);
  }
};

TEntityPage* MakePage(K kind, QWidget* parent) {
  switch (kind) {
    case K::None: return new TNoSelectionPage(parent);
    case K::Track: return new TTrackMenu(parent);
    case K::TrackVehicle: return new TTrackVehicleMenu(parent);
    case K::Camera: return new TCameraMenu(parent);
    case K::Light: return new TLightMenu(parent);
    case K::Panel: return new TPanelMenu(parent);
    case K::Signal: return new TSignalMenu(parent);
    case K::Controller: return new TControllerMenu(parent);
    case K::Catenary: return new TCatenaryMenu(parent);
    case K::Group: return new TGroupMenu(parent);
    case K::Multi: return new TMultiSelectionMenu(parent);
    case K::Primitive: return new TPrimitiveMenu(parent);
    case K::VehicleBuilding: return new TVehicleBuildingMenu(parent);
    // Models and the kinds that are models without fields of their own.
    case K::Model:
    case K::Street:
    case K::Plant:
    case K::Barrier: return new TModelMenu(kind, parent);
    default: return new TEntityPage(kind, true, parent);
  }
}

}  // namespace

TRREntityPageKind RRPageKindFor(const std::vector<TRREntity*>& entities) {
  if (entities.empty()) return K::None;
  if (entities.size() == 1) return KindOf(*entities.front());
  for (TRREntity* e : entities)
    if (e->Is<TRRTrack>()) return K::Track;
  return K::Multi;
}

TRREntityMenu::TRREntityMenu(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FPanelTabs = new QTabBar(this);
  FPanelTabs->setObjectName("PanelTabs");
  FPanelTabs->setDrawBase(false);
  FPanelTabs->setExpanding(false);
  FPanelTabs->addTab("Eigenschaften");
  FPanelTabs->addTab("Höhe");
  FPanelTabs->addTab("Textur");
  FPanelTabs->setVisible(false);
  layout->addWidget(FPanelTabs);
  FStack = new QStackedWidget(this);
  // In a narrow window the page scrolls instead of being squeezed until its fields overlap; only
  // the page shown counts for the width (the others are ignored, see below).
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName("EntityPageScroll");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(FStack);
  layout->addWidget(scroll);
  for (int32_t k = 0; k < RREntityPageKindCount; ++k) {
    TEntityPage* page = MakePage(static_cast<K>(k), FStack);
    page->setObjectName(QString("EntityPage%1").arg(k));
    FPages.push_back(page);
    FStack->addWidget(page);
    connect(page, &TEntityPage::EditorRequested, this, [this, k] { emit EditorRequested(static_cast<K>(k)); });
  }
  FPanelPages = {Page(K::Panel), new TPanelHeightMenu(FStack), new TPanelTextureMenu(FStack)};
  for (int i = 1; i < 3; ++i) FStack->addWidget(FPanelPages[size_t(i)]);
  connect(FPanelTabs, &QTabBar::currentChanged, this, [this](int index) {
    if (CurrentPage()->Kind() != K::Panel) return;
    TEntityPage* page = PanelPage(index);
    if (!page || page == CurrentPage()) return;
    Switch(page, CurrentPage()->Entities());
  });
  FStack->setCurrentWidget(Page(K::None));
  auto onlyShownCounts = [this](int current) {
    for (int i = 0; i < FStack->count(); ++i) {
      const QSizePolicy::Policy policy = i == current ? QSizePolicy::Preferred : QSizePolicy::Ignored;
      FStack->widget(i)->setSizePolicy(policy, policy);
    }
    FStack->updateGeometry();
  };
  connect(FStack, &QStackedWidget::currentChanged, this, onlyShownCounts);
  onlyShownCounts(FStack->currentIndex());
  FTimer = new QTimer(this);
  FTimer->setInterval(250);
  connect(FTimer, &QTimer::timeout, this, [this] {
    if (isVisible()) CurrentPage()->Tick();
  });
  FTimer->start();
}

TEntityPage* TRREntityMenu::Page(TRREntityPageKind kind) const {
  const auto i = static_cast<size_t>(kind);
  return i < FPages.size() ? FPages[i] : nullptr;
}

TEntityPage* TRREntityMenu::PanelPage(int index) const {
  return index >= 0 && index < 3 ? FPanelPages[size_t(index)] : nullptr;
}

int TRREntityMenu::PanelPageIndex() const { return FPanelTabs->currentIndex(); }

void TRREntityMenu::ShowPanelPage(int index) {
  if (index >= 0 && index < 3) FPanelTabs->setCurrentIndex(index);
}

TEntityPage* TRREntityMenu::Shown(TRREntityPageKind kind) const {
  if (kind == K::Panel) return PanelPage(std::max(0, FPanelTabs->currentIndex()));
  return Page(kind);
}

void TRREntityMenu::Switch(TEntityPage* page, const std::vector<TRREntity*>& selection) {
  if (page != CurrentPage()) CurrentPage()->Leave();
  page->SetEntities(FProject, selection);
  FStack->setCurrentWidget(page);
  FPanelTabs->setVisible(page->Kind() == K::Panel);
}

TEntityPage* TRREntityMenu::CurrentPage() const { return static_cast<TEntityPage*>(FStack->currentWidget()); }

int32_t TRREntityMenu::EntityMenuPage() const { return static_cast<int32_t>(CurrentPage()->Kind()); }

void TRREntityMenu::ShowSelection(TRRProject* project) {
  FProject = project;
  std::vector<TRREntity*> selection;
  if (project && project->IsOpen() && project->Manager())
    for (TRREntity* e : project->Manager()->Selection()) selection.push_back(e);
  Switch(Shown(RRPageKindFor(selection)), selection);
}

void TRREntityMenu::ShowEntityMenuPage(int32_t page) {
  std::vector<TRREntity*> selection;
  if (page >= 0 && FProject && FProject->IsOpen() && FProject->Manager())
    for (TRREntity* e : FProject->Manager()->Selection()) selection.push_back(e);
  const K own = RRPageKindFor(selection);
  K shown = own;
  // Another page only where it fits: the plain page for one entity, that for several.
  if (page >= 0 && page < RREntityPageKindCount && !selection.empty()) {
    const K asked = static_cast<K>(page);
    if ((asked == K::Entity && selection.size() == 1) || (asked == K::Multi && selection.size() > 1)) shown = asked;
  }
  Switch(Shown(shown), selection);
}

void TRREntityMenu::Refresh() { CurrentPage()->Refresh(true); }

QString TRREntityMenu::Summary() const {
  const std::vector<TRREntity*> all = CurrentPage()->Entities();
  if (all.empty()) return RRTextNoSelection;
  if (all.size() > 1) return QString("%1 Objekte ausgewählt").arg(all.size());
  const TRREntity* e = all.front();
  const gx::TGXVector3 p = e->WorldPosition();
  const QString unit = " " + RRLengthUnit();
  return QString("%1\nPosition: %2, %3, %4")
      .arg(QString::fromStdString(e->Name()), RRShowLength(p.x) + unit, RRShowLength(p.y) + unit,
           RRShowLength(p.z) + unit);
}

}  // namespace rr
