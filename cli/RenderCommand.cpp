#include "cli/RenderCommand.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <memory>
#include <optional>
#include <ostream>

#include "app/RREntityManager.h"
#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "app/RRProject.h"
#include "app/RRProjectRenderWindow.h"
#include "app/entities/RRCamera.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXStrings.h"
#include "engine/core/GXTimer.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderWindow.h"

namespace cli {

const char* const RenderCommandUsage =
    "Aufruf: velmora-cli render PROJEKT.vmp -o BILD.png [--camera NAME | --camera-type N] [--size BxH]\n"
    "                          [--light LICHT] [--technical] [--frames N] [--json]\n"
    "Zeichnet die 3D-Ansicht einer Projektdatei ohne Bildschirm und schreibt das letzte Bild als PNG, JPEG\n"
    "oder BMP (nach der Endung). Ohne --camera die Kamera, die die Datei als aktiv kennzeichnet; --size\n"
    "16 bis 8192 Pixel je Seite (Vorgabe 1280x720); --frames Bilder (Vorgabe 1, Takt 40 ms); --technical\n"
    "schaltet von der 2D-Kamera auf die technische Zeichnung an derselben Stelle.\n";

namespace {

constexpr int kMinSize = 16, kMaxSize = 8192, kMaxFrames = 100000;
constexpr int64_t kFrameMs = 40;

// The frame timer's clock: it stands still until the command moves it on by one frame, so every
// run sees the same frame times.
class TFixedClock final : public gx::IGXClock {
 public:
  int64_t Frequency() const override { return 1000; }
  int64_t Counter() const override { return FNow; }
  uint32_t TickCount() const override { return uint32_t(FNow); }
  void Advance() { FNow += kFrameMs; }

