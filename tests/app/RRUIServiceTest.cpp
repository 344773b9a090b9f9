#include "app/RRUIService.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace rr;

namespace {
TRRFileDialogOptions Titled(const char* title) {
  TRRFileDialogOptions o;
  o.Title = title;
  return o;
}
}  // namespace

TEST(RRUIService, ScriptedAnswersAreTakenInOrderAndEverythingIsRecorded) {
  TRRScriptedUIService ui;
  ui.QueueAnswer(TRRAnswer::No);
  ui.QueuePath(std::string("/tmp/a.vmp"));
  ui.QueuePath(std::nullopt);
  ui.ShowMessage("Zeile 1\r\nZeile 2", "Hinweis", TRRMessageIcon::Warning);
  EXPECT_EQ(ui.Ask("Speichern?", "Frage", TRRButtons::YesNoCancel, TRRMessageIcon::Question, TRRAnswer::Yes),
            TRRAnswer::No);
  EXPECT_EQ(ui.OpenFileDialog(Titled("Öffnen")), "/tmp/a.vmp");
  EXPECT_EQ(ui.SelectFolderDialog("Ordner?", ""), std::nullopt);
  ASSERT_EQ(ui.Shown().size(), 4u);
  EXPECT_EQ(ui.Shown()[0].Text, "Zeile 1\r\nZeile 2");
  EXPECT_EQ(ui.Shown()[0].Icon, TRRMessageIcon::Warning);
  EXPECT_EQ(ui.Shown()[1].DefaultButton, TRRAnswer::Yes);
  EXPECT_EQ(ui.Shown()[1].Buttons, TRRButtons::YesNoCancel);
  EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Zeile 1\r\nZeile 2", "Speichern?"}));

  // An unexpected question, or an answer its buttons do not offer, fails the test loudly.
  EXPECT_THROW(ui.Ask("Noch eine?", "Frage", TRRButtons::YesNo), ERRUnscriptedUI);
  ui.QueueAnswer(TRRAnswer::Cancel);
  EXPECT_THROW(ui.Ask("Ja oder nein?", "Frage", TRRButtons::YesNo), ERRUnscriptedUI);
  EXPECT_THROW(ui.SaveFileDialog(Titled("Speichern")), ERRUnscriptedUI);

  ui.CancelProgressAfter(2);
  auto progress = ui.BeginProgress("Laden", "Lese Datei", true);
  progress->SetText("Schritt 1");
  progress->SetProgress(1, 10);
  EXPECT_FALSE(progress->Cancelled());
  progress->SetProgress(2, 10);
  EXPECT_TRUE(progress->Cancelled());
  EXPECT_EQ(ui.ProgressTexts(), std::vector<std::string>{"Schritt 1"});
}

TEST(RRUIService, ConsolePolicyDeclinesUnlessToldAndLogsWithLineFeeds) {
  std::ostringstream log;
  TRRConsoleUIService ui(log);
  EXPECT_EQ(ui.Ask("Datei überschreiben?\r\n\r\nSicher?", "Speichern", TRRButtons::YesNoCancel), TRRAnswer::No);
  EXPECT_EQ(ui.Ask("Weiter?", "Frage", TRRButtons::YesNo, TRRMessageIcon::Question, TRRAnswer::Yes), TRRAnswer::Yes);
  EXPECT_EQ(ui.Ask("Abbrechen?", "Frage", TRRButtons::OKCancel), TRRAnswer::OK);
  ui.ShowMessage("Fehlt.\r\nWirklich.", "Dateifehler", TRRMessageIcon::Error);
  EXPECT_EQ(ui.OpenFileDialog(Titled("Projekt öffnen")), std::nullopt);
  EXPECT_EQ(log.str(),
            "[Frage] Speichern: Datei überschreiben?\n\nSicher?\n"
            "  [Ja / Nein / Abbrechen] -> Nein\n"
            "[Frage] Frage: Weiter?\n"
            "  [Ja / Nein] -> Ja\n"
            "[Frage] Frage: Abbrechen?\n"
            "  [OK / Abbrechen] -> OK\n"
            "[Fehler] Dateifehler: Fehlt.\nWirklich.\n"
            "Projekt öffnen: keine Dateiauswahl ohne Benutzer -> Abbrechen\n");

  std::ostringstream log2;
  TRRConsoleUIService yes(log2, TRRConsolePolicy{true});
  EXPECT_EQ(yes.Ask("Löschen?", "Frage", TRRButtons::YesNo, TRRMessageIcon::Question, TRRAnswer::No), TRRAnswer::Yes);
  EXPECT_EQ(yes.Ask("OK?", "Frage", TRRButtons::OKCancel, TRRMessageIcon::Question, TRRAnswer::Cancel),
            TRRAnswer::Cancel);
}
