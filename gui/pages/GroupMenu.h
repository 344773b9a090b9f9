#pragma once
// TGroupMenu: the page of one group: how many entities it holds and "Gruppe auflösen", which
// ungroups it as the Edit menu does (one command).
// TMultiSelectionMenu: the page of several entities of different kinds: how many, and the
// lock switch for all of them.

#include "gui/pages/EntityPage.h"

class QLabel;
class QPushButton;

namespace rr {

class TGroupMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TGroupMenu(QWidget* parent = nullptr);
  QLabel* CountLabel() const { return FCount; }
  QPushButton* UngroupButton() const { return FUngroup; }

 protected:
  void RefreshPage(bool force) override;

 private:
  QLabel* FCount;
  QPushButton* FUngroup;
};

class TMultiSelectionMenu : public TEntityPage {
  Q_OBJECT

 public:
  explicit TMultiSelectionMenu(QWidget* parent = nullptr);
  QLabel* CountLabel() const { return FCount; }

 protected:
  void RefreshPage(bool force) override;

 private:
  QLabel* FCount;
};

}  // namespace rr
