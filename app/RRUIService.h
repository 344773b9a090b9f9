#pragma once
// The one door through which the application's core talks to the user: message boxes, questions,
// file and folder dialogs and progress displays. The core never opens a window itself. The
// desktop program implements this with its widgets, velmora-cli answers by a stated policy and
// writes the texts to standard error, and tests script the answers and record every text.
//
// Texts are passed exactly as the program defines them (German, CR LF line breaks); an
// implementation converts line breaks for its medium.

#include <cstdint>
#include <deque>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rr {

enum class TRRMessageIcon { None, Information, Warning, Error, Question };
enum class TRRButtons { OK, OKCancel, YesNo, YesNoCancel };
// None is never an answer; as a default button it means "no button is the default".
enum class TRRAnswer { None, OK, Cancel, Yes, No };

// The button texts (with their accelerator marks) every implementation shows.
inline constexpr const char* RRButtonYes = "&Ja";
inline constexpr const char* RRButtonNo = "&Nein";
inline constexpr const char* RRButtonCancel = "Abbrechen";
inline constexpr const char* RRButtonOK = "OK";

// The answers a button set offers, in the order the buttons appear.
std::vector<TRRAnswer> RRButtonAnswers(TRRButtons buttons);
bool RROffersAnswer(TRRButtons buttons, TRRAnswer answer);
// The German text of an answer's button ("&Ja"); empty for None.
std::string RRButtonText(TRRAnswer answer);
// The text without accelerator marks ("&Ja" -> "Ja", "&&" -> "&"), for media without mnemonics.
std::string RRStripAccelerator(const std::string& text);
// CR LF and lone CR become LF, for media that break lines with "\n".
std::string RRToLf(const std::string& text);

struct TRRFileFilter {
  std::string Description;  // "Projektdateien (*.vmp)"
  std::string Patterns;     // "*.vmp", several separated by ';'
};

struct TRRFileDialogOptions {
  std::string Title;
  std::vector<TRRFileFilter> Filters;
  std::string DefaultExtension;  // without dot, appended by save dialogs when the name has none
  std::string InitialFolder;
  std::string FileName;  // proposed name
};

// A running progress display. Destroying it closes the display.
class IRRProgress {
 public:
  virtual ~IRRProgress() = default;
  virtual void SetText(const std::string& text) = 0;
  // done of total steps; total <= 0 shows an indeterminate display.
  virtual void SetProgress(int64_t done, int64_t total) = 0;
  // The user asked to stop (only for cancellable displays).
  virtual bool Cancelled() const = 0;
  // A picture of what is being loaded (JPEG bytes, a layout's thumbnail); displays without room
  // for pictures ignore it.
  virtual void ShowThumbnail(const std::vector<uint8_t>& jpeg) {}
};

class IRRUIService {
 public:
  virtual ~IRRUIService() = default;

  virtual void ShowMessage(const std::string& text, const std::string& caption, TRRMessageIcon icon) = 0;
  // Returns one of the answers the buttons offer.
  TRRAnswer Ask(const std::string& text, const std::string& caption, TRRButtons buttons,
                TRRMessageIcon icon = TRRMessageIcon::Question, TRRAnswer defaultButton = TRRAnswer::None) {
    return DoAsk(text, caption, buttons, icon, defaultButton);
  }
  // The chosen disk path, or nothing when the user cancels.
  virtual std::optional<std::string> OpenFileDialog(const TRRFileDialogOptions& options) = 0;
  virtual std::optional<std::string> SaveFileDialog(const TRRFileDialogOptions& options) = 0;
  virtual std::optional<std::string> SelectFolderDialog(const std::string& text, const std::string& initialFolder) = 0;
  virtual std::unique_ptr<IRRProgress> BeginProgress(const std::string& caption, const std::string& text,
                                                     bool cancellable) = 0;
  // One line for the program's log, never a window: notes a user may look for but need not
  // answer (a setting read as its default). Without a log of its own: standard error.
  virtual void Log(const std::string& text);

 protected:
  virtual TRRAnswer DoAsk(const std::string& text, const std::string& caption, TRRButtons buttons,
                          TRRMessageIcon icon, TRRAnswer defaultButton) = 0;
};

// ---- scripted answers for tests ---------------------------------------------------------------

// A question or dialog met an empty script: the test did not expect it.
class ERRUnscriptedUI : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class TRRScriptedUIService : public IRRUIService {
 public:
  enum class TKind { Message, Question, OpenFile, SaveFile, SelectFolder, Progress };

