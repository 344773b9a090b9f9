#include "app/RRUIService.h"

#include <algorithm>
#include <iostream>
#include <ostream>

namespace rr {

std::vector<TRRAnswer> RRButtonAnswers(TRRButtons buttons) {
  switch (buttons) {
    case TRRButtons::OK:
      return {TRRAnswer::OK};
    case TRRButtons::OKCancel:
      return {TRRAnswer::OK, TRRAnswer::Cancel};
    case TRRButtons::YesNo:
      return {TRRAnswer::Yes, TRRAnswer::No};
    case TRRButtons::YesNoCancel:
      return {TRRAnswer::Yes, TRRAnswer::No, TRRAnswer::Cancel};
  }
  return {TRRAnswer::OK};
}

bool RROffersAnswer(TRRButtons buttons, TRRAnswer answer) {
  auto all = RRButtonAnswers(buttons);
  return std::find(all.begin(), all.end(), answer) != all.end();
}

std::string RRButtonText(TRRAnswer answer) {
  switch (answer) {
    case TRRAnswer::OK:
      return RRButtonOK;
    case TRRAnswer::Cancel:
      return RRButtonCancel;
    case TRRAnswer::Yes:
      return RRButtonYes;
    case TRRAnswer::No:
      return RRButtonNo;
    case TRRAnswer::None:
      break;
  }
  return {};
}

std::string RRStripAccelerator(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

std::string RRToLf(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// ---- TRRScriptedUIService ---------------------------------------------------------------------

class TScriptedProgress : public IRRProgress {
 public:
  TScriptedProgress(TRRScriptedUIService& owner, bool cancellable) : FOwner(owner), FCancellable(cancellable) {}
  void SetText(const std::string& text) override { FOwner.FProgressTexts.push_back(text); }
  void SetProgress(int64_t, int64_t) override { ++FCalls; }
  bool Cancelled() const override { return FCancellable && FOwner.FCancelAfter >= 0 && FCalls >= FOwner.FCancelAfter; }

 private:
  TRRScriptedUIService& FOwner;
  bool FCancellable;
  int FCalls = 0;
};

void IRRUIService::Log(const std::string& text) { std::cerr << RRToLf(text) << std::endl; }

std::vector<std::string> TRRScriptedUIService::Texts() const {
  std::vector<std::string> out;
  for (const auto& s : FShown)
    if (s.Kind == TKind::Message || s.Kind == TKind::Question) out.push_back(s.Text);
  return out;
}

void TRRScriptedUIService::ShowMessage(const std::string& text, const std::string& caption, TRRMessageIcon icon) {
  TShown s;
  s.Kind = TKind::Message;
  s.Text = text;
  s.Caption = caption;
  s.Icon = icon;
  s.Answer = TRRAnswer::OK;
  FShown.push_back(std::move(s));
}

TRRAnswer TRRScriptedUIService::DoAsk(const std::string& text, const std::string& caption, TRRButtons buttons,
                                    TRRMessageIcon icon, TRRAnswer defaultButton) {
  TShown s;
  s.Kind = TKind::Question;
  s.Text = text;
  s.Caption = caption;
  s.Icon = icon;
  s.Buttons = buttons;
  s.DefaultButton = defaultButton;
  FShown.push_back(std::move(s));
  if (FAnswers.empty()) throw ERRUnscriptedUI("Keine vorbereitete Antwort auf die Frage \"" + caption + "\": " + text);
  TRRAnswer answer = FAnswers.front();
  FAnswers.pop_front();
  if (!RROffersAnswer(buttons, answer))
    throw ERRUnscriptedUI("Die vorbereitete Antwort passt nicht zu den Schaltflächen der Frage \"" + caption + "\"");
  FShown.back().Answer = answer;
  return answer;
}

std::optional<std::string> TRRScriptedUIService::NextPath(TKind kind, const std::string& title) {
  TShown s;
  s.Kind = kind;
  s.Text = title;
  FShown.push_back(std::move(s));
  if (FPaths.empty()) throw ERRUnscriptedUI("Kein vorbereitetes Ergebnis für den Dialog \"" + title + "\"");
  auto path = FPaths.front();
  FPaths.pop_front();
  FShown.back().Path = path;
  FShown.back().Answer = path ? TRRAnswer::OK : TRRAnswer::Cancel;
  return path;
}

std::optional<std::string> TRRScriptedUIService::OpenFileDialog(const TRRFileDialogOptions& options) {
  return NextPath(TKind::OpenFile, options.Title);
}

std::optional<std::string> TRRScriptedUIService::SaveFileDialog(const TRRFileDialogOptions& options) {
  return NextPath(TKind::SaveFile, options.Title);
}

std::optional<std::string> TRRScriptedUIService::SelectFolderDialog(const std::string& text, const std::string&) {
  return NextPath(TKind::SelectFolder, text);
}

std::unique_ptr<IRRProgress> TRRScriptedUIService::BeginProgress(const std::string& caption, const std::string& text,
                                                                 bool cancellable) {
  TShown s;
  s.Kind = TKind::Progress;
  s.Text = text;
  s.Caption = caption;
  FShown.push_back(std::move(s));
  return std::make_unique<TScriptedProgress>(*this, cancellable);
}

// ---- TRRConsoleUIService ----------------------------------------------------------------------

namespace {

const char* IconWord(TRRMessageIcon icon) {
  switch (icon) {
    case TRRMessageIcon::Error:
      return "Fehler";
    case TRRMessageIcon::Warning:
      return "Warnung";
    case TRRMessageIcon::Information:
      return "Information";
    case TRRMessageIcon::Question:
      return "Frage";
    case TRRMessageIcon::None:
      break;
  }
  return nullptr;
}

class TConsoleProgress : public IRRProgress {
 public:
  explicit TConsoleProgress(std::ostream& log) : FLog(log) {}
  void SetText(const std::string& text) override {
    if (text == FText) return;
    FText = text;
    FLog << "  " << RRToLf(text) << '\n';
    FLog.flush();
  }
  void SetProgress(int64_t, int64_t) override {}
  bool Cancelled() const override { return false; }

 private:
  std::ostream& FLog;
  std::string FText;
};

}  // namespace

TRRConsoleUIService::TRRConsoleUIService(TRRConsolePolicy policy) : FLog(std::cerr), FPolicy(policy) {}
TRRConsoleUIService::TRRConsoleUIService(std::ostream& log, TRRConsolePolicy policy) : FLog(log), FPolicy(policy) {}

TRRAnswer TRRConsoleUIService::PolicyAnswer(TRRButtons buttons, TRRAnswer defaultButton) const {
  if (FPolicy.AssumeYes && RROffersAnswer(buttons, TRRAnswer::Yes)) return TRRAnswer::Yes;
  if (defaultButton != TRRAnswer::None && RROffersAnswer(buttons, defaultButton)) return defaultButton;
  if (RROffersAnswer(buttons, TRRAnswer::No)) return TRRAnswer::No;
  return TRRAnswer::OK;
}

void TRRConsoleUIService::WriteEntry(TRRMessageIcon icon, const std::string& caption, const std::string& text) {
  if (const char* word = IconWord(icon)) FLog << '[' << word << "] ";
  if (!caption.empty()) FLog << caption << ": ";
  FLog << RRToLf(text) << '\n';
}

void TRRConsoleUIService::ShowMessage(const std::string& text, const std::string& caption, TRRMessageIcon icon) {
  WriteEntry(icon, caption, text);
  FLog.flush();
}

TRRAnswer TRRConsoleUIService::DoAsk(const std::string& text, const std::string& caption, TRRButtons buttons,
                                   TRRMessageIcon icon, TRRAnswer defaultButton) {
  WriteEntry(icon, caption, text);
  TRRAnswer answer = PolicyAnswer(buttons, defaultButton);
  FLog << "  [";
  bool first = true;
  for (TRRAnswer a : RRButtonAnswers(buttons)) {
    FLog << (first ? "" : " / ") << RRStripAccelerator(RRButtonText(a));
    first = false;
  }
  FLog << "] -> " << RRStripAccelerator(RRButtonText(answer)) << '\n';
  FLog.flush();
  return answer;
}

std::optional<std::string> TRRConsoleUIService::OpenFileDialog(const TRRFileDialogOptions& options) {
  WriteEntry(TRRMessageIcon::None, options.Title, "keine Dateiauswahl ohne Benutzer -> " + std::string(RRButtonCancel));
  FLog.flush();
  return std::nullopt;
}

std::optional<std::string> TRRConsoleUIService::SaveFileDialog(const TRRFileDialogOptions& options) {
  return OpenFileDialog(options);
}

std::optional<std::string> TRRConsoleUIService::SelectFolderDialog(const std::string& text, const std::string&) {
  WriteEntry(TRRMessageIcon::None, "", text + "\nkeine Ordnerauswahl ohne Benutzer -> " + std::string(RRButtonCancel));
  FLog.flush();
  return std::nullopt;
}

void TRRConsoleUIService::Log(const std::string& text) {
  FLog << RRToLf(text) << '\n';
  FLog.flush();
}

std::unique_ptr<IRRProgress> TRRConsoleUIService::BeginProgress(const std::string& caption, const std::string& text,
                                                                bool) {
  WriteEntry(TRRMessageIcon::None, caption, text);
  FLog.flush();
  return std::make_unique<TConsoleProgress>(FLog);
}

}  // namespace rr
