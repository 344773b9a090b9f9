#include "cli/CliReport.h"

#include "app/RRGlobal.h"

namespace cli {

namespace {
bool GVerbose = false;
std::exception_ptr GError;
}  // namespace

bool Verbose() { return GVerbose; }
void SetVerbose(bool verbose) { GVerbose = verbose; }

void KeepError(std::exception_ptr e) { GError = std::move(e); }
std::exception_ptr TakeError() { return std::exchange(GError, nullptr); }

int Fail(std::ostream& err, const std::string& line, std::exception_ptr e) {
  err << line << "\n";
  if (GVerbose && e) {
    std::string text = rr::TRRGlobal::BuildErrorReport(e).Text;
    std::erase(text, '\r');
    err << text << "\n";
  }
  return ExitFailed;
}

}  // namespace cli
