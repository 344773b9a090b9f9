#include "gui/pages/PrimitiveMenu.h"

#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "app/RRUnits.h"
#include "app/entities/scenery/RRPrimitive.h"

namespace rr {

namespace {

TRRPrimitive* AsPrimitive(TRREntity* e) { return e ? dynamic_cast<TRRPrimitive*>(e) : nullptr; }

// A percentage typed (0..100), as a fraction.
std::optional<float> ReadPercent(const QString& text) {
  const std::optional<double> v = RRParseDecimal(text.toStdString(), RRDecimalSeparator(), "%");
  if (!v) return std::nullopt;
  return static_cast<float>(std::clamp(*v, 0.0, 100.0) / 100.0);
}

QString ShowPercent(float fraction) { return QString::fromStdString(RRFormatNumber(fraction * 100.0)); }

}  // namespace

TPrimitiveMenu::TPrimitiveMenu(QWidget* parent) : TEntityPage(TRREntityPageKind::Primitive, true, parent) {
  static const char* const labels[3] = {"Skalierung X:", "Skalierung Y:", "Skalierung Z:"};
  for (int a = 0; a < 3; ++a) {
    FSize[a] = NumberEdit([this, a](const QString& text) {
      TRRPrimitive* p = AsPrimitive(First());
      std::optional<double> v = RRParseDecimal(text.toStdString(), RRDecimalSeparator());
      if (!p || !v) return;
      v = std::clamp(*v, RRPrimitiveMinScale, RRPrimitiveMaxScale);
      gx::TGXVector3 size = p->PrimitiveScale();
      float& c = a == 0 ? size.x : a == 1 ? size.y : size.z;
      if (c == static_cast<float>(*v)) return;
      c = static_cast<float>(*v);
      Change({p}, [size](TRREntity& e) { static_cast<TRRPrimitive&>(e).SetPrimitiveScale(size); });
    });
    FSize[a]->setObjectName(QString("SizeEdit%1").arg(a));
    Add(2, labels[a], FSize[a]);
  }
  FColour = new QPushButton(this);
  FColour->setObjectName("ColourButton");
  FColour->setFixedSize(48, 20);
  FColour->setToolTip("Farbe wählen...");
  connect(FColour, &QPushButton::clicked, this, [this] {
    TRRPrimitive* p = AsPrimitive(First());
    if (!p) return;
    const gx::TGXVector3 c = p->Color();
    const QColor chosen = QColorDialog::getColor(QColor::fromRgbF(c.x, c.y, c.z), this, "Farbe wählen");
    if (chosen.isValid()) SetColour(chosen);
  });
  Add(3, "Farbe:", FColour);
  FOpacity = NumberEdit([this](const QString& text) {
    TRRPrimitive* p = AsPrimitive(First());
    const std::optional<float> v = ReadPercent(text);
    if (p && v && *v != p->Opacity())
      Change({p}, [v](TRREntity& e) { static_cast<TRRPrimitive&>(e).SetOpacity(*v); });
  });
  FOpacity->setObjectName("OpacityEdit");
  Add(3, "Deckkraft:", FOpacity, new QLabel("%", this));
  FReflection = NumberEdit([this](const QString& text) {
    TRRPrimitive* p = AsPrimitive(First());
    const std::optional<float> v = ReadPercent(text);
    if (p && v && *v != p->ReflectionStrength())
      Change({p}, [v](TRREntity& e) { static_cast<TRRPrimitive&>(e).SetReflectionStrength(*v); });
  });
  FReflection->setObjectName("ReflectionEdit");
  Add(3, "Spiegelung:", FReflection, new QLabel("%", this));
}

void TPrimitiveMenu::SetColour(const QColor& colour) {
  TRRPrimitive* p = AsPrimitive(First());
  if (!p || !colour.isValid()) return;
  const gx::TGXVector3 c{static_cast<float>(colour.redF()), static_cast<float>(colour.greenF()),
                         static_cast<float>(colour.blueF())};
  if (c.x == p->Color().x && c.y == p->Color().y && c.z == p->Color().z) return;
  Change({p}, [c](TRREntity& e) { static_cast<TRRPrimitive&>(e).SetColor(c); });
  Refresh(true);
}

void TPrimitiveMenu::RefreshPage(bool force) {
  TRRPrimitive* p = Entities().size() == 1 ? AsPrimitive(First()) : nullptr;
  const gx::TGXVector3 size = p ? p->PrimitiveScale() : gx::TGXVector3{0, 0, 0};
  for (int a = 0; a < 3; ++a) {
    FSize[a]->setEnabled(p != nullptr);
    Show(FSize[a], p ? QString::fromStdString(RRFormatNumber(a == 0 ? size.x : a == 1 ? size.y : size.z)) : QString(),
         force);
  }
  Show(FOpacity, p ? ShowPercent(p->Opacity()) : QString(), force);
  Show(FReflection, p ? ShowPercent(p->ReflectionStrength()) : QString(), force);
  FColour->setEnabled(p != nullptr);
  const gx::TGXVector3 c = p ? p->Color() : gx::TGXVector3{0, 0, 0};
  auto channel = [](float x) { return std::isfinite(x) ? std::clamp(static_cast<int>(std::lround(x * 255)), 0, 255) : 0; };
  const QString style = p ? QString("background-color: %1; border: 1px solid #666;")
                                .arg(QColor(channel(c.x), channel(c.y), channel(c.z)).name())
                          : QString();
  if (FColour->styleSheet() != style) FColour->setStyleSheet(style);
}

}  // namespace rr
