#include "gui/pages/PanelTextureMenu.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRProject.h"
#include "app/RRUIService.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelEdits.h"
#include "app/entities/panel/RRPanelModifier.h"
#include "app/entities/panel/RRPanelTexture.h"
#include "app/entities/panel/RRPanelThumbnails.h"

namespace rr {

namespace {

TRRBrushSettings& PaintSettings() {
  static TRRBrushSettings settings = RRTexturePageDefaults();
  return settings;
}

QString ShowLength(double centimetres) {
  return QString::fromStdString(RRFormatLength(centimetres, RRPageLengthUnit()));
}

// The thumbnail of a texture file in the width given (16 or 162), or an empty pixmap.
QPixmap Thumbnail(const TRRAssetFileName& file, int32_t width) {
  if (!Global()) return {};
  const gx::TGXImage* image =
      TRRPanelThumbnails::Instance().Get(Global()->FileSystem(), file.EffectiveFileName(), width);
  if (!image || image->Pixels.empty()) return {};
  QImage q(reinterpret_cast<const uchar*>(image->Pixels.data()), int(image->Width), int(image->Height),
           int(image->Width * 4), QImage::Format_ARGB32);
  return QPixmap::fromImage(q.copy());
}

constexpr int IndexRole = Qt::UserRole;
constexpr int ItemRole = Qt::UserRole + 1;

}  // namespace

const TRRBrushSettings& TPanelTextureMenu::Settings() { return PaintSettings(); }

TPanelTextureMenu::TPanelTextureMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Panel, false, parent) {
  setObjectName("PaintPage");
  // Column 0: the list, its buttons, the preview and the scale.
  FTextures = new QComboBox(this);
  FTextures->setObjectName("TextureComboBox");
  FTextures->setMinimumWidth(150);
  FTextures->setIconSize(QSize(RRThumbnailSmall, RRThumbnailSmall));
  connect(FTextures, &QComboBox::currentIndexChanged, this, [this] {
    if (!FBuilding) Selected();
  });
  auto* tools = new QWidget(this);
  auto* th = new QHBoxLayout(tools);
  th->setContentsMargins(0, 0, 0, 0);
  th->setSpacing(2);
  th->addWidget(FTextures, 1);
  auto tool = [&](const char* text, const char* name, const char* tip) {
    auto* b = new QToolButton(tools);
    b->setText(QString::fromUtf8(text));
    b->setObjectName(name);
    b->setToolTip(QString::fromUtf8(tip));
    th->addWidget(b);
    return b;
  };
  FAdd = tool("+", "AddBtn", RRTextAddTexture);
  FDelete = tool("−", "DeleteBtn", RRTextDeleteTexture);
  FReplace = tool("⇄", "ReplaceBtn", RRTextReplaceTexture);
  connect(FAdd, &QToolButton::clicked, this, [this] { AddTexture(); });
  connect(FDelete, &QToolButton::clicked, this, [this] { DeleteTexture(); });
  connect(FReplace, &QToolButton::clicked, this, [this] { ReplaceTexture(); });
  Add(0, "Textur:", tools);
  FPreview = new QLabel(this);
  FPreview->setObjectName("PreviewImage");
  FPreview->setFixedSize(RRThumbnailLargeWidth, RRThumbnailLargeHeight);
  FPreview->setFrameShape(QFrame::StyledPanel);
  // Beside the list, over the rows of the list and the scale.
  Grid()->addWidget(FPreview, 0, 3, 4, 1, Qt::AlignLeft | Qt::AlignTop);
  Grid()->setColumnMinimumWidth(5, 12);
  FScale = new QSlider(Qt::Horizontal, this);
  FScale->setObjectName("ScaleBar");
  FScale->setRange(0, 100);
  FScale->setValue(20);
  FScale->setToolTip("Größe der Textur auf der Bodenplatte");
  FScaleLabel = new QLabel(QString::fromStdString(RRTextureScaleLabel(20)), this);
  FScaleLabel->setObjectName("ScaleLbl");
  FScaleLabel->setMinimumWidth(40);
  auto* scaleBox = new QWidget(this);
  auto* sh = new QHBoxLayout(scaleBox);
  sh->setContentsMargins(0, 0, 0, 0);
  sh->addWidget(FScale, 1);
  sh->addWidget(FScaleLabel);
  Add(0, "Skalierung:", scaleBox);
  connect(FScale, &QSlider::valueChanged, this, [this](int p) { ScaleMoved(p); });
  connect(FScale, &QSlider::sliderReleased, this, [this] { CommitScale(); });

  // Then the brush and the mode button.
  FWidth = RRMakeStepEdit(this, NumberEdit([this](const QString&) { ReadSettings(); }), "cm");
  FWidth.Edit->setObjectName("WidthEdit");
  connect(FWidth.Up, &QToolButton::clicked, this, [this] {
    PaintSettings().Size = RRBrushSizeStep(FWidth.Edit->text().toStdString(), RRPageLengthUnit(),
                                           PaintSettings().Size, true);
    Show(FWidth.Edit, ShowLength(PaintSettings().Size), true);
    ReadSettings();
  });
  connect(FWidth.Down, &QToolButton::clicked, this, [this] {
    PaintSettings().Size = RRBrushSizeStep(FWidth.Edit->text().toStdString(), RRPageLengthUnit(),
                                           PaintSettings().Size, false);
    Show(FWidth.Edit, ShowLength(PaintSettings().Size), true);
    ReadSettings();
  });
  Add(2, "Pinsel:", FWidth.Box);
  auto percent = [this](TRRStepEdit& s, const char* name, const char* label, int min) {
    s = RRMakeStepEdit(this, NumberEdit([this](const QString&) { ReadSettings(); }), "%");
    s.Edit->setObjectName(name);
    QLineEdit* edit = s.Edit;
    auto step = [this, edit, min](int by) {
      const std::optional<double> v = RRParseUserNumber(edit->text().toStdString());
      const int now = v ? int(std::clamp(*v, 0.0, 100.0)) : min;
      Show(edit, QString::number(std::clamp(now + by, min, 100)), true);
      ReadSettings();
    };
    connect(s.Up, &QToolButton::clicked, this, [step] { step(1); });
    connect(s.Down, &QToolButton::clicked, this, [step] { step(-1); });
    Add(2, label, s.Box);
  };
  percent(FGradient, "GradientEdit", "Verlauf:", 0);
  percent(FOpacity, "OpacityEdit", "Deckkraft:", 1);
  FShape = new QComboBox(this);
  FShape->setObjectName("ShapeBox");
  FShape->addItem(RRBrushShapeNames[RRBrushCircle]);
  FShape->addItem(RRBrushShapeNames[RRBrushSquare]);
  connect(FShape, &QComboBox::activated, this, [this] { ReadSettings(); });
  Add(2, "Form:", FShape);
  FPaint = new QPushButton(RRTextPaintMode, this);
  FPaint->setObjectName("PaintBtn");
  FPaint->setCheckable(true);
  // The mode is on while the button is down: shown plainly.
  FPaint->setMinimumWidth(FPaint->sizeHint().width() + 16);
  FPaint->setStyleSheet(RRModeButtonStyle);
  FPaint->setToolTip("Die ausgewählte Textur auf die Bodenplatte malen");
  connect(FPaint, &QPushButton::toggled, this, [this](bool on) { StartBrush(on); });
  AddWide(2, FPaint);
  ShowSettings();
}

