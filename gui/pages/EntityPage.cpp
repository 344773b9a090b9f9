#include "gui/pages/EntityPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <cmath>
#include <memory>

#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRHistory.h"
#include "app/RRProject.h"
#include "app/RRUnits.h"
#include "app/entities/RREntity.h"
#include "engine/core/GXMath.h"

namespace rr {

namespace {

constexpr double Pi = 3.14159265358979323846;

float LengthFactor() { return Global() ? Global()->LengthUnitFactor() : 1.0f; }
float AngleFactor() { return Global() ? Global()->AngleUnitFactor() : 1.0f; }

std::optional<double> Read(const QString& text, double factor, const std::string& unit, double min, double max) {
  const std::optional<double> typed = RRParseDecimal(text.toStdString(), RRDecimalSeparator(), unit);
  if (!typed) return std::nullopt;
  const double value = *typed / factor;
  if (!std::isfinite(value)) return std::nullopt;
  return std::clamp(value, min, max);
}

}  // namespace

std::optional<double> RRReadLength(const QString& text, double min, double max) {
  return Read(text, LengthFactor(), RRLengthUnit().toStdString(), min, max);
}

std::optional<double> RRReadAngle(const QString& text, double min, double max) {
  return Read(text, AngleFactor(), RRAngleUnit().toStdString(), min, max);
}

QString RRShowLength(double centimetres) {
  return Global() ? QString::fromStdString(Global()->FormatLength(centimetres))
                  : QString::fromStdString(RRFormatDecimal(centimetres, 3, RRDecimalSeparator()));
}

QString RRShowAngle(double radians) {
  return Global() ? QString::fromStdString(Global()->FormatAngle(radians))
                  : QString::fromStdString(RRFormatDecimal(radians, 3, RRDecimalSeparator()));
}

QString RRLengthUnit() { return Global() ? QString::fromStdString(Global()->LengthUnitName()) : "cm"; }
QString RRAngleUnit() { return Global() ? QString::fromStdString(Global()->AngleUnitName()) : "rad"; }

float RRYawOf(const TRREntity& entity) {
  // The node's Z axis in the world (third row of the rotation matrix) seen from above.
  const gx::TGXQuaternion& q = entity.WorldRotation();
  const float zx = 2 * (q.x * q.z + q.w * q.y);
  const float zz = 1 - 2 * (q.x * q.x + q.y * q.y);
  return std::atan2(zx, zz);
}

// ---- the page -----------------------------------------------------------------------------------

TEntityPage::TEntityPage(TRREntityPageKind kind, bool commonFields, QWidget* parent)
    : QWidget(parent), FKind(kind) {
  FGrid = new QGridLayout(this);
  FGrid->setContentsMargins(6, 4, 6, 4);
  FGrid->setHorizontalSpacing(6);
  FGrid->setVerticalSpacing(3);
  // The pairs keep their width; the last column and the last row take what is left.
  FGrid->setColumnStretch(12, 1);
  FGrid->setRowStretch(5, 1);
  if (!commonFields) return;
  FName = new QLineEdit(this);
  FName->setObjectName("NameEdit");
  FName->setMinimumWidth(150);
  FName->setMaximumWidth(220);
  connect(FName, &QLineEdit::editingFinished, this, [this] { CommitName(); });
  Add(0, "Name:", FName);
  static const char* const axes[3] = {"X:", "Y:", "Z:"};
  for (int a = 0; a < 3; ++a) {
    FPosition[a] = NumberEdit([this, a](const QString&) { CommitPosition(a); });
    FPosition[a]->setObjectName(QString("PositionEdit%1").arg(a));
    FLengthUnits[a] = new QLabel(RRLengthUnit(), this);
    Add(1, axes[a], FPosition[a], FLengthUnits[a]);
  }
  FTurn = NumberEdit([this](const QString&) { CommitTurn(); });
  FTurn->setObjectName("TurnEdit");
  FTurn->setToolTip("Drehung um die senkrechte Achse");
  FAngleUnit = new QLabel(RRAngleUnit(), this);
  Add(0, "Drehung:", FTurn, FAngleUnit);
  FLocked = new QCheckBox(RRTextLocked, this);
  FLocked->setToolTip("Gesperrte Objekte lassen sich nicht verschieben oder drehen");
  connect(FLocked, &QCheckBox::clicked, this, [this](bool on) {
    if (!Filling()) Change([on](TRREntity& e) { e.SetLocked(on); });
  });
  AddWide(0, FLocked);
}

void TEntityPage::Add(int column, const QString& label, QWidget* field, QWidget* unit) {
  if (static_cast<int>(FRows.size()) <= column) FRows.resize(size_t(column) + 1, 0);
  const int row = FRows[size_t(column)]++;
  auto* l = new QLabel(label, this);
  l->setBuddy(field);
  FGrid->addWidget(l, row, column * 3);
  if (unit) {
    auto* box = new QWidget(this);
    auto* h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(3);
    h->addWidget(field, 1);
    h->addWidget(unit);
    FGrid->addWidget(box, row, column * 3 + 1);
  } else {
    FGrid->addWidget(field, row, column * 3 + 1);
  }
  // A narrow spacer column between the pairs.
  FGrid->setColumnMinimumWidth(column * 3 + 2, 12);
}

void TEntityPage::AddWide(int column, QWidget* field) {
  if (static_cast<int>(FRows.size()) <= column) FRows.resize(size_t(column) + 1, 0);
  const int row = FRows[size_t(column)]++;
  FGrid->addWidget(field, row, column * 3, 1, 2);
  FGrid->setColumnMinimumWidth(column * 3 + 2, 12);
}

QLineEdit* TEntityPage::NumberEdit(const std::function<void(const QString&)> commit) {
  auto* edit = new QLineEdit(this);
  edit->setMinimumWidth(64);
  edit->setMaximumWidth(90);
  edit->setAlignment(Qt::AlignRight);
  // editingFinished comes on Return and on leaving; only a changed text is committed.
  connect(edit, &QLineEdit::editingFinished, this, [this, edit, commit] {
    if (Filling() || !edit->isModified()) return;
    edit->setModified(false);
    commit(edit->text());
    Refresh(true);
  });
  return edit;
}

void TEntityPage::Show(QLineEdit* edit, const QString& text, bool force) {
  if (!edit) return;
  if (!force && (edit->hasFocus() || edit->isModified())) return;
  if (edit->text() != text) edit->setText(text);
  edit->setModified(false);
}

void TEntityPage::SetEntities(TRRProject* project, const std::vector<TRREntity*>& entities) {
  std::vector<int32_t> ids;
  for (TRREntity* e : entities)
    if (e) ids.push_back(e->ID());
  EntitiesChanging(ids);
  FProject = project;
  FIDs = std::move(ids);
  Refresh(true);
  Entered();
}

std::vector<TRREntity*> TEntityPage::Entities() const {
  std::vector<TRREntity*> out;
  TRREntityManager* m = FProject ? FProject->Manager() : nullptr;
  if (!m) return out;
  for (int32_t id : FIDs)
    if (TRREntity* e = m->FindByID(id); e && !e->EntityDestroying()) out.push_back(e);
  return out;
}

TRREntity* TEntityPage::First() const {
  const std::vector<TRREntity*> all = Entities();
  return all.empty() ? nullptr : all.front();
}

void TEntityPage::Refresh(bool force) {
  ++FFilling;
  const std::vector<TRREntity*> all = Entities();
  const bool single = all.size() == 1;
  TRREntity* e = all.empty() ? nullptr : all.front();
  // An entity that undo has just made has no world transform before the next frame.
  if (single) e->Update();
  if (FName) {
    FName->setEnabled(single);
    Show(FName, single ? QString::fromStdString(e->Name()) : QString(RRTextMultiSelection), force || !single);
  }
  for (int a = 0; a < 3; ++a) {
    if (!FPosition[a]) continue;
    FPosition[a]->setEnabled(single && !e->Locked() && !e->IsFixed());
    const gx::TGXVector3 p = e ? e->WorldPosition() : gx::TGXVector3{0, 0, 0};
    Show(FPosition[a], single ? RRShowLength(a == 0 ? p.x : a == 1 ? p.y : p.z) : QString(), force);
  }
  if (FTurn) {
    FTurn->setEnabled(single && !e->Locked() && !e->IsFixed());
    Show(FTurn, single ? RRShowAngle(RRYawOf(*e)) : QString(), force);
  }
  if (FLocked) {
    int locked = 0;
    for (TRREntity* x : all) locked += x->Locked();
    FLocked->setTristate(locked != 0 && locked != static_cast<int>(all.size()));
    FLocked->setCheckState(locked == 0 ? Qt::Unchecked
                           : locked == static_cast<int>(all.size()) ? Qt::Checked
                                                                    : Qt::PartiallyChecked);
    FLocked->setEnabled(!all.empty());
  }
  for (QLabel* unit : FLengthUnits)
    if (unit) unit->setText(RRLengthUnit());
  if (FAngleUnit) FAngleUnit->setText(RRAngleUnit());
  RefreshPage(force);
  --FFilling;
}

void TEntityPage::Change(const std::function<void(TRREntity&)>& change) { Change(Entities(), change); }

void TEntityPage::Change(const std::vector<TRREntity*>& targets, const std::function<void(TRREntity&)>& change) {
  ChangeIf(targets, [&change](TRREntity& e) {
    change(e);
    return true;
  });
}

void TEntityPage::ChangeIf(const std::vector<TRREntity*>& targets, const std::function<bool(TRREntity&)>& change) {
  if (targets.empty() || !FProject) return;
  TRRHistory* history = FProject->History();
  if (!history) {
    bool changed = false;
    for (TRREntity* e : targets) changed = change(*e) || changed;
    if (changed) FProject->SetModified();
    return;
  }
  // One entity: its own command; several: one compound command with a child per entity.
  std::unique_ptr<TRRCommand> command = history->OpenCommand(targets.size() == 1 ? targets.front() : nullptr);
  bool changed = false;
  if (targets.size() == 1) {
    changed = change(*targets.front());
    command->SetAfter(targets.front());
  } else {
    // Every before state is taken first: changing one entity may change another one given
    // (a controller moves its target).
    std::vector<std::unique_ptr<TRRCommand>> children;
    for (TRREntity* e : targets) children.push_back(std::make_unique<TRRCommand>(e));
    std::vector<bool> did(targets.size(), false);
    for (size_t i = 0; i < targets.size(); ++i) changed = (did[i] = change(*targets[i])) || changed;
    for (size_t i = 0; i < targets.size(); ++i) {
      if (!did[i]) continue;
      children[i]->SetAfter(targets[i]);
      command->AddChild(std::move(children[i]));
    }
  }
  if (changed) history->Push(std::move(command));
}

void TEntityPage::Placed(TRREntity& entity) { entity.Update(true); }

void TEntityPage::Rename(TRREntity& entity, const std::string& name) { entity.SetName(name); }

void TEntityPage::CommitName() {
  if (Filling() || !FName->isModified()) return;
  FName->setModified(false);
  TRREntity* e = First();
  const std::string name = FName->text().trimmed().toStdString();
  // An empty name keeps the old one (and shows it again).
  if (e && Entities().size() == 1 && !name.empty() && name != e->Name())
    Change([this, &name](TRREntity& x) { Rename(x, name); });
  Refresh(true);
}

void TEntityPage::CommitPosition(int axis) {
  // Positions and turns are typed for one entity only.
  TRREntity* e = Entities().size() == 1 ? First() : nullptr;
  if (!e || e->Locked() || e->IsFixed()) return;
  const std::optional<double> v = RRReadLength(FPosition[axis]->text(), -RRPageMaxPosition, RRPageMaxPosition);
  if (!v) return;
  gx::TGXVector3 p = e->WorldPosition();
  float& c = axis == 0 ? p.x : axis == 1 ? p.y : p.z;
  if (c == static_cast<float>(*v)) return;
  c = static_cast<float>(*v);
  Change({e}, [this, p](TRREntity& x) {
    x.SetWorldPosition(p);
    Placed(x);
  });
}

void TEntityPage::CommitTurn() {
  // Positions and turns are typed for one entity only.
  TRREntity* e = Entities().size() == 1 ? First() : nullptr;
  if (!e || e->Locked() || e->IsFixed()) return;
  const std::optional<double> v = RRReadAngle(FTurn->text(), -1e6, 1e6);
  if (!v) return;
  // The shown value is rounded: an unchanged text turns nothing.
  const double target = std::remainder(*v, 2 * Pi);
  const double delta = std::remainder(target - RRYawOf(*e), 2 * Pi);
  if (std::fabs(delta) < 1e-6) return;
  Change({e}, [this, delta](TRREntity& x) {
    x.Rotate(gx::GXQuaternionRotationAxis({0, 1, 0}, static_cast<float>(delta)), gx::TGXTransformSpace::World);
    Placed(x);
  });
}

}  // namespace rr
