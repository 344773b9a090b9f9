#pragma once
// TControllerMenu: the page of one control element (rotary regulator or toggle switch): its
// value (0..100 %), the entity it controls, and the help on its keys.

#include "gui/pages/EntityPage.h"

class QLabel;
class QSlider;

namespace rr {

inline constexpr const char* RRTextToggleHelp =
    "Kippschalter können zusätzlich per Tastatur gesteuert werden:\n    Leertaste - AN/AUS\n    Cursor hoch - "
    "AN\n    Cursor runter - AUS";
inline constexpr const char* RRTextRegulatorHelp =
    "Drehregler können zusätzlich per Tastatur gesteuert werden:\n    Cursor hoch - Wert erhöhen\n    Cursor "
    "runter - Wert verringern\n    Bild hoch - Wert schnell erhöhen\n    Bild runter - Wert schnell verringern\n "
    "   Pos1 - Minimaler Wert\n    Ende - Maximaler Wert\n    Rücktaste - Mittlerer Wert";

class TControllerMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TControllerMenu(QWidget* parent = nullptr);
  QSlider* ValueBar() const { return FValue; }
  QLabel* TargetLabel() const { return FTarget; }

 protected:
  void RefreshPage(bool force) override;

 private:
  QSlider* FValue;
  QLabel* FValueLabel;
  QLabel* FTarget;
  QLabel* FHelp;
};

}  // namespace rr
