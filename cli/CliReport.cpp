#include "cli/CliReport.h"

#include <memory>

#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "app/RRProject.h"
#include "app/entities/RRLight.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStrings.h"
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

bool ApplyLightPreset(const std::string& name, std::string& problem) {
  rr::TRRLight* light = rr::Global() ? rr::Global()->Project().Light() : nullptr;
  std::string names;
  for (int i = 0; light && i < light->PresetCount(); ++i) {
    const std::string preset = light->Preset(i).Name.GetText(gx::GX_LANG_GERMAN, gx::GX_LANG_GERMAN);
    if (gx::SameText(preset, name)) {
      light->ApplyPreset(i, true);
      return true;
    }
    names += (names.empty() ? "" : ", ") + preset;
  }
  problem = "Keine Beleuchtung \"" + name + "\" (vorhanden: " + (names.empty() ? "keine" : names) + ")";
  return false;
}

int LoadLayout(const std::string& file, std::ostream& err) {
  rr::TRRGlobal* global = rr::Global();
  if (!global) return Fail(err, "Das Programm ist nicht gestartet.");
  const rr::TRRLayoutFileProbe probe = rr::RRProbeLayoutFile(global->FileSystem(), file);
  const std::string problem = rr::RRLayoutFileErrorLine(file, probe, rr::TRRExpectedFile::Project);
  if (probe.Kind != rr::TRRLayoutFileKind::Project || probe.Version < rr::RRProjectMinVersion ||
      probe.Version > rr::RRProjectVersion)
    return Fail(err, problem);
  if (!global->Project().LoadProject(file, false)) return Fail(err, problem, TakeError());
  return ExitOK;
}

}  // namespace cli
