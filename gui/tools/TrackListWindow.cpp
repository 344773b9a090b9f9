#include "gui/tools/TrackListWindow.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>

#include "app/RRLayoutFileProbe.h"
#include "app/RRUIService.h"

namespace rr {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Format(const char* pattern, const std::string& a, const std::string& b = {}) {
  std::string out = pattern;
  for (const std::string* value : {&a, &b}) {
    const size_t at = out.find("%s");
    if (at == std::string::npos) break;
    out.replace(at, 2, *value);
  }
  return out;
}

std::string Now() {
  return RRPartsListDate(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
          .count());
}

// The printed page in tenths of a millimetre.
constexpr int kTitleHeight = 60, kTextHeight = 40, kRowHeight = 60, kCellPadding = 15;

QFont PrintFont(int height, bool bold) {
  QFont f("Verdana");
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(height);
  f.setBold(bold);
  return f;
}

}  // namespace

TTrackListWindow::TTrackListWindow(const gx::TGXNode& root, std::string projectName, IRRUIService& ui,
                                   QWidget* parent)
    : QDialog(parent), FProjectName(std::move(projectName)), FDate(Now()), FUI(ui) {
  setWindowTitle(RRTextPartsListCaption);
  FList.Build(root);
  FList.Sort(TRRPartsListColumn::Count, false);

  auto* layout = new QVBoxLayout(this);
  auto* hint = new QLabel(RRTextPartsListHint, this);
  hint->setWordWrap(true);
  layout->addWidget(hint);

  FTable = new QTreeWidget(this);
  FTable->setColumnCount(RRPartsListColumnCount);
  QStringList captions;
  for (const char* c : RRPartsListCaptions) captions << c;
  FTable->setHeaderLabels(captions);
  FTable->setRootIsDecorated(false);
  FTable->setUniformRowHeights(true);
  FTable->setSelectionMode(QAbstractItemView::NoSelection);
  FTable->setAlternatingRowColors(true);
  QHeaderView* header = FTable->header();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setStretchLastSection(true);  // "Beschreibung" takes the remaining width
  connect(header, &QHeaderView::sectionClicked, this, [this](int column) { SortBy(column); });
  layout->addWidget(FTable, 1);

  auto* buttons = new QDialogButtonBox(this);
  FSave = buttons->addButton(" Speichern ", QDialogButtonBox::ActionRole);
  FPrint = buttons->addButton("Drucken", QDialogButtonBox::ActionRole);
  FClose = buttons->addButton("Schließen", QDialogButtonBox::RejectRole);
  FSave->setAutoDefault(false);
  FPrint->setAutoDefault(false);
  FClose->setDefault(true);
  layout->addWidget(buttons);
  connect(FSave, &QPushButton::clicked, this, [this] { Save(); });
  connect(FPrint, &QPushButton::clicked, this, [this] { Print(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  Refill();
  resize(640, 420);
  // Text columns as wide as their contents (within reason), the description the rest.
  for (int c = 0; c < RRPartsListColumnCount - 1; ++c) {
    FTable->resizeColumnToContents(c);
    FTable->setColumnWidth(c, std::min(FTable->columnWidth(c) + 16, 220));
  }
  // The list shows, the buttons act: no focus frame on the first row.
  FClose->setFocus();
}

void TTrackListWindow::Refill() {
  FTable->clear();
  QList<QTreeWidgetItem*> items;
  for (const TRRPartsListRow& r : FList.Rows()) {
    auto* item = new QTreeWidgetItem;
    for (int c = 0; c < RRPartsListColumnCount; ++c)
      item->setText(c, Q(r.Cell(static_cast<TRRPartsListColumn>(c))));
    item->setTextAlignment(int(TRRPartsListColumn::Count), Qt::AlignCenter);
    items.append(item);
  }
  if (items.isEmpty()) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, RRTextPartsListEmpty);
    item->setFlags(Qt::NoItemFlags);
    items.append(item);
  }
  FTable->addTopLevelItems(items);
  if (FList.Rows().empty()) items[0]->setFirstColumnSpanned(true);
  // The toolkit draws its ascending mark as an arrow pointing down; the list shows the arrow up
  // for ascending and down for descending, as the user's other programs do.
  FTable->header()->setSortIndicator(int(FList.SortColumn()),
                                     FList.SortAscending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TTrackListWindow::SortBy(int column) {
  if (column < 0 || column >= RRPartsListColumnCount) return;
  FList.SortBy(static_cast<TRRPartsListColumn>(column));
  Refill();
}

bool TTrackListWindow::Save() {
  TRRFileDialogOptions o;
  o.Title = RRTextPartsListSaveTitle;
  o.Filters = {{"Webseite (*.htm; *.html)", "*.htm;*.html"}, {"Trennzeichen-getrennt (*.csv)", "*.csv"}};
  o.DefaultExtension = "html";
  o.FileName = FProjectName + ".html";
  const std::optional<std::string> file = FUI.SaveFileDialog(o);
  if (!file || file->empty()) return false;
  try {
    FList.Save(*file, RRPartsListFormatOfFile(*file), FProjectName, FDate, &FUI);
  } catch (...) {
    FUI.ShowMessage(Format(RRTextPartsListSaveFailed, *file, RRShortErrorText(std::current_exception())),
                    RRTextPartsListCaption, TRRMessageIcon::Error);
    return false;
  }
  return true;
}

void TTrackListWindow::Print() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle("Drucken");
  if (dialog.exec() != QDialog::Accepted) return;
  PrintTo(printer);
}

int TTrackListWindow::PrintTo(QPrinter& printer) {
  printer.setDocName(RRTextPartsListCaption);
  QPainter p;
  if (!p.begin(&printer)) {
    FUI.ShowMessage(RRTextPartsListPrintFailed, RRTextPartsListCaption, TRRMessageIcon::Error);
    return 0;
  }
  // Work in tenths of a millimetre from the top left of the printable area.
  const QRectF pageMm = printer.pageLayout().paintRect(QPageLayout::Millimeter);
  const double dotsPerUnit = printer.resolution() / 254.0;
  p.scale(dotsPerUnit, dotsPerUnit);
  const int pages = PaintPages(p, int(pageMm.width() * 10), int(pageMm.height() * 10),
                               [&printer] { return printer.newPage(); });
  p.end();
  return pages;
}

int TTrackListWindow::PaintPages(QPainter& p, int pageWidth, int pageHeight, const std::function<bool()>& newPage) {
  int pages = 1;

  auto text = [&](int y, int height, bool bold, const std::string& line) {
    p.setFont(PrintFont(height, bold));
    p.drawText(QRect(0, y, pageWidth, int(height * 1.5)), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, Q(line));
  };
  text(0, kTitleHeight, true, RRTextPartsListTitle);
  text(100, kTextHeight, false, FProjectName);
  text(150, kTextHeight, false, "Erstellt am " + FDate + ".");
  if (FList.Rows().empty()) {
    text(250, kTextHeight, true, RRTextPartsListEmpty);
    return pages;
  }

  // Columns as wide as their widest text (the description takes what is left, as in the
  // window); a table wider than the page shrinks in proportion, and long texts are cut with "...".
  const int tableWidth = pageWidth - 2;  // the right frame stays on the page
  int widths[RRPartsListColumnCount];
  int natural = 0;
  for (int c = 0; c < RRPartsListColumnCount; ++c) {
    const QFontMetrics head(PrintFont(kTextHeight, true), p.device());
    const QFontMetrics cell(PrintFont(kTextHeight, false), p.device());
    int w = head.horizontalAdvance(RRPartsListCaptions[c]);
    for (const TRRPartsListRow& r : FList.Rows())
      w = std::max(w, cell.horizontalAdvance(Q(r.Cell(static_cast<TRRPartsListColumn>(c)))));
    natural += widths[c] = w + 3 * kCellPadding;
  }
  if (natural < tableWidth)
    widths[RRPartsListColumnCount - 1] += tableWidth - natural;
  int x[RRPartsListColumnCount + 1] = {0};
  for (int c = 0; c < RRPartsListColumnCount; ++c)
    x[c + 1] = c + 1 == RRPartsListColumnCount
                   ? tableWidth
                   : x[c] + int(std::lround(double(widths[c]) * tableWidth / std::max(natural, tableWidth)));

  auto row = [&](int y, bool head, const TRRPartsListRow* r) {
    p.setFont(PrintFont(kTextHeight, head));
    p.setPen(QPen(Qt::black, 2));
    for (int c = 0; c < RRPartsListColumnCount; ++c) {
      const QRect cell(x[c], y, x[c + 1] - x[c], kRowHeight);
      p.drawRect(cell);
      const bool centred = head || c == int(TRRPartsListColumn::Count);
      const QString value = head ? QString(RRPartsListCaptions[c]) : Q(r->Cell(static_cast<TRRPartsListColumn>(c)));
      const QRect inner = cell.adjusted(kCellPadding, 0, -kCellPadding, 0);
      p.drawText(inner, (centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter | Qt::TextSingleLine,
                 p.fontMetrics().elidedText(value, Qt::ElideRight, inner.width()));
    }
  };
  int y = 150 + kRowHeight + 2 * kRowHeight;
  row(y, true, nullptr);
  y += kRowHeight;
  for (const TRRPartsListRow& r : FList.Rows()) {
    if (y + kRowHeight > pageHeight) {
      if (!newPage()) break;
      ++pages;
      y = 0;
      row(y, true, nullptr);
      y += kRowHeight;
    }
    row(y, false, &r);
    y += kRowHeight;
  }
  return pages;
}

}  // namespace rr
