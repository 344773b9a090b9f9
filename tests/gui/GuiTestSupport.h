#pragma once
// The desktop program under test: the application object (made once, on the display the test
// run got: Xvfb), a program start with its roots in a fresh folder and the generated packages as
// the Game root, a main window, and a UI service whose file dialogs and message boxes follow a
// script while the boxes themselves are the real ones (their texts and buttons are recorded).

#include <QMessageBox>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/RRGlobal.h"
#include "gui/MainWindow.h"
#include "gui/RRQtUIService.h"

namespace guitest {

struct TBox {
  std::string Text, Caption;
  std::vector<std::string> Buttons;
  std::string Default;
  std::string Clicked;
};

class TScriptedQtUI : public rr::TRRQtUIService {
 public:
  TScriptedQtUI();
  // The button texts to click in the next boxes ("&Ja"); without one the default button.
  std::deque<std::string> Answers;
  std::deque<std::optional<std::string>> Paths;
  std::vector<TBox> Boxes;
  std::vector<std::string> DialogTitles;

  std::optional<std::string> OpenFileDialog(const rr::TRRFileDialogOptions& options) override;
  std::optional<std::string> SaveFileDialog(const rr::TRRFileDialogOptions& options) override;
  std::optional<std::string> SelectFolderDialog(const std::string& text, const std::string& initialFolder) override;
};

// A program start in a fresh folder. The main window is made by the test (MakeWindow).
class TProgram {
 public:
  TProgram();
  ~TProgram();
  rr::TMainWindow& MakeWindow();
  // A main window of 800 x 600 without reflections: tests that draw many frames stay quick on the
  // test machine's software renderer.
  rr::TMainWindow& MakeSmallWindow();
  // The same for the window made already.
  void Shrink();
  rr::TRRGlobal& Global() { return *FGlobal; }
  rr::TMainWindow& Window() { return *FWindow; }
  rr::TRRProject& Project() { return FGlobal->Project(); }
  const std::string& Dir() const { return FDir; }
  std::string Sample() const;
  TScriptedQtUI Ui;

 private:
  std::string FDir;
  std::unique_ptr<rr::TRRGlobal> FGlobal;
  std::unique_ptr<rr::TMainWindow> FWindow;
};

// Lets the event loop run for the time given (timers, paints, deferred work).
void Pump(int milliseconds = 0);

}  // namespace guitest
