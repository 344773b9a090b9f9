#pragma once
// Hint balloons: a titled text shown near a point of the screen, for things a user may not find
// alone ("Wussten Sie schon?"). Each hint is shown once per run; a click on the balloon or its
// time closes it. The setting GeneralSettings/SmartHints switches them all off.

#include <QString>
#include <QTimer>
#include <QWidget>
#include <set>
#include <string>

class QLabel;

namespace rr {

inline constexpr const char* RRHintTitle = "Wussten Sie schon?";

class TRRSmartHintManager : public QObject {
  Q_OBJECT

 public:
  explicit TRRSmartHintManager(QWidget* parent);
  ~TRRSmartHintManager() override;

  void SetEnabled(bool enabled);
  bool Enabled() const { return FEnabled; }
  // Shows the hint of that key beside the point (global coordinates) unless hints are off or it
  // was shown before in this run. True when it is shown now.
  bool Show(const std::string& key, const QString& title, const QString& text, QPoint at);
  void Hide();
  bool Visible() const;
  QString Title() const;
  QString Text() const;
  QWidget* Balloon() const { return FBalloon; }
  // How long a balloon stays (milliseconds).
  void SetTimeout(int milliseconds) { FTimer.setInterval(milliseconds); }

 private:
  QWidget* FBalloon;
  QLabel* FTitle;
  QLabel* FText;
  QTimer FTimer;
  std::set<std::string> FShown;
  bool FEnabled = true;
};

}  // namespace rr
