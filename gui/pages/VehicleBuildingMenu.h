#pragma once
// TVehicleBuildingMenu: the page of one engine shed: the angle between its bays ("Knickwinkel",
// in the user's angle unit, -90..90 degrees) and how many bays it has.

#include "gui/pages/EntityPage.h"

class QLabel;
class QLineEdit;

namespace rr {

class TVehicleBuildingMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TVehicleBuildingMenu(QWidget* parent = nullptr);
  QLineEdit* BendEdit() const { return FBend; }

 protected:
  void RefreshPage(bool force) override;

 private:
  QLineEdit* FBend;
  QLabel* FBays;
  QLabel* FUnit;
};

}  // namespace rr
