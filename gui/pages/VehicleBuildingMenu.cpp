#include "gui/pages/VehicleBuildingMenu.h"

#include <QLabel>
#include <QLineEdit>

#include "app/entities/scenery/RRVehicleBuilding.h"

namespace rr {

namespace {

constexpr double QuarterTurn = 1.5707963267948966;

TRRVehicleBuilding* AsShed(TRREntity* e) { return e ? dynamic_cast<TRRVehicleBuilding*>(e) : nullptr; }

}  // namespace

TVehicleBuildingMenu::TVehicleBuildingMenu(QWidget* parent)
    : TEntityPage(TRREntityPageKind::VehicleBuilding, true, parent) {
  FBend = NumberEdit([this](const QString& text) {
    TRRVehicleBuilding* b = AsShed(First());
    const std::optional<double> v = RRReadAngle(text, -QuarterTurn, QuarterTurn);
    if (!b || !v || static_cast<float>(*v) == b->BendAngle()) return;
    const float angle = static_cast<float>(*v);
    Change({b}, [angle](TRREntity& e) { static_cast<TRRVehicleBuilding&>(e).SetBendAngle(angle); });
  });
  FBend->setObjectName("BendEdit");
  FBend->setToolTip("Winkel zwischen zwei benachbarten Ständen");
  FUnit = new QLabel(RRAngleUnit(), this);
  Add(2, "Knickwinkel:", FBend, FUnit);
  FBays = new QLabel(this);
  Add(2, "Stände:", FBays);
}

void TVehicleBuildingMenu::RefreshPage(bool force) {
  TRRVehicleBuilding* b = Entities().size() == 1 ? AsShed(First()) : nullptr;
  FUnit->setText(RRAngleUnit());
  FBend->setEnabled(b != nullptr);
  Show(FBend, b ? RRShowAngle(b->BendAngle()) : QString(), force);
  FBays->setText(b ? QString::number(b->BayCount()) : QString());
}

}  // namespace rr
