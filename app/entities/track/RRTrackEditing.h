#pragma once
// The custom track editor without its window: the values a user types for a track of their own
// (TRRTrackEditorValues), the track description built from them, the replacement of the placed
// track, and the entry in the user's own catalogue package.
//
// Values are typed in the user's length and angle units; world lengths are centimetres, angles
// radians. Every route is clamped so that the track stays buildable: lengths to 200, an arc to
// 200 along its curve (|Angle| x |Radius|, the sign of the radius kept, so left curves are held
// too), turntables to 20..128 track scales across.
//
// The editor replaces the track in place under its ID: snapshot, free, create from the new
// description under the same ID and parent, one command; events that refer to the track keep
// referring to it. The layout holds the whole description, so it loads where the user package
// is missing.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/entities/RRAssetFileName.h"
#include "app/entities/track/RRTrack.h"

namespace rr {

class TRRDatabase;
class TRREntityDescriptionList;
class TRREntityManager;

inline constexpr const char* RRTextTrackEditorCaption = "Gleiseditor";
inline constexpr const char* RRTextTrackEditorHint = "Geben Sie die Eigenschaften für das Gleis an.";
inline constexpr const char* RRTextTrackEditorLengthsAndAngles = "Längen in %s, Winkel in %s";
inline constexpr const char* RRTextTrackEditorLengths = "Längen in %s";
inline constexpr const char* RRTextTrackEditorNotBuildable = "Aus diesen Angaben lässt sich kein Gleis bauen.";
// The user package the editor's tracks go into, in the User root's "Pakete" folder.
inline constexpr const char* RRUserTrackPackageName = "Eigene Gleise";
inline constexpr const char* RRUserTrackPackageDescription = "Im Gleiseditor erstellte Gleise.";

// ---- layout of the value rows ----

enum class TRRTrackEditorRowKind : uint8_t { Straight, Curve, Flexible, Switch, Turntable };

// Columns of a switch row, in the order they are shown; other kinds use a prefix of their own
// (see RRTrackEditorLayout).
enum TRRTrackEditorColumn : int { ColStart = 0, ColLength1 = 1, ColRadius = 2, ColAngle = 3, ColLength2 = 4 };
inline constexpr int RRTrackEditorColumns = 5;

struct TRRTrackEditorLayout {
  int Routes;  // routes the type builds
  int Rows;    // value rows shown ("Spur 1:" ...)
  TRRTrackEditorRowKind Kind;
  bool CrossAngle;  // "Kreuzwinkel:" shown
  // Captions of the value columns shown, in order; which field each one is comes from Fields.
  std::vector<const char*> Captions;
  std::vector<TRRTrackEditorColumn> Fields;
};
const TRRTrackEditorLayout& RRTrackEditorLayout(TRRTrackType type);

// ---- values ----

struct TRRTrackEditorValues {
  TRRTrackType Type = TRRTrackType::Straight;
  int Gauge = 3;  // index into the track-system table
  std::string Name, DescriptionText, Manufacturer, System;
  TRRAssetFileName Texture{RRDefaultTrackTextureName, RRDefaultTrackTexturePath};
  bool HasBed = true;
  // Typed texts by row and column (TRRTrackEditorColumn); unused cells are ignored.
  std::vector<std::array<std::string, RRTrackEditorColumns>> Rows;
  std::string CrossAngle;
  int LengthUnit = 0;  // index into RRLengthUnits
  int AngleUnit = 0;   // index into RRAngleUnits

  // The values a description shows (its texts, its routes in the units given).
  static TRRTrackEditorValues FromDescription(const TRRTrackDesc& description, int lengthUnit, int angleUnit);
  // Lays out the rows for another type: rows that stay keep their texts.
  void SetType(TRRTrackType type);
};

// A typed number: ',' or '.' as decimal separator, blanks around it ignored. Text that is not a
// number, and numbers that are not finite ("inf", "nan", "1e999"), read as 0.
double RRReadEditorNumber(std::string_view text);
// "Längen in mm, Winkel in °" for the switch kinds, "Längen in mm" for the others.
std::string RRTrackEditorAnnotation(TRRTrackType type, int lengthUnit, int angleUnit);

// ---- building ----

// The description the values make (a fresh asset identifier; the other base fields, the active
// route - clamped to the new routes - and, for buffer stops and turntables, the models from start
// when it has the same type, else from the first description of that type in catalogue).
std::unique_ptr<TRRTrackDesc> RRBuildTrackDescription(const TRRTrackEditorValues& values,
                                                      const TRRTrackDesc& start,
                                                      const TRREntityDescriptionList* catalogue);

// The same, tried out on a track that is made and thrown away: the description, or null and the
// reason when the values do not make a track (the preview then shows nothing and OK stays off).
struct TRRTrackEditorResult {
  std::unique_ptr<TRRTrackDesc> Description;
  std::string Problem;
};
TRRTrackEditorResult RRTryBuildTrack(const TRRTrackEditorValues& values, const TRRTrackDesc& start,
                                     const TRREntityDescriptionList* catalogue);

// Replaces track by a track made from description under the same ID and parent, selects it and
// records one command (when the project has a history). When the new track cannot be made the
// old one is made again from its snapshot and the error is raised. Returns the new track.
TRRTrack* RRReplaceTrack(TRREntityManager& manager, TRRTrack& track, const TRRTrackDesc& description);

// Puts a copy of description into the user package "Eigene Gleise" (packageFile; made on first
// use, whereupon watchFolder is called with its folder) at "Gleise\<manufacturer>\<gauge>\<system>"
// under its name, unless an entry with the same catalogue key is there already. The package is
// written with the other catalogue changes. Returns the entry (the old one when it was there).
TRREntityDescription* RRAddUserTrack(TRRDatabase& db, const std::string& packageFile, const TRRTrackDesc& description,
                                     const std::function<void(const std::string& folder)>& watchFolder);

}  // namespace rr
