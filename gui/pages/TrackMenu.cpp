#include "gui/pages/TrackMenu.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/RRAssetFileLoader.h"
#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRHistory.h"
#include "app/entities/RREntityDescription.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSnap.h"
#include "app/RRProject.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackModifier.h"

namespace rr {

namespace {

const char* const TypeNames[RRTrackTypeCount] = {"Gerades Gleis", "Gebogenes Gleis", "Flexgleis",
                                                 "Weiche",        "Kreuzweiche",     "Dreiwegweiche",
                                                 "Kreuzung",      "Prellbock",       "Drehscheibe"};

// The routes of a switch by their place: straight on, then the branches.
QString RouteName(const TRRTrack& track, int index) {
  if (track.Type() == TRRTrackType::Turntable) return QString("Gleis %1").arg(index + 1);
  if (track.Type() == TRRTrackType::ThreeWaySwitch) {
    static const char* const three[3] = {"Gerade", "Abzweig 1", "Abzweig 2"};
    if (index < 3) return three[index];
  }
  if (index == 0) return "Gerade";
  return track.GetRouteCount() == 2 ? QString("Abzweig") : QString("Abzweig %1").arg(index);
}

// The known track textures: the project's list, else the program's.
TRRAssetFileNameList* Textures(TRRProject* project) {
  if (project && project->Services().TrackTextures) return project->Services().TrackTextures;
  return Global() ? &Global()->TrackTextures() : nullptr;
}

}  // namespace

TTrackMenu::TTrackMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Track, true, parent) {
  FDescription = new QLabel(this);
  FDescription->setObjectName("DescriptionLabel");
  FDescription->setTextFormat(Qt::PlainText);
  FDescription->setMinimumWidth(120);
  FDescription->setMaximumWidth(240);
  FEdit = new QPushButton("(ändern)", this);
  FEdit->setObjectName("EditTrackButton");
  FEdit->setToolTip("Öffnet das Gleis im Gleiseditor");
  connect(FEdit, &QPushButton::clicked, this, [this] { emit EditorRequested(); });
  FEdit->setFlat(true);
  Add(2, "Gleis:", FDescription, FEdit);
  FBed = new QCheckBox("Gleisbettung", this);
  FBed->setObjectName("BedCheck");
  connect(FBed, &QCheckBox::clicked, this, [this](bool) {
    if (Filling()) return;
    // A click on a mixed box sets the bed everywhere.
    const bool on = FBed->checkState() != Qt::Unchecked;
    FBed->setTristate(false);
    Change(Tracks(), [on](TRREntity& e) { static_cast<TRRTrack&>(e).SetHasBed(on); });
    Refresh(true);
  });
  AddWide(2, FBed);
  FRoute = new QComboBox(this);
  FRoute->setObjectName("RouteBox");
  FRoute->setMaximumWidth(200);
  FRoute->setToolTip("Der Fahrweg, auf den die Weiche gestellt ist");
  connect(FRoute, &QComboBox::activated, this, [this](int index) {
    if (Filling()) return;
    const std::vector<TRREntity*> tracks = Tracks();
    if (tracks.size() != 1) return;
    auto* t = static_cast<TRRTrack*>(tracks.front());
    if (index < 0 || index >= t->GetRouteCount() || index == t->ActiveRoute()) return;
    Change(tracks, [index](TRREntity& e) { static_cast<TRRTrack&>(e).SetActiveRoute(index); });
    Refresh(true);
  });
  Add(2, "Weichenstellung:", FRoute);
  FTool = new QComboBox(this);
  FTool->setObjectName("ToolBox");
  FTool->setMaximumWidth(200);
  FTool->setToolTip("Werkzeug zum Biegen und Anstellen der ausgewählten Gleise");
  connect(FTool, &QComboBox::activated, this, [this](int index) {
    if (Filling()) return;
    const int mode = FTool->itemData(index).toInt();
    TRRTrackModifier::SetLastMode(mode);
    StartTool(mode);
  });
  Add(3, "Aktive Gleismodifikation:", FTool);
  FTexture = new QComboBox(this);
  FTexture->setObjectName("TextureBox");
  FTexture->setMinimumWidth(200);
  FTexture->setMaximumWidth(260);
  FTexture->setToolTip("Die Textur der ausgewählten Gleise");
  connect(FTexture, &QComboBox::activated, this, [this](int index) {
    TRRAssetFileNameList* list = Textures(Project());
    if (Filling() || !list || index < 0 || index >= list->Count()) return;
    const TRRAssetFileName texture = list->Item(index);
    std::vector<TRREntity*> changing;
    for (TRREntity* e : Tracks())
      if (!static_cast<TRRTrack*>(e)->Texture().SameFile(texture)) changing.push_back(e);
    // One command, an entry per track that gets another texture.
    Change(changing, [&texture](TRREntity& e) { static_cast<TRRTrack&>(e).SetTexture(texture); });
    Refresh(true);
  });
  Add(2, "Textur:", FTexture);
  FAppend = new QPushButton("Weiteres Gleis anfügen", this);
  FAppend->setObjectName("AppendButton");
  FAppend->setToolTip("Legt eine Kopie dieses Gleises an sein freies Ende");
  connect(FAppend, &QPushButton::clicked, this, [this] { AppendTrack(); });
  AddWide(3, FAppend);
}

