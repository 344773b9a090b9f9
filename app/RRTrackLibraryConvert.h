#pragma once
// Conversion of the definitions of an XTrackCAD parameter file (RRTrackLibrary.h) into catalogue
// track descriptions (TRRTrackDesc) that lay in 3D exactly as the manufacturer's pieces.
//
// Every path of a definition (a run of track segments between two end points) becomes one route:
// a straight lead-in, one arc and a straight lead-out, fitted so that the route starts and ends
// exactly at the definition's end points, in their directions (the segments give the shape: which
// radius, which way it bends, which part is straight; they must agree with the end points within
// RRTrackLibraryShapeTolerance). A path that a route cannot follow exactly (two arcs of different
// radii, an S curve, a transition curve, a kink) is refused with its reason, never approximated.
//
// The piece's frame is that of its first route (start at the origin, leaving along +Z); the other
// routes are placed by the route transform (a shift along their start direction and a turn about
// the first route's midpoint), which holds every route that starts where the first one starts
// (switches), crosses the first one's midpoint on its start line (crossings, double slips) or is
// a stub through the middle (turntables). Other arrangements are refused.
//
// The type follows from the routes and end points: one route with two end points is a straight,
// curve or (a straight named "flex") flexible track, one route with one open end a buffer stop;
// routes sharing their start make a switch (two) or a three-way switch (three); two routes with
// four ends that cross are a crossing, three or four routes joining the ends of two crossing
// ones a double slip; three or more straight routes of one length through one midpoint a
// turntable. The gauge comes from the scale: Z, N, TT, HO and OO (H0), O (0), 1 and G directly;
// any other scale by its track width (from the file's SCALE lines or the format's usual scales)
// when one gauge of the table has it, else the definition is refused.
//
// Axes: the format's x (east) is our X and its y (north) our Z; its angles (0 = north, clockwise)
// are our headings (0 = +Z, towards +X). Inches become world units (centimetres).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/RRTrackLibrary.h"
#include "app/entities/track/RRTrack.h"

namespace rr {

// How far (inches) a definition's segments may disagree with its end points: the gap at a joint
// between two segments, the distance of a path's end from its end point and the difference
// between the fitted route and the segments' lengths and radius (1 mm).
inline constexpr double RRTrackLibraryShapeTolerance = 1.0 / 25.4;
// Directions of segments at a joint and at the end points may differ by this (degrees).
inline constexpr double RRTrackLibraryDirectionTolerance = 5.0;
// What an imported route must meet: its start and end position (cm) and direction (degrees).
inline constexpr double RRTrackLibraryPositionAccuracy = 0.001;
inline constexpr double RRTrackLibraryAngleAccuracy = 0.01;
// The catalogue folder of the track systems.
inline constexpr const char* RRTrackLibraryFolder = "Gleise";

// Why a definition was not imported.
enum class TRRTrackRefusal : uint8_t {
  None,
  Faulty,         // a line could not be read
  Truncated,      // no END
  Scale,          // no gauge for the scale
  NoPaths,        // no path
  BadSegment,     // a path names a segment that does not exist
  Absurd,         // lengths above 100 m, radii below 1 mm, coordinates far out
  Broken,         // a gap between two segments of a path
  Kink,           // two segments of a path meet at an angle
  Easement,       // a transition curve
  SeveralArcs,    // arcs of different radii or bending both ways
  NotAtEndPoint,  // a path does not start or end at an end point
  Direction,      // a path leaves an end point in another direction than the end point's
  Mismatch,       // the segments do not fit the end points
  Placement,      // a route the route transform cannot place
  Arrangement,    // routes and end points that make no known kind of piece
};
inline constexpr int RRTrackRefusalCount = 16;
// A short German label ("Übergangsbogen", ...).
const char* RRTrackRefusalLabel(TRRTrackRefusal refusal);

struct TRRTrackLibraryPiece {
  int Line = 0;
  // The entry name: part number and description.
  std::string Name;
  std::string Manufacturer;
  std::string SystemName;
  // Index into the track-system table, -1 when none.
  int TrackWidth = -1;
  // Null when refused.
  std::unique_ptr<TRRTrackDesc> Description;
  TRRTrackRefusal Refusal = TRRTrackRefusal::None;
  // German, for the user.
  std::string Reason;
};

// The gauge (track-system index) of a scale name, -1 with the reason when there is none.
int RRTrackLibraryGauge(std::string_view scale, const std::vector<TRRTrackLibraryScale>& fileScales,
                        std::string* reason);

// One definition. The description's name, texts, catalogue path and asset identifier are set;
// the path is "Gleise\<manufacturer>\<gauge>\<system>\<name>".
TRRTrackLibraryPiece RRConvertTrackDefinition(const TRRTrackLibraryDefinition& definition,
                                              const TRRTrackLibraryFile& file);
// Every definition of a file, in file order; a name that repeats within one folder gets " (2)",
// " (3)", ... in file order, so converting the same file again gives the same paths.
std::vector<TRRTrackLibraryPiece> RRConvertTrackLibrary(const TRRTrackLibraryFile& file);

}  // namespace rr
