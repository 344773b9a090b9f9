#include "gui/RRApplication.h"

#include "app/RRGlobal.h"
#include "app/RRShellState.h"

namespace rr {

TRRApplication::TRRApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("velmora");
  setApplicationDisplayName(RRProductName);
  setOrganizationName(RRPublisherName);
}

bool TRRApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ++FReports;
    if (TRRGlobal* global = Global()) global->HandleException(std::current_exception());
    return false;
  }
}

}  // namespace rr
