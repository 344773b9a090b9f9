#pragma once
// "Selektieren": picks one entity of a kind for an event's condition or action. The list starts
// with the bracketed placeholder (-1), then the layout's entities of that kind by name.

#include <QDialog>
#include <cstdint>

class QListWidget;

namespace rr {

class TRREntityManager;
struct TEventProperty;

class TEntityPickerWindow : public QDialog {
  Q_OBJECT

 public:
  // current starts chosen (the placeholder when no entity listed has it).
  TEntityPickerWindow(const TEventProperty& property, const TRREntityManager* entities, int32_t current,
                      QWidget* parent = nullptr);
  // The chosen entity's ID, -1 for the placeholder.
  int32_t ChosenID() const;
  QListWidget* List() const { return FList; }

 private:
  QListWidget* FList;
};

}  // namespace rr
