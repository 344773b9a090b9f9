#include "gui/pages/CatenaryMenu.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/entities/track/RRCatenary.h"

namespace rr {

namespace {

bool ChainMode = false;

}  // namespace

TCatenaryMenu::TCatenaryMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Catenary, true, parent) {
  FLink = new QLabel(this);
  FLink->setObjectName("LinkLabel");
  Add(2, "Kabelverbindung:", FLink);
  auto* buttons = new QWidget(this);
  auto* h = new QHBoxLayout(buttons);
  h->setContentsMargins(0, 0, 0, 0);
  FLinkWith = new QPushButton(RRTextLinkWith, buttons);
  FLinkWith->setObjectName("LinkWithButton");
  FLinkWith->setCheckable(true);
  FLinkWith->setToolTip("Klicken Sie danach in der Ansicht auf den Mast, zu dem das Kabel führen soll");
  connect(FLinkWith, &QPushButton::toggled, this, [this](bool down) {
    if (Filling()) return;
    auto* mast = dynamic_cast<TRRCatenary*>(First());
    if (down && mast && Entities().size() == 1)
      StartPicking(*mast);
    else
      StopPicking();
  });
  FUnlink = new QPushButton("Trennen", buttons);
  FUnlink->setObjectName("UnlinkButton");
  FUnlink->setToolTip("Entfernt die Kabelverbindung");
  connect(FUnlink, &QPushButton::clicked, this, [this] { UnlinkAll(); });
  h->addWidget(FLinkWith);
  h->addWidget(FUnlink);
  h->addStretch(1);
  AddWide(2, buttons);
  FChain = new QCheckBox(RRTextChainMode, this);
  FChain->setToolTip(RRTextChainModeHint);
  connect(FChain, &QCheckBox::toggled, this, [this](bool on) {
    ChainMode = on;
    if (FPicker) FPicker->SetChainMode(on);
  });
  AddWide(2, FChain);
}

void TCatenaryMenu::UnlinkAll() {
  auto* mast = dynamic_cast<TRRCatenary*>(First());
  if (!mast) return;
  // This mast's link and every link to it: one command.
  RRUnlinkMast(*mast);
  Refresh(true);
}

TCatenaryMenu::~TCatenaryMenu() { StopPicking(); }

void TCatenaryMenu::StartPicking(TRRCatenary& mast) {
  StopPicking();
  TRREntityManager* m = Project() && Project()->IsOpen() ? Project()->Manager() : nullptr;
  if (!m) return;
  FPicker = std::make_unique<TRRCatenaryModifier>(mast, ChainMode);
  FPicker->Finished = [this](TRRCatenary* next) {
    // Chain mode: the partner is selected now (this page shows it) and the tool goes on with it.
    if (!next) StopPicking();
    Refresh(true);
  };
  m->AddModifier(FPicker.get());
}

void TCatenaryMenu::StopPicking() {
  if (!FPicker) return;
  if (TRREntityManager* m = Project() ? Project()->Manager() : nullptr) m->RemoveModifier(FPicker.get());
  // The tool may be in the middle of its own step (its Finished runs inside it): freed later.
  QTimer::singleShot(0, [picker = FPicker.release()] { delete picker; });
}

void TCatenaryMenu::Leave() { StopPicking(); }

void TCatenaryMenu::EntitiesChanging(const std::vector<int32_t>& ids) {
  if (FPicker && ids.size() == 1 && ids.front() == FPicker->MastID()) return;
  StopPicking();
}

void TCatenaryMenu::RefreshPage(bool) {
  auto* mast = Entities().size() == 1 ? dynamic_cast<TRRCatenary*>(First()) : nullptr;
  TRRCatenary* linked = mast ? mast->GetLinkedMast() : nullptr;
  FLink->setText(linked ? QString::fromStdString(linked->Name()) : QString("(keine)"));
  FUnlink->setVisible(linked != nullptr);
  FLinkWith->setEnabled(mast != nullptr);
  FLinkWith->setChecked(FPicker != nullptr);
  const QSignalBlocker block(FChain);
  FChain->setChecked(ChainMode);
}

}  // namespace rr
