#pragma once
// Reader of XTrackCAD parameter files (".xtp"): the plain-text libraries of commercial track
// systems (sectional track, turnouts, crossings, flexible track) that a user imports into the
// catalogue (RRTrackLibraryConvert.h turns the definitions into track descriptions).
//
// A file is a sequence of lines. Top level:
//   CONTENTS <title>              the library's title (the first one names the file)
//   SUBCONTENTS <title>           a section heading for the definitions that follow
//   TURNOUT <scale> "<title>"     one track definition, up to its END line; the title holds
//                                 manufacturer, description and part number separated by tabs
//   SCALE <name>, <ratio>, <gauge in inches>    a scale the file defines itself
//   STRUCTURE / CARPROTO ... END  buildings and vehicle drawings: skipped as a block
//   CARPART ...                   a vehicle: one line, skipped
//   # ...                         comment
// Inside a definition:
//   U "<kind>" "<source>" "<manufacturer>" "<description>" "<part>" numbers...
//   P "<name>" n n 0 n ...        a path: track segment numbers (1-based, counting only the S, C
//                                 and J lines of the definition), 0 separating paths that are
//                                 driven at the same time (the two tracks of a crossing)
//   E x y angle / T x y angle     an end point and the direction pointing out of the piece
//   S colour width x1 y1 x2 y2    a straight track segment
//   C colour width r cx cy a0 a1  an arc of radius |r| about (cx, cy) from angle a0 over a1
//   J ...                         an easement (transition curve) segment
//   L A F Q G Y Z X B (and L3, A3, ...)  drawing lines with the number lines of polygons: skipped
//   END
// Lengths are inches, angles degrees with 0 = north (+y) and clockwise positive; x grows east.
//
// Text is UTF-8 when the whole file is valid UTF-8, else Windows-1252; every text is UTF-8 in
// memory. Reading is bounded: files above RRMaxTrackLibraryFileSize are refused, lines longer
// than RRMaxTrackLibraryLineLength are skipped (a definition holding one is refused), at most
// RRMaxTrackLibraryDefinitions definitions are kept (the rest is counted), and every list of a
// definition is limited, so no file costs more memory than a small multiple of its size.
// Numbers that are not finite make their definition faulty; nothing raises for bad content.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rr {

inline constexpr int64_t RRMaxTrackLibraryFileSize = int64_t(64) << 20;
inline constexpr size_t RRMaxTrackLibraryLineLength = 64 * 1024;
inline constexpr int RRMaxTrackLibraryDefinitions = 20000;
// End points, segments and paths of one definition, and segment numbers of one path.
inline constexpr int RRMaxTrackLibraryItems = 4096;

// A file that cannot be read at all (missing, a folder, too large, unreadable).
class ETrackLibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TRRTrackLibraryEncoding : uint8_t { Ascii, Utf8, Windows1252 };
const char* RRTrackLibraryEncodingName(TRRTrackLibraryEncoding encoding);

struct TRRTrackLibraryEndPoint {
  double X = 0, Y = 0;
  // Direction out of the piece, degrees clockwise from north.
  double Angle = 0;
  int Line = 0;
};

enum class TRRTrackLibrarySegmentKind : uint8_t { Straight, Curve, Easement };

struct TRRTrackLibrarySegment {
  TRRTrackLibrarySegmentKind Kind = TRRTrackLibrarySegmentKind::Straight;
  // Straight: from (X1, Y1) to (X2, Y2).
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  // Curve: radius as written (its sign only tells the direction the file draws it in), centre,
  // start angle and swept angle (degrees, clockwise from north).
  double Radius = 0, CX = 0, CY = 0, A0 = 0, A1 = 0;
  int Line = 0;
};

struct TRRTrackLibraryPath {
  std::string Name;
  // Segment numbers as written (0 separates simultaneous paths).
  std::vector<int> Segments;
  int Line = 0;
};

struct TRRTrackLibraryDefinition {
  std::string Scale;
  // The title's three parts (a title without tabs is all description).
  std::string Manufacturer, Description, PartNumber;
  // The texts of the U line.
  std::vector<std::string> Info;
  // The CONTENTS and SUBCONTENTS headings in force.
  std::string Contents, SubContents;
  std::vector<TRRTrackLibraryEndPoint> EndPoints;
  std::vector<TRRTrackLibrarySegment> Segments;
  std::vector<TRRTrackLibraryPath> Paths;
  // Line of the TURNOUT line.
  int Line = 0;
  // The END line was found (a definition cut off by the next one or by the end of the file has
  // none).
  bool Ended = false;
  // The first fault found in its lines (German, with the line number); empty when sound.
  std::string Fault;
};

struct TRRTrackLibraryScale {
  std::string Name;
  double Ratio = 0;
  double GaugeInches = 0;
};

// Lines that were not read as track, by kind.
struct TRRTrackLibrarySkipped {
  int Drawing = 0;    // drawing lines and their number lines inside definitions
  int Structure = 0;  // STRUCTURE blocks
  int CarPart = 0;    // CARPART lines
  int CarProto = 0;   // CARPROTO blocks
  int Unknown = 0;    // lines of no known kind
  int TooLong = 0;    // lines above the length limit
  int Beyond = 0;     // definitions past the definition limit
  int Total() const { return Drawing + Structure + CarPart + CarProto + Unknown + TooLong + Beyond; }
};

struct TRRTrackLibraryFile {
  // The name used in messages (the file name as given).
  std::string SourceName;
  TRRTrackLibraryEncoding Encoding = TRRTrackLibraryEncoding::Ascii;
  // The first CONTENTS heading.
  std::string Contents;
  std::vector<TRRTrackLibraryDefinition> Definitions;
  std::vector<TRRTrackLibraryScale> Scales;
  TRRTrackLibrarySkipped Skipped;
  int Lines = 0;
  // What the reader has to say about the file as a whole (German): limits reached.
  std::vector<std::string> Notes;
};

// Reads a file held in memory; never raises for its content.
TRRTrackLibraryFile RRReadTrackLibrary(std::string_view bytes, const std::string& sourceName);
// Reads a file from disk; raises ETrackLibraryError when it cannot be read or is too large.
TRRTrackLibraryFile RRReadTrackLibraryFile(const std::string& path);

}  // namespace rr
