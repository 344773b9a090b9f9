#include "gui/ProjectPanelWindow.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

#include "app/entities/panel/RRPanelShape.h"

namespace rr {

namespace {

// The shape page works in whole centimetres, whatever the display unit: the grid and the
// dimensions are stored so, and a grid of "2 cm" reads better than "20 mm" beside it.
const TRRDisplayUnit& ShapeUnit() { return RRLengthUnits[1]; }


}  // namespace

uint32_t RRShapeEditValue(const QString& text, uint32_t previous, const TRRDisplayUnit& unit) {
  const std::optional<double> typed = RRParseDecimal(text.toStdString(), RRDecimalSeparator(), unit.Name);
  uint32_t value = previous;
  if (typed && unit.Factor > 0) {
    const double v = *typed / double(unit.Factor);
    if (std::isfinite(v) && v >= 0.9) value = uint32_t(std::min<double>(std::round(v), RRPanelMaxDimension));
  }
  return std::max<uint32_t>(value, 1);
}

// The outline of the chosen shape with its dimensions named, drawn to scale.
class TShapePreview : public QWidget {
 public:
  explicit TShapePreview(QWidget* parent) : QWidget(parent) { setMinimumSize(220, 160); }
  void SetShape(const TRRPanelParams& p) {
    FShape = p;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().base());
    const TRRPanelParams& s = FShape;
    // Outline points in centimetres (x right, y down = towards the viewer).
    QPolygonF poly;
    const double A = s.A, B = s.B, C = s.C, D = s.D, E = s.E, F = s.F;
    switch (s.Shape) {
      case 1:  // open to the left: the cut-out at the left rear
        poly << QPointF(0, B - D) << QPointF(A - C, B - D) << QPointF(A - C, 0) << QPointF(A, 0) << QPointF(A, B)
             << QPointF(0, B);
        break;
      case 2:
        poly << QPointF(0, 0) << QPointF(C, 0) << QPointF(C, B - D) << QPointF(A, B - D) << QPointF(A, B)
             << QPointF(0, B);
        break;
      case 3:
        poly << QPointF(0, 0) << QPointF(C, 0) << QPointF(C, B - D) << QPointF(A - E, B - D) << QPointF(A - E, B - F)
             << QPointF(A, B - F) << QPointF(A, B) << QPointF(0, B);
        break;
      default:
        poly << QPointF(0, 0) << QPointF(A, 0) << QPointF(A, B) << QPointF(0, B);
        break;
    }
    const QRectF box = poly.boundingRect();
    if (box.width() <= 0 || box.height() <= 0) return;
    const double scale = std::min((width() - 40) / box.width(), (height() - 40) / box.height());
    p.translate((width() - box.width() * scale) / 2 - box.left() * scale,
                (height() - box.height() * scale) / 2 - box.top() * scale);
    p.scale(scale, scale);
    QPen pen(QColor(0x5A, 0x3D, 0x22));
    pen.setCosmetic(true);
    pen.setWidth(2);
    p.setPen(pen);
    p.setBrush(QColor(0xC9, 0xA8, 0x74));
    p.drawPolygon(poly);
  }

 private:
  TRRPanelParams FShape = RRPanelShapePageDefaults();
};

TProjectPanelWindow::TProjectPanelWindow(QWidget* parent) : QDialog(parent), FUnit(ShapeUnit()) {
  setWindowTitle("Neues Projekt");
  Build();
  FShape = RRPanelShapePageDefaults();
  FillEdits(FShape);
  FillTrackLists();
  // A new project starts with the grid the rules choose for the default outline.
  Normalise(false);
  ShowPage(0);
  resize(560, 400);
}

TProjectPanelWindow::TProjectPanelWindow(const TRRPanelParams& shape, QWidget* parent)
    : QDialog(parent), FUnit(ShapeUnit()), FShapeOnly(true) {
  setWindowTitle("Assistent");
  Build();
  FShape = shape;
  FShape.Shape = uint8_t(std::min<int>(shape.Shape, 3));
  // Dimensions the panel's shape does not use show the page's defaults.
  const TRRPanelParams defaults = RRPanelShapePageDefaults();
  TRRPanelParams shown = FShape;
  if (shown.Shape == 0) shown.C = defaults.C, shown.D = defaults.D;
  if (shown.Shape != 3) shown.E = defaults.E, shown.F = defaults.F;
  FillEdits(shown);
  FBack->setVisible(false);
  Normalise();
  ShowPage(1);
  resize(560, 340);
}