TPanelTextureMenu::~TPanelTextureMenu() { StopBrush(); }

TRRPanel* TPanelTextureMenu::Panel() const {
  const std::vector<TRREntity*> all = Entities();
  return all.size() == 1 ? dynamic_cast<TRRPanel*>(all.front()) : nullptr;
}

int TPanelTextureMenu::SelectedTexture() const {
  const QVariant v = FTextures->currentData(IndexRole);
  return v.isValid() ? v.toInt() : -1;
}

void TPanelTextureMenu::Entered() { BuildList(); }

void TPanelTextureMenu::RefreshPage(bool force) {
  const bool one = Panel() != nullptr;
  for (QWidget* w : std::initializer_list<QWidget*>{FTextures, FAdd, FReplace, FScale, FPaint}) w->setEnabled(one);
  if (!one) {
    FDelete->setEnabled(false);
    return;
  }
  // The list follows the panel (undo may have changed its textures).
  std::vector<TRRAssetFileName> files;
  TRRPanel* p = Panel();
  for (int i = 0; i < p->TextureCount(); ++i) files.push_back(p->TextureEntry(i).FileName);
  const std::vector<TRRTexturePageItem> items = RRTexturePageItems(files);
  bool same = items.size() == FItems.size();
  for (size_t i = 0; same && i < items.size(); ++i)
    same = items[i].Name == FItems[i].Name && items[i].Index == FItems[i].Index;
  if (!same || force) BuildList();
}

