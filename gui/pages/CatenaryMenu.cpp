#include "gui/pages/CatenaryMenu.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

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
  FLinkWith->setCheckable(true);
  FLinkWith->setEnabled(false);
  FLinkWith->setToolTip("Das Verbinden per Mausklick ist in dieser Version nicht verfügbar");
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
  connect(FChain, &QCheckBox::toggled, this, [](bool on) { ChainMode = on; });
  AddWide(2, FChain);
}

void TCatenaryMenu::UnlinkAll() {
  auto* mast = dynamic_cast<TRRCatenary*>(First());
  if (!mast || !Project() || !Project()->Manager()) return;
  // This mast's link and every link to it: one command.
  std::vector<TRREntity*> targets;
  if (mast->ConnectionID() != 0) targets.push_back(mast);
  TRREntityManager* m = Project()->Manager();
  for (int i = 0; i < m->EntitySlotCount(); ++i)
    if (auto* other = dynamic_cast<TRRCatenary*>(m->EntitySlot(i));
        other && other != mast && !other->EntityDestroying() && other->ConnectionID() == mast->ID())
      targets.push_back(other);
  Change(targets, [](TRREntity& e) { static_cast<TRRCatenary&>(e).Unlink(); });
  Refresh(true);
}

void TCatenaryMenu::RefreshPage(bool) {
  auto* mast = Entities().size() == 1 ? dynamic_cast<TRRCatenary*>(First()) : nullptr;
  TRRCatenary* linked = mast ? mast->GetLinkedMast() : nullptr;
  FLink->setText(linked ? QString::fromStdString(linked->Name()) : QString("(keine)"));
  FUnlink->setVisible(linked != nullptr);
  const QSignalBlocker block(FChain);
  FChain->setChecked(ChainMode);
}

}  // namespace rr