void TProjectPanelWindow::Build() {
  auto* root = new QVBoxLayout(this);
  FCaption = new QLabel(this);
  QFont f = FCaption->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.3);
  FCaption->setFont(f);
  FCaption->setObjectName("CaptionLbl");
  FHint = new QLabel(this);
  FHint->setObjectName("HintLbl");
  FHint->setWordWrap(true);
  root->addWidget(FCaption);
  root->addWidget(FHint);
  FPages = new QStackedWidget(this);
  root->addWidget(FPages, 1);

  // Page 1: the track filter.
  auto* trackPage = new QWidget(FPages);
  auto* trackLayout = new QGridLayout(trackPage);
  const char* headings[3] = {"Hersteller", "Spurweiten", "Gleissysteme"};
  for (int i = 0; i < 3; ++i) {
    trackLayout->addWidget(new QLabel(headings[i], trackPage), 0, i);
    FTrackLists[size_t(i)] = new QListWidget(trackPage);
    trackLayout->addWidget(FTrackLists[size_t(i)], 1, i);
    connect(FTrackLists[size_t(i)], &QListWidget::itemChanged, this, [this, i] { TrackListChanged(i); });
  }
  FPages->addWidget(trackPage);

  // Page 2: the baseboard.
  auto* shapePage = new QWidget(FPages);
  auto* shapeLayout = new QHBoxLayout(shapePage);
  auto* form = new QFormLayout;
  FType = new QComboBox(shapePage);
  FType->setObjectName("TypeBox");
  for (const char* c : RRShapeCaptions) FType->addItem(c);
  form->addRow("Grundform:", FType);
  const char* names = "ABCDEF";
  for (int i = 0; i < 6; ++i) {
    FEdits[size_t(i)] = new QLineEdit(shapePage);
    FEdits[size_t(i)]->setObjectName(QString("Edit%1").arg(names[i]));
    const QString label = QString("%1 (%2):").arg(names[i]).arg(QString::fromUtf8(FUnit.Name));
    FEditLabels[size_t(i)] = new QLabel(label, shapePage);
    form->addRow(FEditLabels[size_t(i)], FEdits[size_t(i)]);
    connect(FEdits[size_t(i)], &QLineEdit::editingFinished, this, [this] { Normalise(); });
  }
  FGrid = new QComboBox(shapePage);
  FGrid->setObjectName("QuadWidthBox");
  form->addRow("Raster:", FGrid);
  shapeLayout->addLayout(form);
  FPreview = new TShapePreview(shapePage);
  shapeLayout->addWidget(FPreview, 1);
  FPages->addWidget(shapePage);
  connect(FType, &QComboBox::currentIndexChanged, this, [this] { Normalise(); });
  connect(FGrid, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (FFilling || index < 0) return;
    FShape.QuadWidth = FGrid->itemData(index).toUInt();
  });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  FBack = new QPushButton("< &Zurück", this);
  FNext = new QPushButton("&Weiter >", this);
  FCancel = new QPushButton("Abbrechen", this);
  buttons->addWidget(FBack);
  buttons->addWidget(FNext);
  buttons->addWidget(FCancel);
  root->addLayout(buttons);
  FNext->setDefault(true);
  connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(FBack, &QPushButton::clicked, this, [this] { ShowPage(0); });
  connect(FNext, &QPushButton::clicked, this, [this] {
    if (Page() == 0) {
      ShowPage(1);
    } else {
      Normalise();
      accept();
    }
  });
}

void TProjectPanelWindow::FillEdits(const TRRPanelParams& shown) {
  FFilling = true;
  const uint32_t v[6] = {shown.A, shown.B, shown.C, shown.D, shown.E, shown.F};
  for (int i = 0; i < 6; ++i) FEdits[size_t(i)]->setText(ShowDimension(v[i]));
  FType->setCurrentIndex(shown.Shape);
  FFilling = false;
}

int TProjectPanelWindow::Page() const { return FPages->currentIndex(); }

void TProjectPanelWindow::ShowPage(int page) {
  FPages->setCurrentIndex(page);
  FBack->setEnabled(page > 0);
  FNext->setText(page == 0 ? "&Weiter >" : FShapeOnly ? "Ok" : "&Fertig stellen");
  if (page == 0) {
    FCaption->setText("Gleisparameter");
    FHint->setText("Wählen Sie die Hersteller, Spurweiten und Gleissysteme, die der Katalog anbieten soll. "
                   "Ohne Auswahl bietet er alle an.");
  } else {
    FCaption->setText("Bodenplatte");
    FHint->setText("Wählen Sie die gewünschte Grundform, die Maße sowie die Rastergröße der Bodenplatte.");
  }
}

