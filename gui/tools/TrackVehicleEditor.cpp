#include "gui/tools/TrackVehicleEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "app/RRPreview.h"
#include "app/RRUIService.h"
#include "app/RRUnits.h"
#include "engine/render/GX3DSReader.h"
#include "engine/render/GXModelData.h"
#include "engine/render/GXModelReader.h"
#include "gui/PreviewView.h"
#include "engine/render/GXXFileReader.h"

namespace rr {

namespace {
constexpr int kPreviewWidth = 300, kPreviewHeight = 160;
// The largest model file read for the check (the loader refuses larger ones anyway).
constexpr std::streamoff kMaxModelFile = 256LL << 20;
// A baseline further than a metre from the rail is a typing error.
constexpr float kMaxBaseline = 100;

QString FileLabel(const TRRAssetFileName& f) {
  const QString name = QString::fromStdString(f.FileName.empty() ? f.RelativeName : f.FileName);
  return QFileInfo(QString(name).replace('\\', '/')).fileName();
}
}  // namespace

gx::TGXBoundingBox RRModelFileBox(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file);
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0 || size > kMaxModelFile) throw std::runtime_error("model file size");
  in.seekg(0);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), size);
  if (!in) throw std::runtime_error("cannot read " + file);
  const QString ext = QFileInfo(QString::fromStdString(file)).suffix().toLower();
  const gx::TGXModelData data = ext == "3ds" ? gx::GXRead3DS(bytes.data(), bytes.size())
                                : ext == "x" ? gx::GXReadXFile(bytes.data(), bytes.size())
                                             : gx::GXReadModel(bytes.data(), bytes.size());
  gx::TGXBoundingBox box;
  for (const gx::TGXModelMesh& m : data.Meshes)
    if (!m.Vertices.empty()) gx::MergeBox(box, gx::BoxFromMinMax(m.BoundsMin, m.BoundsMax));
  if (box.Empty) throw std::runtime_error("model without meshes");
  return box;
}

TTrackVehicleEditor::TTrackVehicleEditor(QWidget* parent, const TRRTrackVehicleDesc& vehicle, int lengthUnit,
                                         IRRUIService& ui)
    : QDialog(parent),
      FVehicle(static_cast<TRRTrackVehicleDesc*>(vehicle.Clone().release())),
      FLengthUnit(std::clamp(lengthUnit, 0, RRLengthUnitCount - 1)),
      FUI(ui) {
  setWindowTitle(RRTextVehicleEditorCaption);
  setObjectName(RRTextVehicleEditorCaption);
  FFilling = true;
  auto* layout = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  auto* form = new QFormLayout;
  auto* modelRow = new QHBoxLayout;
  FModel = new QLineEdit(this);
  FModel->setReadOnly(true);
  auto* openModel = new QPushButton("...", this);
  openModel->setToolTip("3D-Modell wählen");
  modelRow->addWidget(FModel, 1);
  modelRow->addWidget(openModel);
  form->addRow("Modell:", modelRow);
  FAxis = new QComboBox(this);
  for (const char* label : RRForwardAxisLabels) FAxis->addItem(label);
  form->addRow("Ausrichtung:", FAxis);
  FType = new QComboBox(this);
  FType->addItems({"Lok", "Wagon"});
  form->addRow("Typ:", FType);
  FSoundRow = new QWidget(this);
  auto* soundRow = new QHBoxLayout(FSoundRow);
  soundRow->setContentsMargins(0, 0, 0, 0);
  FSound = new QLineEdit(FSoundRow);
  FSound->setReadOnly(true);
  auto* openSound = new QPushButton("...", FSoundRow);
  openSound->setToolTip("Geräusch wählen");
  auto* deleteSound = new QPushButton("Löschen", FSoundRow);
  soundRow->addWidget(FSound, 1);
  soundRow->addWidget(openSound);
  soundRow->addWidget(deleteSound);
  form->addRow("Geräusch:", FSoundRow);
  FScaling = new QCheckBox("Automatische Gleisskalierung", this);
  FSlope = new QCheckBox("Geschwindigkeitsanpassung am Berg", this);
  form->addRow("", FScaling);
  form->addRow("", FSlope);
  auto* baselineRow = new QHBoxLayout;
  FBaseline = new QLineEdit(this);
  FBaseline->setMaximumWidth(90);
  baselineRow->addWidget(FBaseline);
  baselineRow->addWidget(new QLabel(RRLengthUnits[FLengthUnit].Name, this));
  baselineRow->addStretch(1);
  form->addRow("Abstand:", baselineRow);
  left->addLayout(form);
  left->addStretch(1);
  auto* buttons = new QDialogButtonBox(this);
  FOk = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Abbrechen", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    ReadWidgets();
    RRFinishEditedVehicle(*FVehicle);
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  left->addWidget(buttons);
  layout->addLayout(left, 1);
  FPreview = new TRRPreviewView(kPreviewWidth, kPreviewHeight, this);
  layout->addWidget(FPreview, 0, Qt::AlignTop);

  connect(openModel, &QPushButton::clicked, this, [this] {
    TRRFileDialogOptions o;
    o.Title = "3D-Modell wählen";
    o.Filters = {{"3D-Modelle (*.x;*.3ds;*.gxmodel)", "*.x;*.3ds;*.gxmodel"}};
    if (const std::optional<std::string> file = FUI.OpenFileDialog(o)) ChooseModel(*file);
  });
  connect(openSound, &QPushButton::clicked, this, [this] {
    TRRFileDialogOptions o;
    o.Title = "Geräusch wählen";
    o.Filters = {{"Geräusche (*.wav)", "*.wav"}};
    if (const std::optional<std::string> file = FUI.OpenFileDialog(o)) ChooseSound(*file);
  });
  connect(deleteSound, &QPushButton::clicked, this, [this] {
    FVehicle->Sound = {};
    FVehicle->SoundEnabled = false;
    ShowState();
  });
  auto changed = [this] {
    if (FFilling) return;
    ReadWidgets();
    ShowState();
    Rebuild();
  };
  connect(FAxis, &QComboBox::currentIndexChanged, this, changed);
  connect(FType, &QComboBox::currentIndexChanged, this, changed);
  connect(FScaling, &QCheckBox::toggled, this, changed);
  connect(FSlope, &QCheckBox::toggled, this, changed);
  connect(FBaseline, &QLineEdit::editingFinished, this, changed);

  ShowState();
  FFilling = false;
  Rebuild();
}