TTrackMenu::~TTrackMenu() { Leave(); }

std::vector<int> TTrackMenu::ToolModes() const {
  std::vector<int> modes = {RRTrackToolNone};
  const std::vector<TRREntity*> tracks = Tracks();
  bool oneRoute = false;
  int flexible = 0;
  for (TRREntity* e : tracks) {
    auto* t = static_cast<TRRTrack*>(e);
    oneRoute = oneRoute || (t->GetRouteCount() == 1 && t->Type() != TRRTrackType::Turntable);
    flexible += t->Type() == TRRTrackType::Flexible;
  }
  if (!oneRoute) return modes;
  if (tracks.size() == 1 && flexible == 1) modes.push_back(RRTrackToolBendFlexible);
  modes.push_back(RRTrackToolBend);
  modes.push_back(RRTrackToolGradient);
  return modes;
}

void TTrackMenu::Leave() {
  if (!FToolModifier) return;
  // Freed while the manager it works with still exists.
  if (TRREntityManager* m = Project() ? Project()->Manager() : nullptr) m->RemoveModifier(FToolModifier.get());
  FToolModifier.reset();
}

void TTrackMenu::StartTool(int mode) {
  Leave();
  TRREntityManager* m = Project() && Project()->IsOpen() ? Project()->Manager() : nullptr;
  if (!m || mode == RRTrackToolNone) return;
  FToolModifier = std::make_unique<TRRTrackModifier>(*m, mode);
  m->AddModifier(FToolModifier.get());
}

void TTrackMenu::Entered() {
  // The mode chosen last, where this selection allows it.
  const std::vector<int> modes = ToolModes();
  const int last = TRRTrackModifier::LastMode();
  if (last != RRTrackToolNone && std::find(modes.begin(), modes.end(), last) != modes.end()) StartTool(last);
  Refresh(true);
}

TRRTrack* TTrackMenu::AppendSource(int& freeContact) const {
  const std::vector<TRREntity*> all = Entities();
  auto* t = all.size() == 1 ? dynamic_cast<TRRTrack*>(all.front()) : nullptr;
  if (!t || (t->Type() != TRRTrackType::Straight && t->Type() != TRRTrackType::Curve) || t->GetRouteCount() < 1)
    return nullptr;
  TRRTrackRoute* route = t->GetRoute(0);
  if (!route) return nullptr;
  const bool a = route->Contact(0)->IsConnected(), b = route->Contact(1)->IsConnected();
  if (a == b) return nullptr;
  freeContact = a ? 1 : 0;
  return t;
}

TRRTrack* TTrackMenu::AppendTrack() {
  int free = 0;
  TRRTrack* source = AppendSource(free);
  TRREntityManager* m = Project() && Project()->IsOpen() ? Project()->Manager() : nullptr;
  if (!source || !m) return nullptr;
  std::unique_ptr<TRREntityDescription> copy = source->CreateDescription();
  copy->SetID(m->NextID());
  m->ReserveIDs(1);
  auto* made = dynamic_cast<TRRTrack*>(m->CreateEntity(source->Parent(), *copy));
  if (!made || made->GetRouteCount() < 1) {
    delete made;
    return nullptr;
  }
  made->Update(true);
  // The copy's other end goes onto the free end, facing it.
  gx::TGXVector3 position;
  gx::TGXQuaternion rotation;
  RRSnapTransform(*made->GetRoute(0)->Contact(1 - free), *source->GetRoute(0)->Contact(free), position, rotation);
  made->SetWorldRotation(rotation);
  made->SetWorldPosition(position);
  made->Update(true);
  TRRHistory* history = Project()->History();
  std::unique_ptr<TRRCommand> command = history ? history->OpenCommand(nullptr) : nullptr;
  {
    TRREntitySelection& selection = m->Selection();
    selection.BeginUpdate();
    selection.Clear();
    selection.Add(made);
    selection.EndUpdate();
  }
  if (command) {
    auto creation = std::make_unique<TRRCommand>(nullptr);
    creation->SetAfter(made);
    command->AddChild(std::move(creation));
    history->Push(std::move(command));
  } else {
    Project()->SetModified();
  }
  return made;
}

