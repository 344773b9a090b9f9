#include "gui/tools/TrackSolutionWindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>

#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "app/RRProject.h"
#include "app/RRUIService.h"
#include "app/RRUnits.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"

namespace rr {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Fill(const char* pattern, const std::string& value) {
  std::string out = pattern;
  if (const size_t at = out.find("%s"); at != std::string::npos) out.replace(at, 2, value);
  return out;
}

QString TrackCaption(const TRRTrack& t) {
  const QString name = t.Name().empty() ? QString("Gleis") : Q(t.Name());
  return QString("%1 (ID %2)").arg(name).arg(t.ID());
}

}  // namespace

// ---- the tolerance box ----

TToleranceBox::TToleranceBox(float unitFactor, std::string unitName, QWidget* parent)
    : QSpinBox(parent), FFactor(unitFactor > 0 && std::isfinite(unitFactor) ? unitFactor : 1.0f),
      FUnit(std::move(unitName)) {
  setRange(RRSolverMinTolerance, RRSolverMaxTolerance);
  setValue(RRSolverDefaultTolerance);
  setSuffix(" " + Q(FUnit));
}

QString TToleranceBox::textFromValue(int value) const {
  return Q(RRFormatDecimal(value * 0.1 * FFactor, 3, RRDecimalSeparator()));
}

std::optional<int> TToleranceBox::TenthsOf(const QString& text) const {
  QString t = text.trimmed();
  if (t.endsWith(suffix().trimmed())) t.chop(suffix().trimmed().size());
  t = t.trimmed().replace(',', '.');
  bool ok = false;
  const double shown = t.toDouble(&ok);
  if (!ok || !std::isfinite(shown)) return std::nullopt;
  const double tenths = std::round(shown / FFactor * 10.0);
  if (tenths < RRSolverMinTolerance || tenths > RRSolverMaxTolerance) return std::nullopt;
  return static_cast<int>(tenths);
}

int TToleranceBox::valueFromText(const QString& text) const { return TenthsOf(text).value_or(value()); }

QValidator::State TToleranceBox::validate(QString& input, int&) const {
  if (TenthsOf(input)) return QValidator::Acceptable;
  // Typing goes through texts that are not numbers yet ("", "0,").
  return input.size() <= 12 ? QValidator::Intermediate : QValidator::Invalid;
}

// ---- the window ----