void TProjectPanelWindow::FillTrackLists() {
  FFilling = true;
  auto fill = [&](int list, auto option, auto selected) {
    QListWidget* w = FTrackLists[size_t(list)];
    w->clear();
    std::string name;
    for (int i = 0; (FTrack.*option)(i, name); ++i) {
      auto* item = new QListWidgetItem(QString::fromStdString(name), w);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
      item->setCheckState((FTrack.*selected)(name) ? Qt::Checked : Qt::Unchecked);
    }
  };
  fill(0, &TRRTrackParameters::GetManufacturerOption, &TRRTrackParameters::HasManufacturer);
  fill(1, &TRRTrackParameters::GetTrackWidthOption, &TRRTrackParameters::HasTrackWidth);
  fill(2, &TRRTrackParameters::GetTrackSystemOption, &TRRTrackParameters::HasTrackSystem);
  FFilling = false;
}

void TProjectPanelWindow::TrackListChanged(int list) {
  if (FFilling) return;
  QListWidget* w = FTrackLists[size_t(list)];
  for (int i = 0; i < w->count(); ++i) {
    const std::string name = w->item(i)->text().toStdString();
    const bool on = w->item(i)->checkState() == Qt::Checked;
    switch (list) {
      case 0:
        if (on != FTrack.HasManufacturer(name)) on ? FTrack.AddManufacturer(name, false) : FTrack.RemoveManufacturer(name);
        break;
      case 1:
        if (on != FTrack.HasTrackWidth(name)) on ? FTrack.AddTrackWidth(name, false) : FTrack.RemoveTrackWidth(name);
        break;
      default:
        if (on != FTrack.HasTrackSystem(name)) on ? FTrack.AddTrackSystem(name, false) : FTrack.RemoveTrackSystem(name);
        break;
    }
  }
  // The lower lists offer what the upper selection leaves.
  FillTrackLists();
}

void TProjectPanelWindow::Normalise(bool keepGrid) {
  if (FFilling) return;
  TRRPanelParams p = FShape;
  p.Shape = uint8_t(std::clamp(FType->currentIndex(), 0, 3));
  uint32_t* fields[6] = {&p.A, &p.B, &p.C, &p.D, &p.E, &p.F};
  // Values hidden for the chosen shape keep what they were, so switching back finds them.
  const uint32_t previous[6] = {std::max(FShape.A, 1u), std::max(FShape.B, 1u), std::max(FShape.C, 1u),
                                std::max(FShape.D, 1u), std::max(FShape.E, 1u), std::max(FShape.F, 1u)};
  for (int i = 0; i < 6; ++i) *fields[i] = RRShapeEditValue(FEdits[size_t(i)]->text(), previous[i], FUnit);
  const TRRPanelShapeResult r = RRNormalisePanelShape(p);
  const TRRPanelParams before = FShape;
  FShape = r.Params;
  // The grid the user chose (or the panel has) stays while the outline is the same.
  if (keepGrid && RRSamePanelOutline(before, FShape) &&
      std::find(r.Candidates.begin(), r.Candidates.end(), before.QuadWidth) != r.Candidates.end())
    FShape.QuadWidth = before.QuadWidth;
  FFilling = true;
  const uint32_t shown[6] = {FShape.A, FShape.B, p.C, p.D, p.E, p.F};
  const uint32_t normalised[6] = {FShape.A, FShape.B, FShape.C, FShape.D, FShape.E, FShape.F};
  for (int i = 0; i < 6; ++i) {
    const bool visible = i < 2 || (i < 4 && FShape.Shape > 0) || FShape.Shape == 3;
    FEdits[size_t(i)]->setVisible(visible);
    FEditLabels[size_t(i)]->setVisible(visible);
    FEdits[size_t(i)]->setText(ShowDimension(visible ? normalised[i] : shown[i]));
  }
  FGrid->clear();
  for (uint32_t n : r.Candidates) FGrid->addItem(ShowDimension(n) + " " + QString::fromUtf8(FUnit.Name), n);
  FGrid->setCurrentIndex(std::max(0, FGrid->findData(FShape.QuadWidth)));
  FFilling = false;
  FPreview->SetShape(FShape);
}

QString TProjectPanelWindow::ShowDimension(uint32_t centimetres) const {
  return QString::fromStdString(
      RRFormatDecimal(double(centimetres) * FUnit.Factor, FUnit.Decimals, RRDecimalSeparator()));
}

std::vector<uint8_t> TProjectPanelWindow::ShapeBytes() const {
  TRRPanelParams p = FShape;
  // On closing a rectangle has no C-F, an L no E and F.
  if (p.Shape == 0) p.C = p.D = p.E = p.F = 0;
  if (p.Shape == 1 || p.Shape == 2) p.E = p.F = 0;
  const auto bytes = p.ToBytes();
  return {bytes.begin(), bytes.end()};
}

}  // namespace rr
