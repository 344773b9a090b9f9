#include "app/entities/panel/RRPanelRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/entities/panel/RRPanelTexture.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

// One texture scale step of the bar, relative to the built-in scale.
constexpr float kScaleBarStep = 0.05f;
constexpr float kBuiltInScale = RRPanelDefaultTextureScale;

float ClampFinite(double v, float lo, float hi) {
  if (!(v >= lo)) return lo;  // also NaN
  if (v > hi) return hi;
  return static_cast<float>(v);
}

std::string FileNamePart(const std::string& path) {
  size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TRRBrushSettings RRHeightPageDefaults() { return {10.0f, 0.25f, 1.0f, RRBrushCircle}; }
TRRBrushSettings RRTexturePageDefaults() { return {10.0f, 0.75f, 1.0f, RRBrushCircle}; }

std::optional<double> RRParseUserNumber(const std::string& text) {
  std::string s(gx::TrimText(text));
  if (s.empty()) return std::nullopt;
  const std::string sep = RRDecimalSeparator();
  if (sep != "." && sep != ",") {
    size_t at = s.find(sep);
    if (at != std::string::npos) s.replace(at, sep.size(), ".");
  }
  std::replace(s.begin(), s.end(), ',', '.');
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (*first == '+') ++first;  // from_chars takes no plus sign
  double value = 0;
  auto r = std::from_chars(first, last, value, std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != last || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string RRFormatLength(double centimetres, const TRRDisplayUnit& unit) {
  return RRFormatDecimal(centimetres * unit.Factor, unit.Decimals, RRDecimalSeparator());
}

float RRBrushSizeFromText(const std::string& text, const TRRDisplayUnit& unit, float previous) {
  std::optional<double> v = RRParseUserNumber(text);
  if (!v) return previous;
  return ClampFinite(*v / unit.Factor, RRBrushSizeMin, RRBrushSizeMax);
}

float RRBrushSizeStep(const std::string& text, const TRRDisplayUnit& unit, float stored, bool up) {
  std::optional<double> v = RRParseUserNumber(text);
  double size = v ? *v / unit.Factor : stored;
  size += up ? 1.0 : -1.0;
  return ClampFinite(size, RRBrushSizeMin, RRBrushSizeMax);
}

float RRBrushGradientFromText(const std::string& text, float previous) {
  std::optional<double> v = RRParseUserNumber(text);
  if (!v) return previous;
  return ClampFinite(*v * 0.01, 0.0f, 1.0f);
}

float RRBrushOpacityFromText(const std::string& text, float previous) {
  std::optional<double> v = RRParseUserNumber(text);
  if (!v) return previous;
  return ClampFinite(*v * 0.01, RRBrushOpacityMin, 1.0f);
}

int32_t RRRoundHalfEven(double value) {
  if (!std::isfinite(value)) return 0;
  if (value > 2147483647.0) return INT32_MAX;
  if (value < -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(std::nearbyint(value));  // the default rounding mode: halves to even
}

int RRGradientUpDownPosition(float gradient) { return std::clamp(RRRoundHalfEven(gradient * 100.0), 0, 100); }

std::optional<float> RRMarkedHeightFromText(const std::string& text, const TRRDisplayUnit& unit) {
  std::optional<double> v = RRParseUserNumber(text);
  if (!v) return std::nullopt;
  return ClampFinite(*v / unit.Factor, 0.0f, RRMarkedHeightMax);
}

std::optional<float> RRThicknessFromText(const std::string& text, const TRRDisplayUnit& unit) {
  std::optional<double> v = RRParseUserNumber(text);
  if (!v) return std::nullopt;
  return ClampFinite(*v / unit.Factor, RRPanelThicknessMin, RRPanelThicknessMax);
}

bool RRIsBuiltInPanelTexture(const TRRAssetFileName& name) {
  const std::string folder = RRPanelTextureFolder;
  const std::string& rel = name.RelativeName;
  if (rel.size() <= folder.size() || !gx::SameText(std::string_view(rel).substr(0, folder.size()), folder))
    return false;
  std::string_view file = std::string_view(rel).substr(folder.size());
  for (const char* builtIn : RRPanelBuiltInTextureNames)
    if (gx::SameText(file, builtIn)) return true;
  return false;
}

std::vector<TRRTexturePageItem> RRTexturePageItems(const std::vector<TRRAssetFileName>& textures) {
  std::vector<TRRTexturePageItem> builtIns, users;
  for (size_t i = 0; i < textures.size(); ++i) {
    bool duplicate = false;
    for (size_t j = 0; j < i && !duplicate; ++j) duplicate = textures[j].SameFile(textures[i]);
    if (duplicate) continue;
    const TRRAssetFileName& t = textures[i];
    TRRTexturePageItem item;
    item.Name = FileNamePart(t.RelativeName.empty() ? t.FileName : t.RelativeName);
    item.Index = static_cast<int32_t>(i);
    item.BuiltIn = RRIsBuiltInPanelTexture(t);
    item.CanDelete = !item.BuiltIn;
    item.FirstUserItem = false;
    (item.BuiltIn ? builtIns : users).push_back(std::move(item));
  }
  auto byName = [](const TRRTexturePageItem& a, const TRRTexturePageItem& b) {
    return gx::CompareText(a.Name, b.Name) < 0;
  };
  std::stable_sort(builtIns.begin(), builtIns.end(), byName);
  std::stable_sort(users.begin(), users.end(), byName);
  if (!users.empty()) users.front().FirstUserItem = true;
  builtIns.insert(builtIns.end(), std::make_move_iterator(users.begin()),
                  std::make_move_iterator(users.end()));
  return builtIns;
}

int RRTexturePageSelection(const std::vector<TRRTexturePageItem>& items, const std::string& remembered) {
  if (items.empty()) return -1;
  for (size_t i = 0; i < items.size(); ++i)
    if (gx::SameText(items[i].Name, remembered)) return static_cast<int>(i);
  return 0;
}

int RRTextureScaleBarPosition(float scale) {
  return std::clamp(RRRoundHalfEven(scale / kBuiltInScale / kScaleBarStep), 0, 100);
}

float RRTextureScaleFromBar(int position) { return position * kScaleBarStep * kBuiltInScale; }

std::string RRTextureScaleLabel(int position) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "x %.1f", position * kScaleBarStep);
  return buf;
}

TRRCropRect RRThumbnailCrop(int32_t width, int32_t height, int32_t targetWidth, int32_t targetHeight) {
  TRRCropRect r;
  if (width <= 0 || height <= 0 || targetWidth <= 0 || targetHeight <= 0) return r;
  const double a = static_cast<double>(width) / height;
  const double t = static_cast<double>(targetWidth) / targetHeight;
  if (a > t) {
    r.Height = height;
    r.Width = std::clamp<int64_t>(RRRoundHalfEven(t * height), 1, width);
  } else {
    r.Width = width;
    r.Height = std::clamp<int64_t>(RRRoundHalfEven(width / t), 1, height);
  }
  r.X = (width - r.Width) / 2;
  r.Y = (height - r.Height) / 2;
  return r;
}

}  // namespace rr
