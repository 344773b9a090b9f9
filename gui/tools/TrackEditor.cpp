#include "gui/tools/TrackEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "app/RRPreview.h"
#include "app/RRUIService.h"
#include "app/entities/track/RRTrackSystems.h"
#include "gui/PreviewView.h"

namespace rr {

namespace {
constexpr int kPreviewWidth = 260, kPreviewHeight = 190;
constexpr const char* kBrowse = "Durchsuchen...";

QString TextureLabel(const TRRAssetFileName& f) {
  const QString name = QString::fromStdString(f.FileName.empty() ? f.RelativeName : f.FileName);
  return QFileInfo(QString(name).replace('\\', '/')).fileName();
}
}  // namespace

TTrackEditor::TTrackEditor(QWidget* parent, const TRRTrackDesc& start, const TRREntityDescriptionList* catalogue,
                           int lengthUnit, int angleUnit, IRRUIService& ui)
    : QDialog(parent),
      FStart(static_cast<TRRTrackDesc*>(start.Clone().release())),
      FCatalogue(catalogue),
      FUI(ui),
      FValues(TRRTrackEditorValues::FromDescription(start, lengthUnit, angleUnit)) {
  setWindowTitle(RRTextTrackEditorCaption);
  setObjectName(RRTextTrackEditorCaption);
  FFilling = true;
  auto* layout = new QVBoxLayout(this);
  auto* hint = new QLabel(RRTextTrackEditorHint, this);
  QFont bold = hint->font();
  bold.setBold(true);
  hint->setFont(bold);
  layout->addWidget(hint);

  auto* columns = new QHBoxLayout;
  auto* form = new QFormLayout;
  FName = new QLineEdit(QString::fromStdString(FValues.Name), this);
  FDescriptionText = new QLineEdit(QString::fromStdString(FValues.DescriptionText), this);
  FManufacturer = new QLineEdit(QString::fromStdString(FValues.Manufacturer), this);
  FSystem = new QLineEdit(QString::fromStdString(FValues.System), this);
  FType = new QComboBox(this);
  for (int t = 0; t < RRTrackTypeCount; ++t) FType->addItem(RRTrackTypeDisplayName(TRRTrackType(t)), t);
  FType->setCurrentIndex(int(FValues.Type));
  FGauge = new QComboBox(this);
  for (int g = 0; g < RRTrackSystemCount; ++g) FGauge->addItem(RRTrackSystemName(g), g);
  FGauge->setCurrentIndex(std::clamp(FValues.Gauge, 0, RRTrackSystemCount - 1));
  // The track's own texture, the standard one and whatever the user browses for.
  FTexture = new QComboBox(this);
  FTextures.push_back(FValues.Texture);
  const TRRAssetFileName standard{RRDefaultTrackTextureName, RRDefaultTrackTexturePath};
  if (!standard.SameFile(FValues.Texture)) FTextures.push_back(standard);
  for (const TRRAssetFileName& f : FTextures) FTexture->addItem(TextureLabel(f));
  FTexture->addItem(kBrowse);
  FBed = new QCheckBox("Gleisbettung", this);
  FBed->setChecked(FValues.HasBed);
  form->addRow("Name:", FName);
  form->addRow("Beschreibung:", FDescriptionText);
  form->addRow("Hersteller:", FManufacturer);
  form->addRow("Gleissystem:", FSystem);
  form->addRow("Gleistyp:", FType);
  form->addRow("Spurweite:", FGauge);
  form->addRow("Textur:", FTexture);
  form->addRow("", FBed);
  columns->addLayout(form, 1);

  auto* right = new QVBoxLayout;
  FPreview = new TRRPreviewView(kPreviewWidth, kPreviewHeight, this);
  right->addWidget(FPreview);
  right->addStretch(1);
  columns->addLayout(right);
  layout->addLayout(columns);

  FRowArea = new QWidget(this);
  FRowGrid = new QGridLayout(FRowArea);
  FRowGrid->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(FRowArea);
  auto* crossRow = new QHBoxLayout;
  FCrossAngleLabel = new QLabel("Kreuzwinkel:", this);
  FCrossAngle = new QLineEdit(QString::fromStdString(FValues.CrossAngle), this);
  FCrossAngle->setMaximumWidth(90);
  crossRow->addWidget(FCrossAngleLabel);
  crossRow->addWidget(FCrossAngle);
  crossRow->addStretch(1);
  layout->addLayout(crossRow);
  FAnnotation = new QLabel(this);
  layout->addWidget(FAnnotation);
  FProblem = new QLabel(this);
  FProblem->setStyleSheet("color: #a01010;");
  FProblem->setWordWrap(true);
  layout->addWidget(FProblem);

  auto* buttons = new QDialogButtonBox(this);
  FOk = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Abbrechen", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    Rebuild();
    if (FDescription) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  auto changed = [this] {
    if (!FFilling) Rebuild();
  };
  for (QLineEdit* e : {FName, FDescriptionText, FManufacturer, FSystem, FCrossAngle})
    connect(e, &QLineEdit::textChanged, this, changed);
  connect(FBed, &QCheckBox::toggled, this, changed);
  connect(FGauge, &QComboBox::currentIndexChanged, this, changed);
  connect(FType, &QComboBox::currentIndexChanged, this, [this] {
    if (FFilling) return;
    ReadWidgets();
    FValues.SetType(TRRTrackType(FType->currentData().toInt()));
    LayOutRows();
    Rebuild();
  });
  connect(FTexture, &QComboBox::activated, this, [this](int index) {
    if (index == FTexture->count() - 1) {
      TRRFileDialogOptions o;
      o.Title = "Textur wählen...";
      o.Filters = {{"Alle Texturen (*.bmp;*.jpg;*.png;*.tga;*.dds)", "*.bmp;*.jpg;*.jpeg;*.png;*.tga;*.dds"}};
      const std::optional<std::string> file = FUI.OpenFileDialog(o);
      FFilling = true;
      if (file) {
        FTextures.push_back(TRRAssetFileName(*file));
        FTexture->insertItem(FTexture->count() - 1, TextureLabel(FTextures.back()));
        FTexture->setCurrentIndex(FTexture->count() - 2);
      } else {
        FTexture->setCurrentIndex(0);
      }
      FFilling = false;
    }
    Rebuild();
  });

  LayOutRows();
  FFilling = false;
  Rebuild();
}

TTrackEditor::~TTrackEditor() = default;

QLineEdit* TTrackEditor::Cell(int row, TRRTrackEditorColumn column) const {
  if (row < 0 || size_t(row) >= FCells.size()) return nullptr;
  return FCells[size_t(row)][size_t(column)];
}

void TTrackEditor::LayOutRows() {
  const bool filling = FFilling;
  FFilling = true;
  for (auto& row : FCells)
    for (QLineEdit* e : row) delete e;
  FCells.clear();
  while (QLayoutItem* item = FRowGrid->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  const TRRTrackEditorLayout& lay = RRTrackEditorLayout(FValues.Type);
  for (size_t c = 0; c < lay.Captions.size(); ++c)
    FRowGrid->addWidget(new QLabel(lay.Captions[c], FRowArea), 0, int(c) + 1);
  FValues.Rows.resize(size_t(lay.Rows));
  for (int r = 0; r < lay.Rows; ++r) {
    FRowGrid->addWidget(new QLabel(QString("Spur %1:").arg(r + 1), FRowArea), r + 1, 0);
    FCells.emplace_back(RRTrackEditorColumns, nullptr);
    for (size_t c = 0; c < lay.Fields.size(); ++c) {
      const TRRTrackEditorColumn field = lay.Fields[c];
      auto* e = new QLineEdit(QString::fromStdString(FValues.Rows[size_t(r)][size_t(field)]), FRowArea);
      e->setMaximumWidth(90);
      FRowGrid->addWidget(e, r + 1, int(c) + 1);
      FCells.back()[size_t(field)] = e;
      connect(e, &QLineEdit::textChanged, this, [this] {
        if (!FFilling) Rebuild();
      });
    }
  }
  // The value columns stay narrow; the room to the right is left empty.
  for (int c = 0; c <= RRTrackEditorColumns + 1; ++c) FRowGrid->setColumnStretch(c, c == RRTrackEditorColumns + 1 ? 1 : 0);
  FCrossAngle->setVisible(lay.CrossAngle);
  FCrossAngleLabel->setVisible(lay.CrossAngle);
  FAnnotation->setText(
      QString::fromStdString(RRTrackEditorAnnotation(FValues.Type, FValues.LengthUnit, FValues.AngleUnit)));
  FFilling = filling;
}

void TTrackEditor::ReadWidgets() {
  FValues.Name = FName->text().toStdString();
  FValues.DescriptionText = FDescriptionText->text().toStdString();
  FValues.Manufacturer = FManufacturer->text().toStdString();
  FValues.System = FSystem->text().toStdString();
  FValues.Gauge = FGauge->currentData().toInt();
  FValues.HasBed = FBed->isChecked();
  const int texture = FTexture->currentIndex();
  if (texture >= 0 && size_t(texture) < FTextures.size()) FValues.Texture = FTextures[size_t(texture)];
  FValues.CrossAngle = FCrossAngle->text().toStdString();
  for (size_t r = 0; r < FCells.size() && r < FValues.Rows.size(); ++r)
    for (int c = 0; c < RRTrackEditorColumns; ++c)
      if (QLineEdit* e = FCells[r][size_t(c)]) FValues.Rows[r][size_t(c)] = e->text().toStdString();
}

void TTrackEditor::Rebuild() {
  ReadWidgets();
  TRRTrackEditorResult result;
  try {
    result = RRTryBuildTrack(FValues, *FStart, FCatalogue);
  } catch (const std::exception& e) {
    result.Description.reset();
    result.Problem = e.what();
  }
  FDescription = std::move(result.Description);
  FOk->setEnabled(FDescription != nullptr);
  FProblem->setText(FDescription ? QString() : QString::fromStdString(result.Problem.empty() ? RRTextTrackEditorNotBuildable : result.Problem));
  if (TRRPreviewRenderWindow* preview = FPreview->Preview()) {
    preview->Show(FDescription.get());
    FPreview->Step();
  }
}

void TTrackEditor::StepPreview() { FPreview->Step(); }

QImage TTrackEditor::PreviewImage() const { return FPreview->Picture(); }

}  // namespace rr