 private:
  int64_t FNow = 0;
};

enum class TFormat { Png, Jpeg, Bmp };

std::optional<TFormat> FormatOf(const std::string& file) {
  const size_t dot = file.find_last_of('.');
  const size_t slash = file.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  const std::string ext = gx::LowerCaseText(file.substr(dot + 1));
  if (ext == "png") return TFormat::Png;
  if (ext == "jpg" || ext == "jpeg") return TFormat::Jpeg;
  if (ext == "bmp") return TFormat::Bmp;
  return std::nullopt;
}

bool ParseInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end;
}

bool ParseSize(const std::string& text, int& width, int& height) {
  const size_t x = text.find_first_of("xX");
  return x != std::string::npos && ParseInt(text.substr(0, x), width) && ParseInt(text.substr(x + 1), height);
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string CameraName(const rr::TRREntity& e) { return e.Name(); }

rr::TRRCamera* FindCamera(rr::TRREntityManager& manager, const std::function<bool(rr::TRRCamera&)>& match) {
  for (rr::TRREntity* e : manager.Cameras())
    if (auto* c = dynamic_cast<rr::TRRCamera*>(e); c && match(*c)) return c;
  return nullptr;
}

// Closes the project and gives it back the surface and clock it had, whatever way the command
// ends.
struct TProjectGuard {
  rr::TRRProject& Project;
  gx::TGXRenderSurface* Surface = Project.Services().ViewSurface;
  gx::IGXClock* Clock = Project.Services().Clock;
  ~TProjectGuard() {
    Project.CloseProject();
    Project.SetViewSurface(Surface);
    Project.SetFrameClock(Clock);
  }
};

int Usage(std::ostream& err, const std::string& line) {
  err << line << " (velmora-cli render --help)\n";
  return ExitUsage;
}

}  // namespace

int RunRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string input, output, cameraName, lightName;
  int cameraType = -1, width = 1280, height = 720, frames = 1;
  bool technical = false, json = false, haveCamera = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if ((a == "-o" || a == "--out") && hasValue) {
      output = args[++i];
    } else if (a == "--camera" && hasValue) {
      if (haveCamera) return Usage(err, "--camera und --camera-type schließen einander aus.");
      cameraName = args[++i];
      haveCamera = true;
    } else if (a == "--camera-type" && hasValue) {
      if (haveCamera) return Usage(err, "--camera und --camera-type schließen einander aus.");
      if (!ParseInt(args[++i], cameraType) || cameraType < 0 || cameraType > 4)
        return Usage(err, "Ungültiger Kameratyp: " + args[i] + " (0 bis 4)");
      haveCamera = true;
    } else if (a == "--size" && hasValue) {
      if (!ParseSize(args[++i], width, height) || width < kMinSize || height < kMinSize || width > kMaxSize ||
          height > kMaxSize)
        return Usage(err, "Ungültige Bildgröße: " + args[i] + " (BxH, je Seite 16 bis 8192)");
    } else if (a == "--frames" && hasValue) {
      if (!ParseInt(args[++i], frames) || frames < 1 || frames > kMaxFrames)
        return Usage(err, "Ungültige Bildanzahl: " + args[i] + " (1 bis 100000)");
    } else if (a == "--light" && hasValue) {
      lightName = args[++i];
    } else if (a == "--technical") {
      technical = true;
    } else if (a == "--json") {
      json = true;
    } else if (!a.empty() && a[0] != '-' && input.empty()) {
      input = a;
    } else {
      return Usage(err, "Unbekannte Option: " + a);
    }
  }
  if (input.empty() || output.empty()) {
    err << RenderCommandUsage;
    return ExitUsage;
  }
  const std::optional<TFormat> format = FormatOf(output);
  if (!format) return Usage(err, "Unbekanntes Bildformat: " + output + " (.png, .jpg, .bmp)");

  rr::TRRGlobal* global = rr::Global();
  if (!global) {
    err << "Das Programm ist nicht gestartet.\n";
    return ExitFailed;
  }
  rr::TRRProject& project = global->Project();
  const rr::TRRLayoutFileProbe probe = rr::RRProbeLayoutFile(global->FileSystem(), input);
  const std::string problem = rr::RRLayoutFileErrorLine(input, probe, rr::TRRExpectedFile::Project);
  if (probe.Kind != rr::TRRLayoutFileKind::Project || probe.Version < rr::RRProjectMinVersion ||
      probe.Version > rr::RRProjectVersion)
    return Fail(err, problem);

  if (const int status = EnsureRenderCore(err); status != ExitOK) return status;
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  if (!core) return Fail(err, "Die Grafik kann nicht verwendet werden.");
  const int limit = std::min(core->Adapter().Info.MaxTextureSize, core->Adapter().Info.MaxRenderbufferSize);
  if (limit > 0 && (width > limit || height > limit))
    return Usage(err, "Die Grafikkarte zeichnet höchstens " + std::to_string(limit) + " Pixel je Seite.");

  gx::TGXOffscreenSurface surface{uint32_t(width), uint32_t(height)};
  TFixedClock clock;
  project.CloseProject();
  TProjectGuard guard{project};
  project.SetViewSurface(&surface);
  project.SetFrameClock(&clock);

  const auto loadStart = std::chrono::steady_clock::now();
  if (!project.LoadProject(input, false)) return Fail(err, problem, TakeError());
  const double loadMs = MillisecondsSince(loadStart);
  rr::TRRProjectRenderWindow* window = project.RenderWindow();
  if (!window) return Fail(err, "Die 3D-Ansicht kann nicht angelegt werden.");

  if (std::string problem; !lightName.empty() && !ApplyLightPreset(lightName, problem)) return Usage(err, problem);
  rr::TRREntityManager& manager = *project.Manager();
  rr::TRRCamera* camera = nullptr;
  if (!cameraName.empty()) {
    camera = FindCamera(manager, [&](rr::TRRCamera& c) { return CameraName(c) == cameraName; });
    if (!camera) return Usage(err, "Unbekannte Kamera: \"" + cameraName + "\"");
  } else if (cameraType >= 0) {
    camera = FindCamera(manager, [&](rr::TRRCamera& c) { return c.Type() == cameraType; });
    if (!camera) return Usage(err, "Die Anlage hat keine Kamera vom Typ " + std::to_string(cameraType) + ".");
  }
  if (camera) project.SetActiveCamera(camera);
  if (technical) {
    auto* active = dynamic_cast<rr::TRRCamera*>(project.ActiveCamera());
    if (!active || active->Type() != rr::RRCameraTechnical) {
      // The technical camera takes the place of the top-down camera it is switched from.
      if (!active || active->Type() != rr::RRCameraTopDown) {
        if (rr::TRRCamera* topDown =
                FindCamera(manager, [](rr::TRRCamera& c) { return c.Type() == rr::RRCameraTopDown; }))
          project.SetActiveCamera(topDown);
      }
      rr::TRRCamera* drawing =
          FindCamera(manager, [](rr::TRRCamera& c) { return c.Type() == rr::RRCameraTechnical; });
      if (!drawing) return Usage(err, "Die Anlage hat keine Kamera für die technische Zeichnung.");
      project.SetActiveCamera(drawing);
    }
  }
  auto* active = dynamic_cast<rr::TRRCamera*>(project.ActiveCamera());

  double firstFrameMs = 0, laterMs = 0;
  for (int f = 0; f < frames; ++f) {
    clock.Advance();
    const auto start = std::chrono::steady_clock::now();
    project.Tick();
    const double ms = MillisecondsSince(start);
    if (f == 0)
      firstFrameMs = ms;
    else
      laterMs += ms;
  }
  if (window->FramesRendered() < 1) return Fail(err, "Die 3D-Ansicht hat kein Bild gezeichnet.");
  std::optional<rr::TRRBitmap> image = window->ViewImage();
  if (!image) return Fail(err, "Das Bild der 3D-Ansicht kann nicht gelesen werden.");

  std::vector<uint8_t> bytes;
  switch (*format) {
    case TFormat::Png:
      bytes = rr::RREncodePng(*image);
      break;
    case TFormat::Jpeg:
      bytes = rr::RREncodeJpeg(*image);
      break;
    case TFormat::Bmp:
      bytes = rr::RREncodeBmp(uint32_t(image->Width), uint32_t(image->Height), window->LastFrame());
      break;
  }
  if (bytes.empty()) return Fail(err, "Das Bild kann nicht kodiert werden: " + output);
  try {
    rr::RRWriteFileReplacing(global->FileSystem().ResolvePath(output), bytes.data(), bytes.size());
  } catch (...) {
    return Fail(
        err,
        "\"" + output + "\" kann nicht geschrieben werden: " + rr::RRShortErrorText(std::current_exception()),
        std::current_exception());
  }

  const std::string name = active ? CameraName(*active) : std::string();
  const int type = active ? int(active->Type()) : -1;
  if (json) {
    out << "{\"file\":" << JsonString(input) << ",\"output\":" << JsonString(output)
        << ",\"camera\":{\"name\":" << JsonString(name) << ",\"type\":" << type
        << "},\"size\":{\"width\":" << width << ",\"height\":" << height << "},\"frames\":" << frames
        << ",\"drawCalls\":" << window->DrawCallCount() << ",\"loadMs\":" << JsonNumber(float(loadMs))
        << ",\"firstFrameMs\":" << JsonNumber(float(firstFrameMs))
        << ",\"frameMs\":" << (frames > 1 ? JsonNumber(float(laterMs / (frames - 1))) : std::string("null"))
        << "}\n";
  } else {
    out << "Bild geschrieben: " << output << " (" << width << "x" << height << ", Kamera \"" << name << "\", "
        << frames << (frames == 1 ? " Bild" : " Bilder") << ", " << window->DrawCallCount()
        << " Zeichenaufrufe)\n";
  }
  return ExitOK;
}

}  // namespace cli
