#pragma once
// TPanelMenu: the page of one baseboard panel: its thickness ("Dicke:", in the user's length
// unit, clamped to 0.1..100 cm) and "Transparent" (picking goes through the surface, so what
// lies below can be selected). Both are commands. "Assistent" opens the new-project dialog's
// shape page on the panel's record; a new outline, new dimensions or a new grid (the thickness is
// not compared) reshape the panel as one command, its pivot kept where it was in the world.

#include "gui/pages/EntityPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace rr {

inline constexpr const char* RRTextTransparent = "Transparent";
inline constexpr const char* RRTextTransparentHint = "Ermöglicht die Selektion unterhalb der Plattenoberfläche";

class TPanelMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TPanelMenu(QWidget* parent = nullptr);

  QLineEdit* HeightEdit() const { return FHeight; }
  QCheckBox* TransparentCheck() const { return FTransparent; }
  QPushButton* AssistantButton() const { return FAssistant; }

 protected:
  void RefreshPage(bool force) override;

 private:
  void RunAssistant();

  QLineEdit* FHeight;
  QLabel* FHeightUnit;
  QCheckBox* FTransparent;
  QPushButton* FAssistant;
};

}  // namespace rr
