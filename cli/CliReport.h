#pragma once
// How a command reports failure: one German line on standard error, the full error report with
// its call stack only with --verbose. Exit status: 0 success, 1 the work failed, 2 wrong use.

#include <exception>
#include <ostream>
#include <string>

namespace cli {

inline constexpr int ExitOK = 0, ExitFailed = 1, ExitUsage = 2;

bool Verbose();
void SetVerbose(bool verbose);

// The exception the program's error handler took last while a command ran; Take clears it.
void KeepError(std::exception_ptr e);
std::exception_ptr TakeError();

// Writes line, then with --verbose the full report of e (when there is one); returns ExitFailed.
int Fail(std::ostream& err, const std::string& line, std::exception_ptr e = nullptr);

// Makes the program's render core (EGL) unless one runs: ExitOK, or Fail's status with the reason.
int EnsureRenderCore(std::ostream& err);

// Applies the open layout's lighting preset of that name (ignoring case; --light of run and
// render). False with a German line naming the presets there are when none is called so.
bool ApplyLightPreset(const std::string& name, std::string& problem);
// Checks that file is a layout of a readable version and loads it into the program's project:
// ExitOK, or Fail's status with the German line that names the problem.
int LoadLayout(const std::string& file, std::ostream& err);

}  // namespace cli
