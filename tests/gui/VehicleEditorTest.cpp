// The rolling-stock editor on the sample's locomotive: its preview shows the vehicle on a track;
// a model file that cannot be read is refused with the message, a readable one takes the axis of
// its longer side; a typed baseline that is no number keeps the old one; a wagon loses sound and
// speeds on OK; the vehicle is replaced under its ID as one undo step.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <fstream>

#include "app/RREntityManager.h"
#include "app/RRPreview.h"
#include "app/RRProject.h"
#include "app/entities/RRTrackVehicle.h"
#include "engine/core/GXConfiguration.h"
#include "engine/render/GXModelWriter.h"
#include "gui/PreviewView.h"
#include "gui/tools/TrackVehicleEditor.h"
#include "tests/app/ModelTestSupport.h"
#include "tests/gui/GuiTestSupport.h"

using namespace rr;
using guitest::Pump;
using A = TRRShellAction;

namespace {

struct VehicleEditor : ::testing::Test {
  guitest::TProgram P;
  TMainWindow* W = nullptr;
  TRRTrackVehicle* Engine = nullptr;

  void SetUp() override {
    W = &P.MakeSmallWindow();
    ASSERT_TRUE(W->OpenProjectFile(QString::fromStdString(P.Sample())));
    Pump(100);
    TRREntityManager& m = *P.Project().Manager();
    for (int i = 0; i < m.EntitySlotCount() && !Engine; ++i)
      if (auto* v = dynamic_cast<TRRTrackVehicle*>(m.EntitySlot(i)); v && v->HasEngine()) Engine = v;
    ASSERT_NE(Engine, nullptr);
    m.Selection().Clear();
    m.Selection().Add(Engine);
  }
  std::string ModelFile(const char* name, gx::TGXVector3 lo, gx::TGXVector3 hi) {
    gx::TGXModelData data;
    data.Format = gx::EGXModelFormat::XFile;
    gx::TGXModelMesh mesh;
    mesh.Name = "Kasten";
    modeltest::AddBox(mesh, lo, hi);
    mesh.SubMeshes.push_back({0, uint32_t(mesh.Indices.size()), gx::GXModelColorName(0.6f, 0.1f, 0.1f, 1), {}, {}});
    gx::GXModelCalculateBounds(mesh);
    data.Meshes.push_back(mesh);
    data.Nodes.push_back({"Fahrzeug", -1, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {0}});
    const std::vector<uint8_t> bytes = gx::GXWriteXFile(data);
    const std::string file = P.Dir() + "/" + name;
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return file;
  }
};

}  // namespace

TEST_F(VehicleEditor, ModelsBaselineAndPreview) {
  const std::unique_ptr<TRREntityDescription> d = Engine->CreateDescription();
  TTrackVehicleEditor e(W, static_cast<TRRTrackVehicleDesc&>(*d), 0 /* mm */, P.Ui);
  for (int i = 0; i < 12; ++i) e.StepPreview();
  const QImage preview = e.PreviewImage();
  ASSERT_FALSE(preview.isNull());
  int differing = 0;
  for (int y = 0; y < preview.height(); y += 2)
    for (int x = 0; x < preview.width(); x += 2) differing += preview.pixel(x, y) != preview.pixel(0, 0);
  EXPECT_GT(differing, 200);
  e.grab().save(QString(VELMORA_TEST_OUTPUT_DIR) + "/desktop-vehicle-editor.png");

  // Not a model: refused with the message, nothing changes.
  const std::string junk = P.Dir() + "/kaputt.x";
  std::ofstream(junk) << "xof 0303txt 0032\nMesh { 99999999;";
  const std::string before = e.Description().ModelFile().Model.FileName;
  EXPECT_FALSE(e.ChooseModel(junk));
  ASSERT_FALSE(P.Ui.Boxes.empty());
  EXPECT_EQ(P.Ui.Boxes.back().Caption, RRTextInvalidModelCaption);
  EXPECT_EQ(e.Description().ModelFile().Model.FileName, before);
  // Longer along Z than X: "+ Y"; longer along X: "+ X".
  ASSERT_TRUE(e.ChooseModel(ModelFile("lang.x", {-1, 0, -10}, {1, 3, 10})));
  EXPECT_EQ(e.AxisBox()->currentText(), "+ Y");
  ASSERT_TRUE(e.ChooseModel(ModelFile("quer.x", {-10, 0, -1}, {10, 3, 1})));
  EXPECT_EQ(e.AxisBox()->currentText(), "+ X");

  struct TCase {
    const char* Typed;
    float Centimetres;
  } cases[] = {{"15", 1.5f}, {"2,5", 0.25f}, {"abc", 0.25f}, {"inf", 0.25f}, {"1e9", 100}, {"-3", -0.3f}};
  for (const TCase& c : cases) {
    e.BaselineEdit()->setText(c.Typed);
    emit e.BaselineEdit()->editingFinished();
    EXPECT_FLOAT_EQ(e.Description().BaselineOffset, c.Centimetres) << c.Typed;
  }
  e.TypeBox()->setCurrentIndex(1);  // wagon
  EXPECT_FALSE(e.SoundRow()->isEnabled());
  EXPECT_FALSE(e.SlopeBox()->isEnabled());
}

