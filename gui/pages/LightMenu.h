#pragma once
// TLightMenu: the page of the layout's light. The preset chosen ("Tag", "Nacht" ...) and the
// active preset's values: "Scheinwerfer aktivieren", the sky colour, the ambient and the diffuse
// light, each a colour button. The light cannot be moved, so its position fields stay off.

#include <QColor>

#include "gui/pages/EntityPage.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace rr {

inline constexpr const char* RRTextSpotlights = "Scheinwerfer aktivieren";

class TLightMenu : public TEntityPage {
  Q_OBJECT

 public:
  enum class TColour { Sky, Ambient, Diffuse };

  explicit TLightMenu(QWidget* parent = nullptr);

  QComboBox* PresetBox() const { return FPreset; }
  QCheckBox* SpotlightsCheck() const { return FSpotlights; }
  QPushButton* ColourButton(TColour which) const { return FColour[static_cast<int>(which)]; }
  // What a colour button does once its dialog was accepted: one command.
  void SetColour(TColour which, const QColor& colour);
  QColor Colour(TColour which) const;

 protected:
  void RefreshPage(bool force) override;

 private:
  QComboBox* FPreset;
  QCheckBox* FSpotlights;
  QPushButton* FColour[3];
};

}  // namespace rr
