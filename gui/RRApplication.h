#pragma once
// The desktop program's application object: every event handler runs inside one guard, so an
// exception thrown by a slot or an event handler is shown once by the program's error report
// instead of ending the program.

#include <QApplication>

namespace rr {

class TRRApplication : public QApplication {
 public:
  TRRApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
  // Exceptions reported so far (tests).
  int Reports() const { return FReports; }

 private:
  int FReports = 0;
};

}  // namespace rr