TTrackSolutionWindow::TTrackSolutionWindow(TRRProject& project, TRRGlobal& global, IRRUIService& ui, QWidget* parent)
    : QDialog(parent), FProject(project), FGlobal(global), FUI(ui) {
  setWindowTitle(RRCaptionTrackSolution);
  global.Database().CollectCatalogByClass(TRRTrackDesc::StaticClass(), FCatalogue);

  auto* root = new QVBoxLayout(this);
  auto* hint = new QLabel(RRTextTrackSolutionHint, this);
  hint->setWordWrap(true);
  root->addWidget(hint);

  auto* form = new QFormLayout;
  FFirst = new QComboBox(this);
  FSecond = new QComboBox(this);
  FPieces = new QSpinBox(this);
  FPieces->setRange(RRSolverMinPieces, RRSolverMaxPieces);
  FPieces->setValue(RRSolverDefaultPieces);
  FTolerance = new TToleranceBox(global.LengthUnitFactor(), global.LengthUnitName(), this);
  form->addRow("Von Gleis:", FFirst);
  form->addRow("Zu Gleis:", FSecond);
  form->addRow("Max. Gleisanzahl:", FPieces);
  form->addRow("Toleranz:", FTolerance);
  root->addLayout(form);

  FStatus = new QLabel(this);
  FStatus->setWordWrap(true);
  root->addWidget(FStatus);
  FProgress = new QProgressBar(this);
  FProgress->setRange(0, 100);
  root->addWidget(FProgress);

  FSolutionList = new QTreeWidget(this);
  FSolutionList->setHeaderLabels({"Lösung", "Gleise", "Abweichung"});
  FSolutionList->setRootIsDecorated(false);
  FSolutionList->setUniformRowHeights(true);
  FSolutionList->header()->setStretchLastSection(true);
  FSolutionList->setColumnWidth(0, 70);
  FSolutionList->setColumnWidth(1, 70);
  root->addWidget(FSolutionList, 1);

  FSolutionLabel = new QLabel(this);
  root->addWidget(FSolutionLabel);
  FPieceList = new QTreeWidget(this);
  FPieceList->setHeaderLabels({"Name", "Beschreibung"});
  FPieceList->setRootIsDecorated(false);
  FPieceList->setSelectionMode(QAbstractItemView::NoSelection);
  FPieceList->setColumnWidth(0, 160);
  root->addWidget(FPieceList, 1);

  auto* buttons = new QDialogButtonBox(this);
  FCreate = buttons->addButton(RRCaptionCreateTracks, QDialogButtonBox::ActionRole);
  FCreate->setEnabled(false);
  buttons->addButton("Abbrechen", QDialogButtonBox::RejectRole);
  root->addWidget(buttons);

  FillTrackBoxes();
  auto restart = [this] {
    if (!FFilling) Restart();
  };
  connect(FFirst, &QComboBox::currentIndexChanged, this, restart);
  connect(FSecond, &QComboBox::currentIndexChanged, this, restart);
  connect(FPieces, &QSpinBox::valueChanged, this, restart);
  connect(FTolerance, &QSpinBox::valueChanged, this, restart);
  connect(FSolutionList, &QTreeWidget::currentItemChanged, this, [this] { ShowChosen(); });
  connect(FSolutionList, &QTreeWidget::itemDoubleClicked, this, [this] { CreateChosen(); });
  connect(FCreate, &QPushButton::clicked, this, [this] { CreateChosen(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  FProgressTimer.setInterval(100);
  connect(&FProgressTimer, &QTimer::timeout, this, [this] { ShowProgress(); });

  Restart();
  resize(480, 560);
}

TTrackSolutionWindow::~TTrackSolutionWindow() { StopSearch(); }

void TTrackSolutionWindow::done(int result) {
  // The worker goes before the window does, and what it queued before it stopped is dropped.
  StopSearch();
  ++FGeneration;
  QDialog::done(result);
}

void TTrackSolutionWindow::FillTrackBoxes() {
  std::vector<const TRRTrack*> tracks;
  if (TRREntityManager* m = FProject.Manager(); m && FProject.IsOpen())
    for (const TRREntity* e : m->Tracks())
      if (auto* t = dynamic_cast<const TRRTrack*>(e)) tracks.push_back(t);
  std::sort(tracks.begin(), tracks.end(), [](const TRRTrack* a, const TRRTrack* b) {
    const int c = QString::localeAwareCompare(Q(a->Name()), Q(b->Name()));
    return c != 0 ? c < 0 : a->ID() < b->ID();
  });
  FFilling = true;
  for (QComboBox* box : {FFirst, FSecond}) {
    box->clear();
    box->addItem("(kein Gleis)", 0);
    for (const TRRTrack* t : tracks) box->addItem(TrackCaption(*t), t->ID());
  }
  FFilling = false;
}

std::string TTrackSolutionWindow::SetTracks(int32_t first, int32_t second) {
  FFilling = true;
  FFirst->setCurrentIndex(std::max(FFirst->findData(first), 0));
  FSecond->setCurrentIndex(std::max(FSecond->findData(second), 0));
  FFilling = false;
  Restart();
  return FProblem;
}

void TTrackSolutionWindow::StopSearch() {
  FStop.store(true);
  if (FThread.joinable()) FThread.join();
  FSearching = false;
  FProgressTimer.stop();
}

void TTrackSolutionWindow::Restart() {
  StopSearch();
  ++FGeneration;
  FSolutions.clear();
  FSolutionList->clear();
  FProblem.clear();
  FSystem.clear();
  FSearch = {};
  FCreate->setEnabled(false);
  ShowChosen();

  auto fail = [this](const std::string& why) {
    FProblem = why;
    FStatus->setText(Q(why));
    FProgress->setVisible(false);
  };
  TRREntityManager* m = FProject.IsOpen() ? FProject.Manager() : nullptr;
  const int32_t firstID = FFirst->currentData().toInt(), secondID = FSecond->currentData().toInt();
  auto* first = m ? dynamic_cast<TRRTrack*>(m->FindByID(firstID)) : nullptr;
  auto* second = m ? dynamic_cast<TRRTrack*>(m->FindByID(secondID)) : nullptr;
  if (!first || !second) return fail(RRTextChooseTwoTracks);
  if (first == second) return fail(RRTextSameTrackTwice);
  const TRRGapContacts ends = RRFindGapContacts(*first, *second);
  if (!ends.Problem.empty()) return fail(ends.Problem);
  const TRRSolverFrame frame =
      RRSolverFrame(ends.Start->GetWorldPosition(), ends.Start->GetWorldOutward(), ends.End->GetWorldPosition());
  if (!frame.Valid) return fail(frame.Problem);
  FSystem = first->TrackSystemName();
  FSearch.Candidates = RRSolutionCandidates(FCatalogue, FSystem, first->TrackWidth());
  if (FSearch.Candidates.empty()) return fail(Fill(RRTextNoCandidates, FSystem));
  FSearch.Target = frame.Target;
  FSearch.HeadingX = frame.HeadingX;
  FSearch.HeadingZ = frame.HeadingZ;
  FSearch.Tolerance = static_cast<float>(FTolerance->value()) * 0.1f;
  FSearch.MaxPieces = FPieces->value();
  FStartTrack = first->ID();
  FStartRoute = ends.Start->Route()->Index();
  FStartContact = ends.Start->Index();

  FTotal = RRSolverTotal(FSearch.Candidates.size(), FSearch.MaxPieces);
  FCounter.store(0);
  FStop.store(false);
  FSearching = true;
  FStatus->setText(Q(RRSolverProgressText(FTotal)));
  FProgress->setVisible(true);
  FProgress->setValue(0);
  FProgressTimer.start();
  const uint32_t generation = FGeneration;
  // The worker owns its copy of the problem and reaches the window only through queued calls;
  // done() and the destructor join it before the window goes.
  FThread = std::thread([this, generation, problem = FSearch] {
    TRRSolverRun run;
    run.Stop = &FStop;
    run.Counter = &FCounter;
    run.Found = [this, generation](const TRRSolverSolution& s) {
      QMetaObject::invokeMethod(this, [this, generation, s] { Found(generation, s); }, Qt::QueuedConnection);
    };
    std::string failure;
    try {
      RRSolveGap(problem, &run);
    } catch (...) {
      failure = RRShortErrorText(std::current_exception());
    }
    QMetaObject::invokeMethod(this, [this, generation, failure] { Finished(generation, failure); },
                              Qt::QueuedConnection);
  });
}

void TTrackSolutionWindow::Found(uint32_t generation, const TRRSolverSolution& solution) {
  if (generation != FGeneration || FSolutions.size() >= size_t(RRSolverMaxSolutions)) return;
  FSolutions.push_back(solution);
  const int index = int(FSolutions.size()) - 1;
  auto* item = new QTreeWidgetItem({QString::number(index + 1), QString::number(solution.Candidates.size()),
                                    LengthText(SolutionError(index))});
  item->setData(0, Qt::UserRole, index);
  item->setTextAlignment(1, Qt::AlignCenter);
  FSolutionList->addTopLevelItem(item);
  if (!FSolutionList->currentItem()) FSolutionList->setCurrentItem(item);
  FCreate->setEnabled(true);
  ShowChosen();
}

void TTrackSolutionWindow::Finished(uint32_t generation, const std::string& failure) {
  if (generation != FGeneration) return;
  if (FThread.joinable()) FThread.join();
  FSearching = false;
  FProgressTimer.stop();
  FProgress->setValue(100);
  QString text = Q(Fill(RRTextSolverSystemHint, FSystem));
  if (!failure.empty())
    text = Q(Fill(RRTextSolverFailed, failure));
  else if (FSolutions.empty())
    text += "\n" + QString(RRTextNoSolution);
  FStatus->setText(text);
}

void TTrackSolutionWindow::ShowProgress() {
  if (FSearching) FProgress->setValue(RRSolverPercent(FCounter.load(), FTotal));
}

float TTrackSolutionWindow::SolutionError(int index) const {
  if (index < 0 || size_t(index) >= FSolutions.size()) return 0;
  return RRSolutionError(FSearch, FSolutions[size_t(index)]);
}

QString TTrackSolutionWindow::LengthText(float centimetres) const {
  return Q(FGlobal.FormatLength(centimetres)) + " " + Q(FGlobal.LengthUnitName());
}

void TTrackSolutionWindow::ShowChosen() {
  FPieceList->clear();
  const QTreeWidgetItem* item = FSolutionList->currentItem();
  const int index = item ? item->data(0, Qt::UserRole).toInt() : -1;
  if (index < 0 || size_t(index) >= FSolutions.size()) {
    FSolutionLabel->setText(QString(RRTextSolutionOf).arg(0).arg(FSolutions.size()));
    return;
  }
  FSolutionLabel->setText(QString(RRTextSolutionOf).arg(index + 1).arg(FSolutions.size()));
  for (int32_t c : FSolutions[size_t(index)].Candidates) {
    const TSolutionTrack& piece = FSearch.Candidates.at(size_t(c));
    QString name = piece.Description ? Q(piece.Description->Name().GetText()) : QString();
    if (piece.Entry) name += " (vom Ende)";
    FPieceList->addTopLevelItem(
        new QTreeWidgetItem({name, piece.Description ? Q(piece.Description->Description().GetText()) : QString()}));
  }
}

std::vector<TRRTrack*> TTrackSolutionWindow::CreateChosen() {
  const QTreeWidgetItem* item = FSolutionList->currentItem();
  const int index = item ? item->data(0, Qt::UserRole).toInt() : -1;
  if (index < 0 || size_t(index) >= FSolutions.size()) return {};
  // The search is over for this window: the layout changes now.
  const TRRSolverSolution solution = FSolutions[size_t(index)];
  StopSearch();
  TRREntityManager* m = FProject.IsOpen() ? FProject.Manager() : nullptr;
  auto* start = m ? dynamic_cast<TRRTrack*>(m->FindByID(FStartTrack)) : nullptr;
  TRRTrackRouteContact* contact = start && FStartRoute < start->GetRouteCount() && FStartContact >= 0 &&
                                          FStartContact < 2
                                      ? start->GetRoute(FStartRoute)->Contact(FStartContact)
                                      : nullptr;
  if (!contact) {
    FUI.ShowMessage(RRTextSolutionTracksGone, RRCaptionTrackSolution, TRRMessageIcon::Warning);
    FillTrackBoxes();
    Restart();
    return {};
  }
  std::vector<TRRTrack*> made;
  try {
    made = RRCreateSolutionTracks(*m, *contact, FSearch.Candidates, solution);
  } catch (...) {
    TRRGlobal::ReportException(FUI, std::current_exception());
    Restart();
    return {};
  }
  accept();
  return made;
}

}  // namespace rr
