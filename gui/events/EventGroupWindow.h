#pragma once
// The window of one event group: its name and whether it is active. OK writes both into the
// group; a name that is empty after trimming is refused with a message and the window stays.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace rr {

class IRRUIService;
class TRREventGroup;

inline constexpr const char* RRTextInvalidName = "Bitte geben Sie einen gültigen Namen ein.";
inline constexpr const char* RRTextInputError = "Eingabefehler";

// Shows the empty-name message when the trimmed name is empty; returns whether it is valid.
bool RRCheckEventName(const QString& name, IRRUIService& ui);

class TEventGroupWindow : public QDialog {
  Q_OBJECT

 public:
  TEventGroupWindow(TRREventGroup& group, IRRUIService& ui, QWidget* parent = nullptr);

  QLineEdit* NameEdit() const { return FName; }
  QCheckBox* EnabledBox() const { return FEnabled; }
  QPushButton* OkButton() const { return FOk; }

  void accept() override;

 private:
  TRREventGroup& FGroup;
  IRRUIService& FUI;
  QLineEdit* FName;
  QCheckBox* FEnabled;
  QPushButton* FOk;
};

}  // namespace rr