std::vector<TRREntity*> TTrackMenu::Tracks() const {
  std::vector<TRREntity*> out;
  for (TRREntity* e : Entities())
    if (e->Is<TRRTrack>()) out.push_back(e);
  return out;
}

void TTrackMenu::RefreshPage(bool) {
  const std::vector<TRREntity*> tracks = Tracks();
  const bool single = Entities().size() == 1 && tracks.size() == 1;
  const TRRTrack* t = single ? static_cast<const TRRTrack*>(tracks.front()) : nullptr;
  FEdit->setEnabled(single);
  if (t) {
    const int type = static_cast<int>(t->Type());
    QString text = QString::fromStdString(t->TrackSystemName());
    const QString what = !t->DescriptionText().empty() ? QString::fromStdString(t->DescriptionText())
                         : type < RRTrackTypeCount     ? QString(TypeNames[type])
                                                       : QString();
    if (!what.isEmpty()) text = text.isEmpty() ? what : text + " - " + what;
    // Long descriptions are shortened; the tooltip has all of it.
    FDescription->setToolTip(text);
    FDescription->setText(FDescription->fontMetrics().elidedText(text, Qt::ElideRight, FDescription->maximumWidth()));
  } else {
    FDescription->setToolTip(QString());
    FDescription->setText(QString("%1 Gleise").arg(tracks.size()));
  }
  int beds = 0;
  for (TRREntity* e : tracks) beds += static_cast<TRRTrack*>(e)->HasBed();
  const int n = static_cast<int>(tracks.size());
  FBed->setTristate(beds != 0 && beds != n);
  FBed->setCheckState(beds == 0 ? Qt::Unchecked : beds == n ? Qt::Checked : Qt::PartiallyChecked);
  FBed->setEnabled(n > 0);
  const bool switchable = t && t->IsSwitchable() && t->GetRouteCount() > 1;
  QStringList names;
  for (int i = 0; switchable && i < t->GetRouteCount(); ++i) names << RouteName(*t, i);
  // Filled anew only when the routes differ: an open list stays open under the timer.
  QStringList shown;
  for (int i = 0; i < FRoute->count(); ++i) shown << FRoute->itemText(i);
  if (shown != names) {
    FRoute->clear();
    FRoute->addItems(names);
  }
  if (switchable) FRoute->setCurrentIndex(t->ActiveRoute());
  FRoute->setEnabled(switchable);

  const std::vector<int> modes = ToolModes();
  std::vector<int> listed;
  for (int i = 0; i < FTool->count(); ++i) listed.push_back(FTool->itemData(i).toInt());
  if (listed != modes) {
    FTool->clear();
    for (int mode : modes) FTool->addItem(RRTrackToolModeTexts[mode], mode);
  }
  TRRAssetFileNameList* list = Textures(Project());
  QStringList textures;
  for (int i = 0; list && i < list->Count(); ++i) textures << QString::fromStdString(list->Item(i).FileName);
  QStringList shownTextures;
  for (int i = 0; i < FTexture->count(); ++i) shownTextures << FTexture->itemText(i);
  if (shownTextures != textures) {
    FTexture->clear();
    FTexture->addItems(textures);
  }
  const TRRTrack* first = tracks.empty() ? nullptr : static_cast<const TRRTrack*>(tracks.front());
  FTexture->setCurrentIndex(first && list ? list->IndexOf(first->Texture().EffectiveFileName()) : -1);
  FTexture->setEnabled(first && list && list->Count() > 0);

  int free = 0;
  FAppend->setVisible(AppendSource(free) != nullptr);

  const int active = FToolModifier ? FToolModifier->Mode() : RRTrackToolNone;
  FTool->setCurrentIndex(std::max(0, FTool->findData(active)));
  FTool->setEnabled(modes.size() > 1);
}

}  // namespace rr
