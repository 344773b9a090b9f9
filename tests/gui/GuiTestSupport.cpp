#include "tests/gui/GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>

#include "engine/core/GXEngine.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXRenderCore.h"

namespace fs = std::filesystem;

namespace guitest {

TScriptedQtUI::TScriptedQtUI() {
  SetBoxHook([this](QMessageBox& box) {
    TBox b;
    b.Text = box.text().toStdString();
    b.Caption = box.windowTitle().toStdString();
    for (QAbstractButton* button : box.buttons()) b.Buttons.push_back(button->text().toStdString());
    if (box.defaultButton()) b.Default = box.defaultButton()->text().toStdString();
    QAbstractButton* click = box.defaultButton() ? box.defaultButton() : box.buttons().value(0);
    if (!Answers.empty()) {
      for (QAbstractButton* button : box.buttons())
        if (button->text().toStdString() == Answers.front()) click = button;
      Answers.pop_front();
    }
    b.Clicked = click ? click->text().toStdString() : std::string();
    Boxes.push_back(b);
    if (click) click->click();
  });
}

std::optional<std::string> TScriptedQtUI::OpenFileDialog(const rr::TRRFileDialogOptions& options) {
  DialogTitles.push_back(options.Title);
  if (Paths.empty()) return std::nullopt;
  auto p = Paths.front();
  Paths.pop_front();
  return p;
}

std::optional<std::string> TScriptedQtUI::SaveFileDialog(const rr::TRRFileDialogOptions& options) {
  return OpenFileDialog(options);
}

std::optional<std::string> TScriptedQtUI::SelectFolderDialog(const std::string& text, const std::string&) {
  rr::TRRFileDialogOptions o;
  o.Title = text;
  return OpenFileDialog(o);
}

TProgram::TProgram() {
  FDir = (fs::temp_directory_path() / "velmora-gui-XXXXXX").string();
  if (!mkdtemp(FDir.data())) std::abort();
  rr::TRRStartOptions options;
  options.UI = &Ui;
  options.Roots.push_back({"Game", VELMORA_CLI_DATA_DIR});
  for (const char* root : {"User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
    options.Roots.push_back({root, FDir + "/" + root});
  options.CreateRenderCore = [](gx::TGXEngine&) { return std::make_unique<gx::TGXRenderCore>(); };
  FGlobal = std::make_unique<rr::TRRGlobal>(options);
}

TProgram::~TProgram() {
  if (FWindow) {
    // Nothing may stay open or ask when the test ends.
    FGlobal->Project().CloseProject();
    FWindow.reset();
  }
  FGlobal.reset();
  fs::remove_all(FDir);
}

rr::TMainWindow& TProgram::MakeWindow() {
  FWindow = std::make_unique<rr::TMainWindow>(*FGlobal, Ui);
  FWindow->setWindowState(Qt::WindowNoState);
  FWindow->setGeometry(40, 40, 1024, 700);
  FWindow->show();
  Pump(50);
  return *FWindow;
}

std::string TProgram::Sample() const {
  return FGlobal->FileSystem().ResolvePath("Documents:\\Beispielanlagen\\Kleine Beispielanlage.vmp");
}

rr::TMainWindow& TProgram::MakeSmallWindow() {
  MakeWindow();
  Shrink();
  return *FWindow;
}

void TProgram::Shrink() {
  FWindow->resize(800, 600);
  FGlobal->SettingsNode("RenderSettings")->WriteInteger("ReflectionQuality", 0);
  FGlobal->SettingsNode("RenderSettings")->WriteInteger("EnvReflectionQuality", 0);
  FGlobal->LoadSettings();
}

void Pump(int milliseconds) {
  QElapsedTimer t;
  t.start();
  do {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  } while (t.elapsed() < milliseconds);
}

}  // namespace guitest
