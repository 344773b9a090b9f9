#pragma once
// Project files (.vmp). Written with version 12; versions 8 to 12 are read.
//
//   engine file header   0x2305, {C6E7B3C7-D72C-4451-8C41-032323E8F90D}, version
//   thumbnail flag       byte, 1 = a JPEG follows (versions 9 and later)
//   thumbnail size       Integer; 0 or less: no image follows     (only with the flag)
//   thumbnail            that many bytes of a JPEG image
//   three string lists   the track parameters: manufacturers, track widths, track systems, each
//                        an Integer count and that many strings
//   entity section       RREntitySerializer.h
//   event section        the event manager's own section, read with the file's version
//
// A project read runs in two steps: ReadProject takes everything up to the entity section, then
// the project creates its per-project objects and ReadEvents reads the event section, which
// starts exactly behind the entity section's compressed data.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/RREntityIDProcessor.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStream.h"

namespace gx {
class TGXFileSystem;
class TGXNode;
}  // namespace gx

namespace rr {

class TRRDatabase;
class TRRTrackParameters;

inline constexpr const char* RRGuidProjectSerializer = "{C6E7B3C7-D72C-4451-8C41-032323E8F90D}";
inline constexpr int32_t RRProjectVersion = 12;
inline constexpr int32_t RRProjectMinVersion = 8;
inline constexpr int JpegQuality = 90;
// The merge-read version of an event section written in the current form in memory.
inline constexpr int32_t RREventSectionCurrentVersion = 0x7FFFFFFF;


// The event section of a project file: what the serializer and the project need of the event
// manager. LoadFromStream gets the project file's version (or RREventSectionCurrentVersion for
// the current form in memory); merge appends to what is there.
class IRRProjectEventSection : public IRREntityRemapListener {
 public:
  virtual void SaveToStream(gx::TGXStream& s) = 0;
  virtual void LoadFromStream(gx::TGXStream& s, int32_t version, bool merge) = 0;
  // Takes over the events of an imported project file (whose entity references were renumbered).
  virtual void MergeImported(IRRProjectEventSection& imported) {}
  virtual bool IsEntityReferenced(int32_t entityID) const { return false; }
};

// A 24-bit image, rows top-down, three bytes per pixel (red, green, blue).
struct TRRBitmap {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Pixels;
};

// JPEG of the bitmap; empty for an empty bitmap or when encoding fails.
std::vector<uint8_t> RREncodeJpeg(const TRRBitmap& bitmap, int quality = JpegQuality);
// The image of JPEG data; false for data that is not a readable JPEG (never throws).
bool RRDecodeJpeg(const std::vector<uint8_t>& jpeg, TRRBitmap& bitmap);
// PNG of the bitmap (8-bit RGB); empty for an empty bitmap or when encoding fails.
std::vector<uint8_t> RREncodePng(const TRRBitmap& bitmap);
// PNG of width x height pixels 0xAARRGGBB, rows top-down: RGBA with alpha, else RGB. Empty when
// the pixels do not fill the size or encoding fails. The same pixels always give the same bytes.
std::vector<uint8_t> RREncodePng(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels, bool alpha);
// 8-bit grey PNG of width x height values, rows top-down; empty when they do not fill the size.
std::vector<uint8_t> RREncodePngGrey(uint32_t width, uint32_t height, const std::vector<uint8_t>& grey);
// 24-bit BMP (rows bottom-up, padded to four bytes) of width x height pixels 0xAARRGGBB given
// top-down; alpha is dropped. Empty when the pixels do not fill the size or the file would pass
// 2 GiB.
std::vector<uint8_t> RREncodeBmp(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels);

class TRRProjectSerializer : public gx::TGXSerializer {
 public:
  // fileSystem resolves file names (the engine's when null).
  explicit TRRProjectSerializer(gx::TGXStream& stream, gx::TGXFileSystem* fileSystem = nullptr);
  std::string ClassName() const override { return "TRRProjectSerializer"; }

  // Header, thumbnail (flag 0 without bitmap or when encoding fails), the lists, every entity
  // directly below projectNode in child order, the event section (none: an event section must
  // still be written by the caller - events is required for a readable file).
  void WriteProject(const gx::TGXNode& projectNode, const std::string& fileName, const TRRTrackParameters& trackParameters,
                    IRRProjectEventSection& events, const TRRBitmap* thumbnail);
  // The same with the JPEG given directly (a converted file keeps its image).
  void WriteProject(const gx::TGXNode& projectNode, const std::string& fileName, const TRRTrackParameters& trackParameters,
                    IRRProjectEventSection& events, const std::vector<uint8_t>& thumbnailJpeg);
  // Header, thumbnail, the track parameters (added to trackParameters when given, else skipped)
  // and the entity section into list.
  void ReadProject(const std::string& fileName, TRRTrackParameters* trackParameters, TRREntityDescriptionList& list,
                   const TRRDatabase* database = nullptr);
  // The event section behind the entity section (after ReadProject).
  void ReadEvents(IRRProjectEventSection& events);

  bool HasThumbnail() const { return !FThumbnail.empty(); }
  const std::vector<uint8_t>& Thumbnail() const { return FThumbnail; }
  // Where the event section starts (after ReadProject).
  int64_t EventSectionPosition() const { return FEventPosition; }

 private:
  void WriteLists(const TRRTrackParameters& trackParameters);

  gx::TGXStream& FStream;
  gx::TGXFileSystem* FFileSystem;
  std::vector<uint8_t> FThumbnail;
  int64_t FEventPosition = -1;
};

// The thumbnail a project file carries (empty when it has none): the header and entity section
// are read and checked as by a load, so a damaged file raises. Commands that write a layout anew
// keep its picture with it.
std::vector<uint8_t> RRReadProjectThumbnail(gx::TGXFileSystem& fs, const std::string& fileName);

}  // namespace rr