void TPanelTextureMenu::BuildList() {
  TRRPanel* p = Panel();
  FItems.clear();
  {
    FBuilding = true;
    const QSignalBlocker block(FTextures);
    FTextures->clear();
    if (p) {
      std::vector<TRRAssetFileName> files;
      for (int i = 0; i < p->TextureCount(); ++i) files.push_back(p->TextureEntry(i).FileName);
      FItems = RRTexturePageItems(files);
      for (size_t n = 0; n < FItems.size(); ++n) {
        const TRRTexturePageItem& item = FItems[n];
        // The user's textures below a line.
        if (item.FirstUserItem && n > 0) FTextures->insertSeparator(FTextures->count());
        FTextures->addItem(QIcon(Thumbnail(p->TextureEntry(item.Index).FileName, RRThumbnailSmall)),
                           QString::fromStdString(item.Name));
        FTextures->setItemData(FTextures->count() - 1, item.Index, IndexRole);
        FTextures->setItemData(FTextures->count() - 1, int(n), ItemRole);
      }
      const int pick = RRTexturePageSelection(FItems, FRemembered);
      for (int row = 0; row < FTextures->count(); ++row)
        if (FTextures->itemData(row, ItemRole).isValid() && FTextures->itemData(row, ItemRole).toInt() == pick)
          FTextures->setCurrentIndex(row);
    }
    FBuilding = false;
  }
  Selected();
}

void TPanelTextureMenu::Selected() {
  TRRPanel* p = Panel();
  const QVariant itemData = FTextures->currentData(ItemRole);
  const int n = itemData.isValid() ? itemData.toInt() : -1;
  if (!p || n < 0 || n >= int(FItems.size())) {
    FDelete->setEnabled(false);
    FPreview->clear();
    return;
  }
  const TRRTexturePageItem& item = FItems[size_t(n)];
  FRemembered = item.Name;
  FDelete->setEnabled(item.CanDelete);
  FReplace->setEnabled(FItems.size() > 1);
  FPreview->setPixmap(Thumbnail(p->TextureEntry(item.Index).FileName, RRThumbnailLargeWidth));
  {
    const QSignalBlocker block(FScale);
    const int pos = RRTextureScaleBarPosition(p->TextureEntry(item.Index).Scale);
    FScale->setValue(pos);
    FScaleLabel->setText(QString::fromStdString(RRTextureScaleLabel(FScale->value())));
  }
  ApplySettings();
}

void TPanelTextureMenu::ShowSettings() {
  const TRRBrushSettings& s = PaintSettings();
  FWidth.Unit->setText(QString::fromUtf8(RRPageLengthUnit().Name));
  Show(FWidth.Edit, ShowLength(s.Size), true);
  Show(FGradient.Edit, QString::number(RRGradientUpDownPosition(s.Gradient)), true);
  Show(FOpacity.Edit, QString::number(RRRoundHalfEven(s.Opacity * 100.0)), true);
  FShape->setCurrentIndex(std::clamp(s.Shape, 0, FShape->count() - 1));
}

void TPanelTextureMenu::ReadSettings() {
  TRRBrushSettings& s = PaintSettings();
  s.Size = RRBrushSizeFromText(FWidth.Edit->text().toStdString(), RRPageLengthUnit(), s.Size);
  s.Gradient = RRBrushGradientFromText(FGradient.Edit->text().toStdString(), s.Gradient);
  s.Opacity = RRBrushOpacityFromText(FOpacity.Edit->text().toStdString(), s.Opacity);
  s.Shape = std::clamp(FShape->currentIndex(), 0, 1);
  ShowSettings();
  ApplySettings();
}

void TPanelTextureMenu::ApplySettings() {
  const TRRBrushSettings& s = PaintSettings();
  const int texture = SelectedTexture();
  if (FModifier && texture >= 0) FModifier->SetTextureBrush(texture, s.Shape, s.Opacity, s.Gradient, s.Size * 0.5f);
}

void TPanelTextureMenu::StartBrush(bool on) {
  StopBrush(!on);
  if (!on) return;
  TRRPanel* panel = Panel();
  TRREntityManager* m = Project() && Project()->IsOpen() ? Project()->Manager() : nullptr;
  if (!panel || !m) {
    const QSignalBlocker block(FPaint);
    FPaint->setChecked(false);
    return;
  }
  FModifier = std::make_unique<TRRPanelModifier>(*panel, 0);
  m->AddModifier(FModifier.get(), -1);
  ReadSettings();
}