  // Everything shown, in order. Dialog results and answers are recorded with it.
  struct TShown {
    TKind Kind = TKind::Message;
    std::string Text;  // message or question text; dialog title or folder text; progress text
    std::string Caption;
    TRRMessageIcon Icon = TRRMessageIcon::None;
    TRRButtons Buttons = TRRButtons::OK;
    TRRAnswer DefaultButton = TRRAnswer::None;
    TRRAnswer Answer = TRRAnswer::None;
    std::optional<std::string> Path;  // dialog result
  };

  // Answers are taken in order. A question whose next answer is not offered by its buttons, or
  // that finds no answer, raises ERRUnscriptedUI (after recording the question).
  void QueueAnswer(TRRAnswer answer) { FAnswers.push_back(answer); }
  // Results of the next file or folder dialogs (nothing = cancelled), in order.
  void QueuePath(std::optional<std::string> path) { FPaths.push_back(std::move(path)); }
  // Progress displays report Cancelled after this many SetProgress calls (-1 = never).
  void CancelProgressAfter(int calls) { FCancelAfter = calls; }

  const std::vector<TShown>& Shown() const { return FShown; }
  // Only the texts of messages and questions.
  std::vector<std::string> Texts() const;
  std::vector<std::string> ProgressTexts() const { return FProgressTexts; }
  // The log lines, in order (kept apart from what was shown).
  const std::vector<std::string>& LogLines() const { return FLogLines; }
  size_t PendingAnswers() const { return FAnswers.size(); }
  size_t PendingPaths() const { return FPaths.size(); }
  void ClearShown() { FShown.clear(); FProgressTexts.clear(); }

  void ShowMessage(const std::string& text, const std::string& caption, TRRMessageIcon icon) override;
  std::optional<std::string> OpenFileDialog(const TRRFileDialogOptions& options) override;
  std::optional<std::string> SaveFileDialog(const TRRFileDialogOptions& options) override;
  std::optional<std::string> SelectFolderDialog(const std::string& text, const std::string& initialFolder) override;
  std::unique_ptr<IRRProgress> BeginProgress(const std::string& caption, const std::string& text,
                                             bool cancellable) override;
  void Log(const std::string& text) override { FLogLines.push_back(text); }

 protected:
  TRRAnswer DoAsk(const std::string& text, const std::string& caption, TRRButtons buttons, TRRMessageIcon icon,
                  TRRAnswer defaultButton) override;

 private:
  friend class TScriptedProgress;
  std::optional<std::string> NextPath(TKind kind, const std::string& title);

  std::deque<TRRAnswer> FAnswers;
  std::deque<std::optional<std::string>> FPaths;
  std::vector<TShown> FShown;
  std::vector<std::string> FProgressTexts;
  std::vector<std::string> FLogLines;
  int FCancelAfter = -1;
};

// ---- the command-line program's policy --------------------------------------------------------

// How velmora-cli answers without a user:
// - messages are written to the log and need no answer;
// - a question is answered "Ja" when AssumeYes is set and the buttons offer it; otherwise with
//   its default button when it has one; otherwise "Nein" when offered, else "OK" - so nothing is
//   overwritten or deleted unless the caller asked for it, and no flow is aborted by a Cancel
//   the caller never chose;
// - file and folder dialogs return nothing (cancelled): batch work names its files itself;
// - progress displays write their texts and are never cancelled;
// - log lines are written as they are.
// Every text goes to the log with its caption, line breaks as "\n", followed by the answer given.
struct TRRConsolePolicy {
  bool AssumeYes = false;
};

class TRRConsoleUIService : public IRRUIService {
 public:
  // The log is standard error unless given.
  explicit TRRConsoleUIService(TRRConsolePolicy policy = {});
  TRRConsoleUIService(std::ostream& log, TRRConsolePolicy policy = {});

  // The answer the policy gives (without logging).
  TRRAnswer PolicyAnswer(TRRButtons buttons, TRRAnswer defaultButton) const;

  void ShowMessage(const std::string& text, const std::string& caption, TRRMessageIcon icon) override;
  std::optional<std::string> OpenFileDialog(const TRRFileDialogOptions& options) override;
  std::optional<std::string> SaveFileDialog(const TRRFileDialogOptions& options) override;
  std::optional<std::string> SelectFolderDialog(const std::string& text, const std::string& initialFolder) override;
  std::unique_ptr<IRRProgress> BeginProgress(const std::string& caption, const std::string& text,
                                             bool cancellable) override;
  // Log lines go to the log as they are.
  void Log(const std::string& text) override;

 protected:
  TRRAnswer DoAsk(const std::string& text, const std::string& caption, TRRButtons buttons, TRRMessageIcon icon,
                  TRRAnswer defaultButton) override;

 private:
  void WriteEntry(TRRMessageIcon icon, const std::string& caption, const std::string& text);

  std::ostream& FLog;
  TRRConsolePolicy FPolicy;
};

}  // namespace rr
