#pragma once
// The rules of the panel's editing pages that do not need a window: the brush settings typed in
// the user's display unit, the new height and thickness edits, the order of the texture page's
// list and the crop of the texture thumbnails. The desktop pages call these and only show the
// results; the command line and the tests call them directly.
//
// Numbers typed by the user are read with "." or the process's decimal separator (a "," is taken
// as a separator too, since the pages show lengths with the system's separator), surrounding
// blanks allowed; anything else, and non-finite values, count as unparsable.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/RRUnits.h"
#include "app/entities/RRAssetFileName.h"

namespace rr {

// Brush shapes of the two pages ("Kreis", "Quadrat", "Horizontal", "Vertikal").
inline constexpr int RRBrushCircle = 0;
inline constexpr int RRBrushSquare = 1;
inline constexpr int RRBrushHorizontal = 2;
inline constexpr int RRBrushVertical = 3;
inline constexpr const char* RRBrushShapeNames[4] = {"Kreis", "Quadrat", "Horizontal", "Vertikal"};

inline constexpr float RRBrushSizeMin = 1.0f;
inline constexpr float RRBrushSizeMax = 1000.0f;
inline constexpr float RRBrushOpacityMin = 0.01f;
inline constexpr float RRMarkedHeightMax = 100.0f;
inline constexpr float RRPanelThicknessMin = 0.1f;
inline constexpr float RRPanelThicknessMax = 100.0f;

// One page's brush: size in cm (the brush radius is half of it), gradient and opacity fractions.
struct TRRBrushSettings {
  float Size = 10.0f;
  float Gradient = 0.25f;
  float Opacity = 1.0f;
  int Shape = RRBrushCircle;
};

// The settings each page starts with in a run (shared by every panel, never saved).
TRRBrushSettings RRHeightPageDefaults();
TRRBrushSettings RRTexturePageDefaults();

// A typed number, or nothing when the text is not one.
std::optional<double> RRParseUserNumber(const std::string& text);

// A length in the display unit: value x factor with at most the unit's decimals ("0.###" for cm).
std::string RRFormatLength(double centimetres, const TRRDisplayUnit& unit);

// Size edit: the typed length / factor clamped to 1 ... 1000 cm; unparsable keeps previous.
float RRBrushSizeFromText(const std::string& text, const TRRDisplayUnit& unit, float previous);
// The size's up/down buttons: the typed length (unparsable: stored) / factor, +1 cm up or -1 cm
// down, clamped like the edit.
float RRBrushSizeStep(const std::string& text, const TRRDisplayUnit& unit, float stored, bool up);
// Gradient edit in percent: 0 ... 1; unparsable keeps previous.
float RRBrushGradientFromText(const std::string& text, float previous);
// Opacity edit in percent: 0.01 ... 1; unparsable keeps previous.
float RRBrushOpacityFromText(const std::string& text, float previous);
// The gradient's up/down position (0 ... 100).
int RRGradientUpDownPosition(float gradient);
// Rounding of the brushes and pages: nearest integer, halves to the even neighbour.
int32_t RRRoundHalfEven(double value);

// The height edit of the height page: the typed length / factor clamped to 0 ... 100 cm, or
// nothing when unparsable.
std::optional<float> RRMarkedHeightFromText(const std::string& text, const TRRDisplayUnit& unit);
// The thickness edit of the panel page: 0.1 ... 100 cm, or nothing when unparsable.
std::optional<float> RRThicknessFromText(const std::string& text, const TRRDisplayUnit& unit);

// ---- texture page ----

// True for one of the twelve built-in ground textures (by the relative path under the base
// package's texture folder, ignoring case). Other textures of the base package count as the
// user's.
bool RRIsBuiltInPanelTexture(const TRRAssetFileName& name);

struct TRRTexturePageItem {
  std::string Name;  // the file-name part of the texture's path
  int32_t Index;     // position in the panel's texture list
  bool BuiltIn;
  bool CanDelete;      // user textures only
  bool FirstUserItem;  // drawn with a line above it
};

// The list of the texture page: every texture-list entry that is the first with its file (equal
// names, TRRAssetFileName::SameFile, are listed once), the built-ins first, then the user's,
// each group sorted by name ignoring case (ties keep the list order).
std::vector<TRRTexturePageItem> RRTexturePageItems(const std::vector<TRRAssetFileName>& textures);
// The item to select: the one whose name equals remembered (ignoring case), else the first; -1
// for an empty list.
int RRTexturePageSelection(const std::vector<TRRTexturePageItem>& items, const std::string& remembered);
// The scale bar's position for a texture scale, and the scale and label for a position.
int RRTextureScaleBarPosition(float scale);
float RRTextureScaleFromBar(int position);
std::string RRTextureScaleLabel(int position);

// ---- thumbnails ----

struct TRRCropRect {
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
};
// The centred part of a width x height picture with the aspect of a targetWidth x targetHeight
// thumbnail: full height and round(t * height) columns when the picture is wider than the
// target, else full width and round(width / t) rows, each clamped to 1 ... the picture's size.
// Empty sizes give an empty rectangle.
TRRCropRect RRThumbnailCrop(int32_t width, int32_t height, int32_t targetWidth, int32_t targetHeight);

}  // namespace rr
