#pragma once
// TSignalMenu: the page of one signal: its state, "Fahrt" or "Halt" (the space key toggles it in
// the view as well).

#include "gui/pages/EntityPage.h"

class QComboBox;

namespace rr {

class TSignalMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TSignalMenu(QWidget* parent = nullptr);
  QComboBox* StateBox() const { return FState; }

 protected:
  void RefreshPage(bool force) override;

 private:
  QComboBox* FState;
};

}  // namespace rr