// Every dialog's preview turns like the catalogue's: a left drag turns it, the wheel brings it
// nearer; a move without the button does nothing.
TEST_F(VehicleEditor, PreviewsTurnByMouse) {
  TRRPreviewView view(200, 150);
  ASSERT_NE(view.Preview(), nullptr);
  TRRPreviewCamera& camera = view.Preview()->Camera();
  auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, at, view.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&view, &e);
  };
  const float yaw = camera.Yaw(), goal = camera.Goal();
  mouse(QEvent::MouseMove, {90, 50}, Qt::NoButton, Qt::NoButton);
  EXPECT_FLOAT_EQ(camera.Yaw(), yaw);
  mouse(QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton, Qt::LeftButton);
  mouse(QEvent::MouseMove, {90, 50}, Qt::NoButton, Qt::LeftButton);
  EXPECT_NE(camera.Yaw(), yaw);
  QWheelEvent wheel({50, 50}, view.mapToGlobal(QPoint(50, 50)), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&view, &wheel);
  EXPECT_NE(camera.Goal(), goal);
}

TEST_F(VehicleEditor, OkMakesAWagonInOneUndoStep) {
  const int32_t id = Engine->ID();
  bool seen = false;
  QTimer::singleShot(200, W, [&] {
    TTrackVehicleEditor* e = W->OpenVehicleEditor();
    ASSERT_NE(e, nullptr);
    seen = true;
    e->TypeBox()->setCurrentIndex(1);
    e->OkButton()->click();
  });
  W->EditVehicleModel();
  EXPECT_TRUE(seen);
  auto* made = dynamic_cast<TRRTrackVehicle*>(P.Project().Manager()->FindByID(id));
  ASSERT_NE(made, nullptr);
  EXPECT_FALSE(made->HasEngine());
  EXPECT_EQ(made->TargetSpeed(), 0);
  const std::unique_ptr<TRREntityDescription> d = made->CreateDescription();
  EXPECT_FALSE(static_cast<TRRTrackVehicleDesc&>(*d).SoundEnabled);
  W->Action(A::Undo)->trigger();
  made = dynamic_cast<TRRTrackVehicle*>(P.Project().Manager()->FindByID(id));
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(made->HasEngine());
}

TEST_F(VehicleEditor, TheVehiclePageOpensTheEditor) {
  Pump(300);
  auto* edit = W->findChild<QPushButton*>("EditModelButton");
  ASSERT_NE(edit, nullptr);
  ASSERT_TRUE(edit->isEnabled());
  bool seen = false;
  QTimer::singleShot(200, W, [&] {
    seen = W->OpenVehicleEditor() != nullptr;
    if (seen) W->OpenVehicleEditor()->reject();
  });
  edit->click();
  EXPECT_TRUE(seen);
}
