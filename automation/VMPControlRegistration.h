#pragma once
// How the session bus finds and starts the program for a client: the command-line switches a
// start by the bus (or a registration run) carries, and the activation file that tells the bus
// which program owns the name Velmora.VMPControl. No Qt here: the desktop program and the tests
// use it alike.

#include <string>
#include <vector>

namespace rr {

// The switches, in any case, after "/", "-" or "--": AUTOMATION and EMBEDDING (started by the bus
// for a client), REGSERVER and UNREGSERVER (write or remove the activation file, then end).
struct TRRAutomationSwitches {
  bool Automation = false;
  bool Embedding = false;
  bool RegServer = false;
  bool UnregServer = false;

  // Started for a client: the program ends when the last client is gone.
  bool StartedByBus() const { return Automation || Embedding; }
};

// Takes the switches out of args (other arguments stay, in their order).
TRRAutomationSwitches RRTakeAutomationSwitches(std::vector<std::string>& args);

// $XDG_DATA_HOME/dbus-1/services/Velmora.VMPControl.service, with $HOME/.local/share when
// XDG_DATA_HOME is unset or not absolute; empty when neither gives an absolute folder.
std::string RRActivationFilePath();

// The file's text: the service section, the name and the program started with " -Automation",
// its path quoted as the bus's command-line parser reads it.
std::string RRActivationFileText(const std::string& programPath);

// Writes the activation file (folders made as needed, written to a temporary file and renamed);
// raises std::runtime_error with a German message when it cannot.
void RRWriteActivationFile(const std::string& programPath);
// Removes it; a missing file is no error. Raises std::runtime_error when it stays.
void RRRemoveActivationFile();

// The bus's quoting of one command-line word: single quotes, an inner one as '\''.
std::string RRQuoteForBus(const std::string& word);

}  // namespace rr
