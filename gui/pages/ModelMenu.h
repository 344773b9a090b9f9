#pragma once
// TModelMenu: the page of one model, also of the kinds that are models without fields of their
// own on a page (streets, plants, barriers): the common fields and the model's animation
// ("Animation abspielen", "Wiederholen", "Geschwindigkeit"), off for a model without one.

#include "gui/pages/EntityPage.h"

class QCheckBox;
class QLineEdit;

namespace rr {

inline constexpr const char* RRTextPlayAnimation = "Animation abspielen";
inline constexpr const char* RRTextLoopAnimation = "Wiederholen";
// The animation speed factor's range.
inline constexpr double RRMaxAnimationSpeed = 100.0;

class TModelMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TModelMenu(TRREntityPageKind kind = TRREntityPageKind::Model, QWidget* parent = nullptr);

  QCheckBox* PlayCheck() const { return FPlay; }
  QCheckBox* LoopCheck() const { return FLoop; }
  QLineEdit* SpeedEdit() const { return FSpeed; }

 protected:
  void RefreshPage(bool force) override;

 private:
  QCheckBox* FPlay;
  QCheckBox* FLoop;
  QLineEdit* FSpeed;
};

}  // namespace rr
