#pragma once
// TPrimitiveMenu: the page of one simple shape: its scale along X, Y and Z (factors of the
// shape's own size), its colour, its opacity and the strength of its reflections (percent).

#include "gui/pages/EntityPage.h"

class QLineEdit;
class QPushButton;

namespace rr {

inline constexpr double RRPrimitiveMinScale = 0.01;
inline constexpr double RRPrimitiveMaxScale = 1000.0;

class TPrimitiveMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TPrimitiveMenu(QWidget* parent = nullptr);

  QLineEdit* SizeEdit(int axis) const { return FSize[axis]; }
  QLineEdit* OpacityEdit() const { return FOpacity; }
  QLineEdit* ReflectionEdit() const { return FReflection; }
  QPushButton* ColourButton() const { return FColour; }
  // What the colour button does once its dialog was accepted: one command.
  void SetColour(const QColor& colour);

 protected:
  void RefreshPage(bool force) override;

 private:
  QLineEdit* FSize[3];
  QLineEdit* FOpacity;
  QLineEdit* FReflection;
  QPushButton* FColour;
};

}  // namespace rr
