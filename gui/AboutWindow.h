#pragma once
// The about window: product, version, publisher and how to reach it.

#include <QDialog>

namespace rr {

inline constexpr const char* RRPublisherWeb = "https://www.maralt-modellbahn.example";
inline constexpr const char* RRPublisherMail = "hilfe@maralt-modellbahn.example";

class TAboutWindow : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutWindow(QWidget* parent = nullptr);
};

}  // namespace rr
