#pragma once
// The desktop program's UI service: message boxes with the program's German buttons, the file
// and folder dialogs of the toolkit, and a modal progress window that keeps the window system
// answering while the core works (the core's own loops process no events).

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/RRUIService.h"

class QWidget;
class QMessageBox;

namespace rr {

// "*.*" becomes "*"; patterns are matched ignoring case by the dialogs ("*.VMP" is offered too).
QString RRQtFilterText(const std::vector<TRRFileFilter>& filters);
// A save dialog's name with the default extension appended when it has none.
QString RRWithDefaultExtension(const QString& fileName, const std::string& extension);
QString RRQtText(const std::string& text);  // UTF-8, CR LF as LF

class TRRQtUIService : public IRRUIService {
 public:
  // The parent of the dialogs (the main window once it exists).
  void SetParent(QWidget* parent) { FParent = parent; }
  QWidget* Parent() const { return FParent; }

  // Tests look at each message box before it is answered (the box is modal: the hook runs from
  // its event loop) and may close it themselves.
  void SetBoxHook(std::function<void(QMessageBox&)> hook) { FBoxHook = std::move(hook); }
  // The project's own progress (load and new, caption empty) goes to the main window's overlay:
  // a factory that returns null leaves the call to the modal progress window.
  using TProgressFactory =
      std::function<std::unique_ptr<IRRProgress>(const std::string& caption, const std::string& text, bool cancellable)>;
  void SetProgressFactory(TProgressFactory factory) { FProgressFactory = std::move(factory); }

  void ShowMessage(const std::string& text, const std::string& caption, TRRMessageIcon icon) override;
  std::optional<std::string> OpenFileDialog(const TRRFileDialogOptions& options) override;
  std::optional<std::string> SaveFileDialog(const TRRFileDialogOptions& options) override;
  std::optional<std::string> SelectFolderDialog(const std::string& text, const std::string& initialFolder) override;
  std::unique_ptr<IRRProgress> BeginProgress(const std::string& caption, const std::string& text,
                                             bool cancellable) override;
  // Progress displays open now (a load, a save, a database write, a download runs).
  int OpenProgressCount() const { return *FOpenProgress; }

 protected:
  TRRAnswer DoAsk(const std::string& text, const std::string& caption, TRRButtons buttons, TRRMessageIcon icon,
                  TRRAnswer defaultButton) override;

 private:
  TRRAnswer Run(const std::string& text, const std::string& caption, TRRButtons buttons, TRRMessageIcon icon,
                TRRAnswer defaultButton);
  QPointer<QWidget> FParent;
  std::function<void(QMessageBox&)> FBoxHook;
  TProgressFactory FProgressFactory;
  // Shared with the displays, which may outlive the service.
  std::shared_ptr<int> FOpenProgress = std::make_shared<int>(0);
};

}  // namespace rr
