#include "gui/RRQtUIService.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

namespace rr {

QString RRQtText(const std::string& text) { return QString::fromStdString(RRToLf(text)); }

QString RRQtFilterText(const std::vector<TRRFileFilter>& filters) {
  QStringList parts;
  for (const TRRFileFilter& f : filters) {
    QStringList patterns;
    for (const QString& p : QString::fromStdString(f.Patterns).split(';', Qt::SkipEmptyParts)) {
      const QString pattern = p.trimmed() == "*.*" ? QString("*") : p.trimmed();
      patterns << pattern;
      // The file system tells case apart; files from other systems may carry upper-case endings.
      if (pattern != "*" && pattern.toUpper() != pattern) patterns << pattern.toUpper();
    }
    QString description = QString::fromStdString(f.Description);
    description.replace("*.*", "*");
    parts << QString("%1 (%2)").arg(description.section(" (", 0, 0), patterns.join(' '));
  }
  return parts.join(";;");
}

QString RRWithDefaultExtension(const QString& fileName, const std::string& extension) {
  if (extension.empty() || fileName.isEmpty()) return fileName;
  if (!QFileInfo(fileName).suffix().isEmpty()) return fileName;
  return fileName + "." + QString::fromStdString(extension);
}

namespace {

QMessageBox::Icon BoxIcon(TRRMessageIcon icon) {
  switch (icon) {
    case TRRMessageIcon::Information:
      return QMessageBox::Information;
    case TRRMessageIcon::Warning:
      return QMessageBox::Warning;
    case TRRMessageIcon::Error:
      return QMessageBox::Critical;
    case TRRMessageIcon::Question:
      return QMessageBox::Question;
    case TRRMessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::ButtonRole Role(TRRAnswer answer) {
  switch (answer) {
    case TRRAnswer::Yes:
      return QMessageBox::YesRole;
    case TRRAnswer::No:
      return QMessageBox::NoRole;
    case TRRAnswer::Cancel:
      return QMessageBox::RejectRole;
    default:
      return QMessageBox::AcceptRole;
  }
}

// A modal progress window: the core calls it from its own loops, so each call lets the window
// system paint and take the cancel button. Repaints happen only when the shown value changes.
class TProgressWindow : public IRRProgress {
 public:
  TProgressWindow(QWidget* parent, const QString& caption, const QString& text, bool cancellable)
      : FDialog(text, cancellable ? QString::fromUtf8(RRButtonCancel) : QString(), 0, 100, parent) {
    FDialog.setWindowTitle(caption.isEmpty() ? QApplication::applicationDisplayName() : caption);
    FDialog.setWindowModality(Qt::ApplicationModal);
    FDialog.setMinimumDuration(0);
    FDialog.setAutoClose(false);
    FDialog.setAutoReset(false);
    if (!cancellable) FDialog.setCancelButton(nullptr);
    FDialog.setValue(0);
    FDialog.show();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  void SetText(const std::string& text) override {
    const QString t = RRQtText(text);
    if (t == FDialog.labelText()) return;
    FDialog.setLabelText(t);
    QApplication::processEvents();
  }
  void SetProgress(int64_t done, int64_t total) override {
    const int value = total <= 0 ? -1 : int(std::clamp<int64_t>(done * 100 / total, 0, 100));
    if (value == FValue) {
      QApplication::processEvents();
      return;
    }
    FValue = value;
    if (value < 0) {
      FDialog.setRange(0, 0);
    } else {
      FDialog.setRange(0, 100);
      FDialog.setValue(value);
    }
    QApplication::processEvents();
  }
  bool Cancelled() const override {
    QApplication::processEvents();
    return FDialog.wasCanceled();
  }

 private:
  QProgressDialog FDialog;
  int FValue = -2;
};

}  // namespace

TRRAnswer TRRQtUIService::Run(const std::string& text, const std::string& caption, TRRButtons buttons,
                              TRRMessageIcon icon, TRRAnswer defaultButton) {
  QMessageBox box(BoxIcon(icon), caption.empty() ? QApplication::applicationDisplayName() : RRQtText(caption),
                  RRQtText(text), QMessageBox::NoButton, FParent);
  std::vector<std::pair<QAbstractButton*, TRRAnswer>> map;
  for (TRRAnswer a : RRButtonAnswers(buttons)) {
    QPushButton* b = box.addButton(QString::fromUtf8(RRButtonText(a)), Role(a));
    map.push_back({b, a});
    if (a == defaultButton) box.setDefaultButton(b);
    if (a == TRRAnswer::Cancel || (buttons == TRRButtons::OK && a == TRRAnswer::OK)) box.setEscapeButton(b);
  }
  if (buttons == TRRButtons::YesNo) box.setEscapeButton(map.back().first);
  if (FBoxHook) {
    QPointer<QMessageBox> guard(&box);
    QTimer::singleShot(0, &box, [this, guard] {
      if (guard) FBoxHook(*guard);
    });
  }
  box.exec();
  for (const auto& [button, answer] : map)
    if (box.clickedButton() == button) return answer;
  // Closed by the window manager: the escape answer, else the last button.
  if (RROffersAnswer(buttons, TRRAnswer::Cancel)) return TRRAnswer::Cancel;
  return map.back().second;
}

void TRRQtUIService::ShowMessage(const std::string& text, const std::string& caption, TRRMessageIcon icon) {
  Run(text, caption, TRRButtons::OK, icon, TRRAnswer::OK);
}

TRRAnswer TRRQtUIService::DoAsk(const std::string& text, const std::string& caption, TRRButtons buttons,
                                TRRMessageIcon icon, TRRAnswer defaultButton) {
  return Run(text, caption, buttons, icon, defaultButton);
}

std::optional<std::string> TRRQtUIService::OpenFileDialog(const TRRFileDialogOptions& options) {
  const QString folder = QString::fromStdString(options.InitialFolder);
  const QString name = options.FileName.empty() ? folder : QDir(folder).filePath(QString::fromStdString(options.FileName));
  const QString file = QFileDialog::getOpenFileName(FParent, QString::fromStdString(options.Title), name,
                                                    RRQtFilterText(options.Filters));
  if (file.isEmpty()) return std::nullopt;
  return file.toStdString();
}

std::optional<std::string> TRRQtUIService::SaveFileDialog(const TRRFileDialogOptions& options) {
  const QString folder = QString::fromStdString(options.InitialFolder);
  const QString name = options.FileName.empty() ? folder : QDir(folder).filePath(QString::fromStdString(options.FileName));
  QString file = QFileDialog::getSaveFileName(FParent, QString::fromStdString(options.Title), name,
                                              RRQtFilterText(options.Filters));
  if (file.isEmpty()) return std::nullopt;
  return RRWithDefaultExtension(file, options.DefaultExtension).toStdString();
}

std::optional<std::string> TRRQtUIService::SelectFolderDialog(const std::string& text,
                                                             const std::string& initialFolder) {
  const QString folder = QFileDialog::getExistingDirectory(FParent, RRQtText(text), QString::fromStdString(initialFolder));
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

namespace {

// Counts itself among the open displays while it lives.
class TCountedProgress final : public IRRProgress {
 public:
  TCountedProgress(std::unique_ptr<IRRProgress> inner, std::shared_ptr<int> count)
      : FInner(std::move(inner)), FCount(std::move(count)) {
    ++*FCount;
  }
  ~TCountedProgress() override { --*FCount; }
  void SetText(const std::string& text) override { FInner->SetText(text); }
  void SetProgress(int64_t done, int64_t total) override { FInner->SetProgress(done, total); }
  bool Cancelled() const override { return FInner->Cancelled(); }
  void ShowThumbnail(const std::vector<uint8_t>& jpeg) override { FInner->ShowThumbnail(jpeg); }

 private:
  std::unique_ptr<IRRProgress> FInner;
  std::shared_ptr<int> FCount;
};

}  // namespace

std::unique_ptr<IRRProgress> TRRQtUIService::BeginProgress(const std::string& caption, const std::string& text,
                                                           bool cancellable) {
  std::unique_ptr<IRRProgress> p;
  if (FProgressFactory) p = FProgressFactory(caption, text, cancellable);
  if (!p) p = std::make_unique<TProgressWindow>(FParent, RRQtText(caption), RRQtText(text), cancellable);
  return std::make_unique<TCountedProgress>(std::move(p), FOpenProgress);
}

}  // namespace rr