void TPanelTextureMenu::StopBrush(bool release) {
  if (FModifier) {
    if (TRREntityManager* m = Project() ? Project()->Manager() : nullptr) m->RemoveModifier(FModifier.get());
    FModifier.reset();
  }
  if (release && FPaint && FPaint->isChecked()) {
    const QSignalBlocker block(FPaint);
    FPaint->setChecked(false);
  }
}

void TPanelTextureMenu::Leave() { StopBrush(); }

void TPanelTextureMenu::hideEvent(QHideEvent* event) {
  StopBrush();
  TEntityPage::hideEvent(event);
}

void TPanelTextureMenu::ScaleMoved(int position) {
  FScaleLabel->setText(QString::fromStdString(RRTextureScaleLabel(position)));
  // A drag is one change, taken when the bar is let go; clicks and keys take at once.
  if (!FScale->isSliderDown()) CommitScale();
}

void TPanelTextureMenu::CommitScale() {
  TRRPanel* p = Panel();
  const int texture = SelectedTexture();
  if (!p || texture < 0 || Filling()) return;
  RRPanelSetTextureScale(*p, texture, RRTextureScaleFromBar(FScale->value()));
}

void TPanelTextureMenu::AddTexture() {
  TRRPanel* p = Panel();
  if (!p || !Global()) return;
  TRRFileDialogOptions o;
  o.Title = "Textur wählen";
  o.Filters.push_back({"Alle Texturen (*.bmp;*.jpg;*.png;*.tga;*.dds)", "*.bmp;*.jpg;*.jpeg;*.png;*.tga;*.dds"});
  const std::optional<std::string> file = Global()->UI().OpenFileDialog(o);
  if (!file || file->empty()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const int index = RRPanelAddTexture(*p, TRRAssetFileName(*file), RRPanelDefaultTextureScale);
  QApplication::restoreOverrideCursor();
  if (index >= 0 && index < p->TextureCount()) {
    std::vector<TRRAssetFileName> one{p->TextureEntry(index).FileName};
    const std::vector<TRRTexturePageItem> items = RRTexturePageItems(one);
    if (!items.empty()) FRemembered = items.front().Name;
  }
  BuildList();
}

void TPanelTextureMenu::DeleteTexture() {
  TRRPanel* p = Panel();
  const QVariant itemData = FTextures->currentData(ItemRole);
  if (!p || !itemData.isValid()) return;
  const TRRTexturePageItem& item = FItems.at(size_t(itemData.toInt()));
  if (!item.CanDelete) return;
  RRPanelRemoveTexture(*p, item.Index);
  FRemembered.clear();
  BuildList();
}

void TPanelTextureMenu::ReplaceTexture() {
  TRRPanel* p = Panel();
  const QVariant itemData = FTextures->currentData(ItemRole);
  if (!p || !itemData.isValid() || FItems.size() < 2) return;
  const TRRTexturePageItem selected = FItems.at(size_t(itemData.toInt()));
  QDialog dialog(this);
  dialog.setObjectName("ReplaceTextureDialog");
  dialog.setWindowTitle("Textur ersetzen");
  auto* v = new QVBoxLayout(&dialog);
  v->addWidget(new QLabel(QString("Wählen Sie die Textur aus, mit der \"%1\" ersetzt werden soll.")
                              .arg(QString::fromStdString(selected.Name)),
                          &dialog));
  auto* list = new QListWidget(&dialog);
  list->setObjectName("TextureList");
  list->setIconSize(QSize(RRThumbnailLargeWidth / 2, RRThumbnailLargeHeight / 2));
  for (const TRRTexturePageItem& item : FItems) {
    if (item.Index == selected.Index) continue;
    auto* row = new QListWidgetItem(QIcon(Thumbnail(p->TextureEntry(item.Index).FileName, RRThumbnailLargeWidth)),
                                    QString::fromStdString(item.Name), list);
    row->setData(IndexRole, item.Index);
  }
  list->setCurrentRow(0);
  v->addWidget(list);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
  v->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
  dialog.resize(360, 320);
  if (dialog.exec() != QDialog::Accepted || !list->currentItem()) return;
  // The panel may have gone while the dialog was open.
  p = Panel();
  if (!p) return;
  const int by = list->currentItem()->data(IndexRole).toInt();
  const std::string chosen = list->currentItem()->text().toStdString();
  RRPanelReplaceTexture(*p, selected.Index, by);
  FRemembered = chosen;
  BuildList();
}

}  // namespace rr
