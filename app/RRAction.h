#pragma once
// A main-window action as the core drives it: the history enables and captions undo and redo,
// the clipboard enables paste. The desktop program binds these to its menu and toolbar actions;
// tests keep the last state.

#include <string>

namespace rr {

class IRRAction {
 public:
  virtual ~IRRAction() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
};

// Remembers what it was told (tests, the command-line program).
class TRRActionState : public IRRAction {
 public:
  void SetEnabled(bool enabled) override { Enabled = enabled; }
  void SetCaption(const std::string& caption) override { Caption = caption; }
  bool Enabled = false;
  std::string Caption;
};

}  // namespace rr
