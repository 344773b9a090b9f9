#pragma once
// Height files of a panel: grey pictures (PNG, BMP, JPEG; one grid point per pixel, the blue
// channel's 8 bits) and text files of "x,y,height" lines. The import reads and checks the whole
// file before the panel changes, then resets the heights, imports, and finishes the edit on the
// same panel (same entity, ID, place and links). The export writes an 8-bit grey PNG, a 24-bit
// BMP or the text lines.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/entities/panel/RRPanel.h"
#include "engine/core/GXException.h"

namespace rr {

// "Das angegebene Höhenfeld konnte nicht geladen werden."
inline constexpr const char* RRTextHeightFileNotLoaded =
    "Das angegebene H\u00f6henfeld konnte nicht geladen werden.";
inline constexpr const char* RRTextHeightFileInvalidCaption = "Ung\u00fcltiges H\u00f6henfeld";
// "Höhenfeld erfolgreich nach " + file + " exportiert."
inline constexpr const char* RRTextHeightExportDone1 = "H\u00f6henfeld erfolgreich nach ";
inline constexpr const char* RRTextHeightExportDone2 = " exportiert.";
// "Fehler beim Exportieren des Höhenfeldes nach " + file + "."
inline constexpr const char* RRTextHeightExportFailed = "Fehler beim Exportieren des H\u00f6henfeldes nach ";

// Import heights are clamped to this range (cm).
inline constexpr float RRHeightImportMin = 0.0f;
inline constexpr float RRHeightImportMax = 10000.0f;

enum class TRRHeightFileKind { Picture, Text };
enum class TRRHeightExportFormat { Png, Bmp, Text };

// By the extension, ignoring case: ".png", ".bmp", ".jpg", ".jpeg" are pictures, anything else text.
TRRHeightFileKind RRHeightFileKindOf(const std::string& fileName);
// ".png" PNG, ".bmp" BMP, anything else text (never JPEG: its losses would change the heights).
TRRHeightExportFormat RRHeightExportFormatOf(const std::string& fileName);
// The grid column (row) an origin in cm starts at: round(origin / grid), halves to the even
// neighbour, clamped to the 32-bit range.
int64_t RRHeightImportOrigin(double originCm, uint32_t grid);
// Clamps a height of the import range to 0 ... 10000 cm (not finite: 0).
float RRClampImportHeight(double value);

// A height file read and checked, ready to go into a panel.
struct TRRHeightFile {
  TRRHeightFileKind Kind = TRRHeightFileKind::Text;
  gx::TGXImage Picture;
  std::vector<std::string> Lines;
};

// Reads the file's bytes by its kind. A picture that does not decode raises EGXException with
// RRTextHeightFileNotLoaded; text is split into lines (LF, CR LF) and needs no valid line.
TRRHeightFile RRReadHeightFile(std::span<const uint8_t> data, TRRHeightFileKind kind);

// Resets the panel's heights, imports the file at the origin (grid points), updates the bounds
// and finishes the edit. low and high span the picture's grey range (ignored for text).
void RRImportPanelHeights(TRRPanel& panel, const TRRHeightFile& file, float low, float high, int64_t originX,
                          int64_t originY);

// The file bytes of the panel's heights in the format, with the height range the greys span
// (pictures). Raises EGXException when the panel has no partitions or encoding fails.
std::vector<uint8_t> RRExportPanelHeights(const TRRPanel& panel, TRRHeightExportFormat format, float& lowest,
                                          float& highest);

}  // namespace rr
