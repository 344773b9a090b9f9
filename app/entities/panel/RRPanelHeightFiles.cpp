#include "app/entities/panel/RRPanelHeightFiles.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/RRProjectSerializer.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

std::string LowerExtension(const std::string& fileName) {
  const size_t slash = fileName.find_last_of("\\/");
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

[[noreturn]] void Fail(const char* operation, const std::string& reason) {
  throw gx::EGXException(
      {gx::TGXExceptionArg::Object("TRRPanel"), gx::TGXExceptionArg(operation), gx::TGXExceptionArg(reason)});
}

}  // namespace

TRRHeightFileKind RRHeightFileKindOf(const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  return ext == ".png" || ext == ".bmp" || ext == ".jpg" || ext == ".jpeg" ? TRRHeightFileKind::Picture
                                                                           : TRRHeightFileKind::Text;
}

TRRHeightExportFormat RRHeightExportFormatOf(const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  if (ext == ".png") return TRRHeightExportFormat::Png;
  if (ext == ".bmp") return TRRHeightExportFormat::Bmp;
  return TRRHeightExportFormat::Text;
}

int64_t RRHeightImportOrigin(double originCm, uint32_t grid) {
  if (grid == 0 || !std::isfinite(originCm)) return 0;
  const double v = std::nearbyint(originCm / double(grid));
  return static_cast<int64_t>(std::clamp(v, double(std::numeric_limits<int32_t>::min()),
                                         double(std::numeric_limits<int32_t>::max())));
}

float RRClampImportHeight(double value) {
  if (!std::isfinite(value)) return 0.0f;
  return static_cast<float>(std::clamp(value, double(RRHeightImportMin), double(RRHeightImportMax)));
}

TRRHeightFile RRReadHeightFile(std::span<const uint8_t> data, TRRHeightFileKind kind) {
  TRRHeightFile file;
  file.Kind = kind;
  if (kind == TRRHeightFileKind::Picture) {
    try {
      file.Picture = gx::GXReadImage(data);
    } catch (const std::exception& e) {
      Fail("ImportHeightsFromBitmap", std::string(RRTextHeightFileNotLoaded) + " (" + e.what() + ")");
    }
    if (file.Picture.Width == 0 || file.Picture.Height == 0)
      Fail("ImportHeightsFromBitmap", RRTextHeightFileNotLoaded);
    return file;
  }
  size_t start = 0;
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    file.Lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return file;
}

void RRImportPanelHeights(TRRPanel& panel, const TRRHeightFile& file, float low, float high, int64_t originX,
                          int64_t originY) {
  panel.ResetHeights();
  if (file.Kind == TRRHeightFileKind::Picture)
    panel.ImportHeightsFromBitmap(file.Picture, originX, high, low, originY);
  else
    panel.ImportHeightsFromText(file.Lines, originX, originY);
  panel.UpdateBounds();
  panel.FinishEdit();
}

std::vector<uint8_t> RRExportPanelHeights(const TRRPanel& panel, TRRHeightExportFormat format, float& lowest,
                                          float& highest) {
  panel.HeightRange(lowest, highest);
  if (format == TRRHeightExportFormat::Text) {
    std::vector<std::string> lines;
    if (!panel.ExportHeightsToText(lines)) Fail("ExportHeightsToText", "no partitions");
    std::vector<uint8_t> out;
    for (const std::string& line : lines) {
      out.insert(out.end(), line.begin(), line.end());
      out.push_back('\r');
      out.push_back('\n');
    }
    return out;
  }
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> grey;
  if (!panel.ExportHeightsToBitmap(width, height, grey, lowest, highest))
    Fail("ExportHeightsToBitmap", "no partitions");
  std::vector<uint8_t> out;
  if (format == TRRHeightExportFormat::Png) {
    out = RREncodePngGrey(width, height, grey);
  } else {
    std::vector<uint32_t> pixels(grey.size());
    for (size_t i = 0; i < grey.size(); ++i) pixels[i] = 0xFF000000u | uint32_t(grey[i]) * 0x010101u;
    out = RREncodeBmp(width, height, pixels);
  }
  if (out.empty()) Fail("ExportHeightsToBitmap", "encoding failed");
  return out;
}

}  // namespace rr
