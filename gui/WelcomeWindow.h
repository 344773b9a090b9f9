#pragma once
// The welcome window at start: the recent layouts, a new project, opening a file, the sample
// layout, and whether it shows at the next start.

#include <QDialog>

class QListWidget;
class QCheckBox;

namespace rr {

class TWelcomeWindow : public QDialog {
  Q_OBJECT

 public:
  enum TChoice { None, NewProject, OpenProject, OpenSample, OpenRecent };
  TWelcomeWindow(const std::vector<std::string>& recent, bool showAtStart, QWidget* parent = nullptr);

  TChoice Choice() const { return FChoice; }
  int RecentIndex() const { return FRecentIndex; }
  bool ShowAtStart() const;
  QListWidget* RecentList() const { return FRecent; }

 private:
  void Choose(TChoice choice);
  QListWidget* FRecent;
  QCheckBox* FShowAtStart;
  TChoice FChoice = None;
  int FRecentIndex = -1;
};

}  // namespace rr
