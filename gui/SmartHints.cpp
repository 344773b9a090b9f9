#include "gui/SmartHints.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace rr {

namespace {

// The balloon itself: closes on a click.
class THintBalloon : public QWidget {
 public:
  THintBalloon(QWidget* parent, TRRSmartHintManager& owner)
      : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), FOwner(owner) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName("Hinweis");
    setStyleSheet("#Hinweis { background: #fffbe8; border: 1px solid #807860; border-radius: 4px; }");
  }

 protected:
  void mousePressEvent(QMouseEvent*) override { FOwner.Hide(); }

 private:
  TRRSmartHintManager& FOwner;
};

}  // namespace

TRRSmartHintManager::TRRSmartHintManager(QWidget* parent) : QObject(parent) {
  FBalloon = new THintBalloon(parent, *this);
  FBalloon->setAttribute(Qt::WA_StyledBackground);
  auto* layout = new QVBoxLayout(FBalloon);
  layout->setContentsMargins(10, 8, 10, 8);
  FTitle = new QLabel(FBalloon);
  QFont bold = FTitle->font();
  bold.setBold(true);
  FTitle->setFont(bold);
  FText = new QLabel(FBalloon);
  FText->setWordWrap(true);
  FText->setFixedWidth(300);
  layout->addWidget(FTitle);
  layout->addWidget(FText);
  FTimer.setSingleShot(true);
  FTimer.setInterval(12000);
  connect(&FTimer, &QTimer::timeout, this, [this] { Hide(); });
}

TRRSmartHintManager::~TRRSmartHintManager() = default;

void TRRSmartHintManager::SetEnabled(bool enabled) {
  FEnabled = enabled;
  if (!enabled) Hide();
}

bool TRRSmartHintManager::Show(const std::string& key, const QString& title, const QString& text, QPoint at) {
  if (!FEnabled || FShown.count(key)) return false;
  FShown.insert(key);
  FTitle->setText(title);
  FText->setText(text);
  FBalloon->adjustSize();
  // Kept on the screen that holds the point.
  if (const QScreen* screen = QGuiApplication::screenAt(at)) {
    const QRect area = screen->availableGeometry();
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - FBalloon->width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - FBalloon->height())));
  }
  FBalloon->move(at);
  FBalloon->show();
  FBalloon->raise();
  FTimer.start();
  return true;
}

void TRRSmartHintManager::Hide() {
  FTimer.stop();
  FBalloon->hide();
}

bool TRRSmartHintManager::Visible() const { return FBalloon->isVisible(); }
QString TRRSmartHintManager::Title() const { return FTitle->text(); }
QString TRRSmartHintManager::Text() const { return FText->text(); }

}  // namespace rr