TTrackVehicleEditor::~TTrackVehicleEditor() = default;

void TTrackVehicleEditor::ReadWidgets() {
  FVehicle->ForwardAxis = uint8_t(std::clamp(FAxis->currentIndex(), 0, RRForwardAxisCount - 1));
  FVehicle->HasEngine = FType->currentIndex() == 0;
  FVehicle->AutomaticScaling = FScaling->isChecked();
  FVehicle->AdaptSpeed = FSlope->isChecked();
  // A typed baseline that is no finite number keeps the old one.
  QString text = FBaseline->text().trimmed();
  text.replace(',', '.');
  bool ok = false;
  const double typed = text.toDouble(&ok);
  if (ok && std::isfinite(typed))
    FVehicle->BaselineOffset =
        std::clamp(float(typed / RRLengthUnits[FLengthUnit].Factor), -kMaxBaseline, kMaxBaseline);
}

void TTrackVehicleEditor::ShowState() {
  const bool filling = FFilling;
  FFilling = true;
  FModel->setText(FileLabel(FVehicle->ModelFile().Model));
  FAxis->setCurrentIndex(std::clamp(int(FVehicle->ForwardAxis), 0, RRForwardAxisCount - 1));
  FType->setCurrentIndex(FVehicle->HasEngine ? 0 : 1);
  FSound->setText(FileLabel(FVehicle->Sound));
  // Sound and the slope speed belong to locomotives only.
  FSoundRow->setEnabled(FVehicle->HasEngine);
  FSlope->setEnabled(FVehicle->HasEngine);
  FScaling->setChecked(FVehicle->AutomaticScaling);
  FSlope->setChecked(FVehicle->AdaptSpeed);
  FBaseline->setText(QString::fromStdString(RRFormatDecimal(
      FVehicle->BaselineOffset * RRLengthUnits[FLengthUnit].Factor, RRLengthUnits[FLengthUnit].Decimals,
      RRDecimalSeparator())));
  FFilling = filling;
}

bool TTrackVehicleEditor::ChooseModel(const std::string& file) {
  gx::TGXBoundingBox box;
  try {
    box = RRModelFileBox(file);
  } catch (const std::exception&) {
    FUI.ShowMessage(RRTextInvalidModel, RRTextInvalidModelCaption, TRRMessageIcon::Error);
    return false;
  }
  FVehicle->ModelFile() = TRRModelFileName{TRRAssetFileName(file), {}};
  FVehicle->ForwardAxis = uint8_t(RRDefaultForwardAxis(box));
  ShowState();
  Rebuild();
  return true;
}

bool TTrackVehicleEditor::ChooseSound(const std::string& file) {
  if (!FVehicle->HasEngine || !QFileInfo::exists(QString::fromStdString(file))) return false;
  FVehicle->Sound = TRRAssetFileName(file);
  FVehicle->SoundEnabled = true;
  ShowState();
  return true;
}

void TTrackVehicleEditor::Rebuild() {
  TRRPreviewRenderWindow* preview = FPreview->Preview();
  if (!preview) return;
  preview->ShowScene(RRVehiclePreviewScene(*FVehicle), [](TRREntity& e) {
    if (auto* v = dynamic_cast<TRRTrackVehicle*>(&e)) v->UpdatePlacement();
  });
  FPreview->Step();
}

void TTrackVehicleEditor::StepPreview() { FPreview->Step(); }

QImage TTrackVehicleEditor::PreviewImage() const { return FPreview->Picture(); }

}  // namespace rr
