#include "gui/events/EventWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "app/RRUIService.h"
#include "app/RRUnits.h"
#include "gui/events/EntityPickerWindow.h"
#include "gui/events/EventGroupWindow.h"

namespace rr {

TEventWindow::TEventWindow(TRREvent& event, const TEventPropertyContext& context, IRRUIService& ui, QWidget* parent)
    : QDialog(parent), FEvent(event), FWork(event.Clone()), FContext(context), FUI(ui) {
  setWindowTitle("Ereignis");
  auto* head = new QFormLayout;
  FName = new QLineEdit(QString::fromStdString(event.Name()));
  head->addRow("Name:", FName);
  FEnabled = new QCheckBox("Ereignis aktivieren");
  FEnabled->setChecked(event.Enabled());
  head->addRow(FEnabled);

  // The condition: its kind, then its fields.
  auto* condition = new QGroupBox("Bedingung");
  auto* conditionLayout = new QVBoxLayout(condition);
  FConditionBox = new QComboBox;
  const auto& classes = RRConditionClasses();
  for (const TRRConditionClass& c : classes) FConditionBox->addItem(QString::fromUtf8(c.DisplayName));
  int current = -1;
  if (const TRRCondition* c = FWork->Condition())
    for (size_t i = 0; i < classes.size(); ++i)
      if (std::string_view(classes[i].Name) == c->ClassName()) current = int(i);
  FConditionBox->setCurrentIndex(current);
  conditionLayout->addWidget(FConditionBox);
  FConditionRows = new QGroupBox("Eigenschaften der Bedingung");
  conditionLayout->addWidget(FConditionRows);
  conditionLayout->addStretch();
  connect(FConditionBox, &QComboBox::currentIndexChanged, this, [this](int index) {
    const auto& all = RRConditionClasses();
    if (index < 0 || size_t(index) >= all.size()) return;
    if (FWork->Condition() && std::string_view(FWork->Condition()->ClassName()) == all[size_t(index)].Name) return;
    FWork->SetCondition(all[size_t(index)].Create(FWork.get()));
    BuildConditionRows();
  });

  // The actions: the list with its buttons, then the fields of the chosen one.
  auto* actions = new QGroupBox("Aktionen");
  auto* actionLayout = new QVBoxLayout(actions);
  FActions = new QListWidget;
  FActions->setMinimumHeight(110);
  auto* buttons = new QHBoxLayout;
  FAdd = new QToolButton;
  FAdd->setText("Hinzufügen");
  FAdd->setPopupMode(QToolButton::InstantPopup);
  FAddMenu = new QMenu(FAdd);
  const auto& actionClasses = RRActionClasses();
  for (size_t i = 0; i < actionClasses.size(); ++i)
    FAddMenu->addAction(QString::fromUtf8(actionClasses[i].DisplayName), this, [this, i] { AddAction(int(i)); });
  FAdd->setMenu(FAddMenu);
  FDelete = new QPushButton("Löschen");
  FUp = new QPushButton("Nach oben");
  FDown = new QPushButton("Nach unten");
  buttons->addWidget(FAdd);
  buttons->addWidget(FDelete);
  buttons->addWidget(FUp);
  buttons->addWidget(FDown);
  buttons->addStretch();
  actionLayout->addWidget(FActions);
  actionLayout->addLayout(buttons);
  FActionRows = new QGroupBox("Eigenschaften der Aktion");
  actionLayout->addWidget(FActionRows);
  connect(FDelete, &QPushButton::clicked, this, [this] {
    const int row = FActions->currentRow();
    if (row < 0 || row >= FWork->ActionCount()) return;
    FWork->ExtractAction(row);
    FillActions(std::min(row, FWork->ActionCount() - 1));
  });
  connect(FUp, &QPushButton::clicked, this, [this] { MoveAction(-1); });
  connect(FDown, &QPushButton::clicked, this, [this] { MoveAction(1); });
  connect(FActions, &QListWidget::currentRowChanged, this, [this] {
    BuildActionRows();
    UpdateButtons();
  });

  auto* columns = new QHBoxLayout;
  columns->addWidget(condition, 1);
  columns->addWidget(actions, 1);

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  FOk = box->button(QDialogButtonBox::Ok);
  FOk->setText("OK");
  box->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(head);
  layout->addLayout(columns, 1);
  layout->addWidget(box);
  BuildConditionRows();
  FillActions(FWork->ActionCount() > 0 ? 0 : -1);
  resize(760, 460);
}

TEventWindow::~TEventWindow() = default;

void TEventWindow::AddAction(int classIndex) {
  const auto& all = RRActionClasses();
  if (classIndex < 0 || size_t(classIndex) >= all.size()) return;
  FWork->AddAction(all[size_t(classIndex)].Create(FWork.get()));
  FillActions(FWork->ActionCount() - 1);
}

void TEventWindow::MoveAction(int delta) {
  const int row = FActions->currentRow();
  const int to = row + delta;
  if (row < 0 || to < 0 || to >= FWork->ActionCount()) return;
  FWork->ExchangeActions(row, to);
  FillActions(to);
}

void TEventWindow::FillActions(int select) {
  const QSignalBlocker block(FActions);
  FActions->clear();
  for (int i = 0; i < FWork->ActionCount(); ++i) FActions->addItem(QString::fromUtf8(FWork->Action(i)->DisplayName()));
  FActions->setCurrentRow(select);
  BuildActionRows();
  UpdateButtons();
}

void TEventWindow::UpdateButtons() {
  const int row = FActions->currentRow();
  FDelete->setEnabled(row >= 0);
  FUp->setEnabled(row > 0);
  FDown->setEnabled(row >= 0 && row + 1 < FWork->ActionCount());
}

void TEventWindow::BuildConditionRows() {
  std::vector<TEventProperty> rows;
  if (TRRCondition* c = FWork->Condition()) rows = RRConditionProperties(*c, FContext);
  BuildRows(FConditionRows, std::move(rows), false);
}

void TEventWindow::BuildActionRows() {
  std::vector<TEventProperty> rows;
  const int row = FActions->currentRow();
  if (row >= 0 && row < FWork->ActionCount()) rows = RRActionProperties(*FWork->Action(row), FContext);
  BuildRows(FActionRows, std::move(rows), true);
}

void TEventWindow::BuildRows(QGroupBox* box, std::vector<TEventProperty> rows, bool ofAction) {
  // The old rows may be the sender of the change that rebuilds them: they go once it returned.
  if (QWidget* old = box->findChild<QWidget*>("rows", Qt::FindDirectChildrenOnly)) {
    old->setObjectName(QString());
    old->hide();
    old->deleteLater();
  }
  delete box->layout();
  auto* holder = new QWidget(box);
  holder->setObjectName("rows");
  auto* form = new QFormLayout(holder);
  form->setContentsMargins(0, 0, 0, 0);
  for (TEventProperty& row : rows) {
    auto p = std::make_shared<TEventProperty>(std::move(row));
    QWidget* editor = MakeEditor(p, ofAction);
    editor->setObjectName(QString::fromStdString(p->Caption));
    if (p->Kind == TEventPropertyKind::Check)
      form->addRow(editor);
    else
      form->addRow(QString::fromStdString(p->Caption) + ":", editor);
  }
  if (rows.empty()) form->addRow(new QLabel("Keine Eigenschaften"));
  auto* outer = new QVBoxLayout(box);
  outer->addWidget(holder);
  holder->show();
}

QWidget* TEventWindow::MakeEditor(const std::shared_ptr<TEventProperty>& p, bool ofAction) {
  auto rebuild = [this, ofAction] {
    // Later: the editor that asked is still inside its own signal.
    QTimer::singleShot(0, this, [this, ofAction] { ofAction ? BuildActionRows() : BuildConditionRows(); });
  };
  switch (p->Kind) {
    case TEventPropertyKind::Entity: {
      auto* button = new QPushButton(QString::fromStdString(RRPropertyEntityText(*p, p->GetInt(), FContext.Entities)));
      connect(button, &QPushButton::clicked, this, [this, p, button, rebuild] {
        TEntityPickerWindow picker(*p, FContext.Entities, p->GetInt(), this);
        if (picker.exec() != QDialog::Accepted) return;
        p->SetInt(picker.ChosenID());
        button->setText(QString::fromStdString(RRPropertyEntityText(*p, p->GetInt(), FContext.Entities)));
        if (p->Rebuilds) rebuild();
      });
      return button;
    }
    case TEventPropertyKind::Choice: {
      auto* combo = new QComboBox;
      for (auto& [caption, value] : p->Options) combo->addItem(QString::fromStdString(caption), value);
      combo->setCurrentIndex(RRChoiceIndex(*p, p->GetInt()));
      connect(combo, &QComboBox::currentIndexChanged, this, [p, combo](int index) {
        if (index >= 0) p->SetInt(combo->itemData(index).toInt());
      });
      return combo;
    }
    case TEventPropertyKind::Number: {
      auto* holder = new QWidget;
      auto* line = new QHBoxLayout(holder);
      line->setContentsMargins(0, 0, 0, 0);
      auto* edit = new QLineEdit(QString::fromStdString(RRFormatNumber(p->GetNumber() * p->Factor)));
      edit->setObjectName("value");
      line->addWidget(edit, 1);
      line->addWidget(new QLabel(QString::fromStdString(p->Unit)));
      // Unreadable text is left alone; the field keeps its last number.
      connect(edit, &QLineEdit::textChanged, this, [p](const QString& text) {
        double stored = 0;
        if (RRParsePropertyNumber(*p, text.toStdString(), stored)) p->SetNumber(stored);
      });
      connect(edit, &QLineEdit::editingFinished, this, [p, edit] {
        const QSignalBlocker block(edit);
        edit->setText(QString::fromStdString(RRFormatNumber(p->GetNumber() * p->Factor)));
      });
      return holder;
    }
    case TEventPropertyKind::Check: {
      auto* check = new QCheckBox(QString::fromStdString(p->Caption));
      check->setChecked(p->GetInt() != 0);
      connect(check, &QCheckBox::toggled, this, [p](bool on) { p->SetInt(on ? 1 : 0); });
      return check;
    }
    case TEventPropertyKind::Countdown: {
      auto* combo = new QComboBox;
      combo->setEditable(p->FreeText);
      const QString now = QString::fromStdString(p->GetText());
      for (const std::string& name : p->Names) combo->addItem(QString::fromStdString(name));
      if (!now.isEmpty() && combo->findText(now) < 0) combo->insertItem(0, now);
      combo->setCurrentIndex(now.isEmpty() ? -1 : combo->findText(now));
      if (p->FreeText) combo->setEditText(now);
      connect(combo, &QComboBox::currentTextChanged, this,
              [p](const QString& text) { p->SetText(text.trimmed().toStdString()); });
      return combo;
    }
  }
  return new QWidget;
}

QWidget* TEventWindow::PropertyEditor(bool ofAction, const QString& caption) const {
  QGroupBox* box = ofAction ? FActionRows : FConditionRows;
  QWidget* rows = box->findChild<QWidget*>("rows", Qt::FindDirectChildrenOnly);
  if (!rows) return nullptr;
  QWidget* w = rows->findChild<QWidget*>(caption);
  if (w && w->findChild<QLineEdit*>("value")) return w->findChild<QLineEdit*>("value");
  return w;
}

void TEventWindow::accept() {
  if (!RRCheckEventName(FName->text(), FUI)) {
    FName->setFocus();
    return;
  }
  FWork->SetName(FName->text().trimmed().toStdString());
  FWork->SetEnabled(FEnabled->isChecked());
  FEvent.Assign(*FWork);
  if (FEvent.Manager()) FEvent.Manager()->TreeChanged();
  QDialog::accept();
}

}  // namespace rr
