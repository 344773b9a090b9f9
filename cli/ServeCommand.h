#pragma once
// "velmora-cli serve [LAYOUT.vmp] [--fixed-step] [--json]": the automation interface without a
// display, for servers, scripts and tests. After the program's start-up (and the layout's load,
// when one is named) it offers the object Velmora.VMPControl on the session bus and runs the
// layout's frame step every 40 ms on the render core without a view; --fixed-step runs the steps
// back to back with 40 ms of layout time each. --json prints the names once owned as one line of
// JSON; otherwise a German line says so. Questions get the console's answers, except the save
// question before a close, which is answered "Nein": a client keeps its changes by calling
// SaveProject first. SIGTERM or SIGINT end it cleanly.
//
// Exit status: 0 ended by a signal; 1 no session bus, the name taken, the layout not loadable or
// no graphics; 2 wrong use.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

extern const char* const ServeCommandUsage;
int RunServeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
