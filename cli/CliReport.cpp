#include "cli/CliReport.h"

#include <memory>

#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "engine/core/GXEngine.h"
#include "engine/render/GXRenderCore.h"

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

int EnsureRenderCore(std::ostream& err) {
  if (gx::GXCurrentRenderCore()) return ExitOK;
  try {
    rr::Global()->Engine().AttachRenderCore(std::make_unique<gx::TGXRenderCore>());
  } catch (...) {
    return Fail(err, "Die Grafik kann nicht verwendet werden: " + rr::RRShortErrorText(std::current_exception()),
                std::current_exception());
  }
  return ExitOK;
}

}  // namespace cli
