#pragma once
// What the event window shows for a condition or an action: one row per field it lets the user
// set, with its caption, how it is edited (an entity picked from the layout, a list of options,
// a number, a check box, a countdown name) and how it reads and writes the field. The rows are
// built for one condition or action at a time and refer to it; build them again after a change
// that alters the rows (another track has other routes).

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace rr {

class TRRAction;
class TRRCondition;
class TRREntity;
class TRREntityManager;
class TRREventManager;

enum class TEventPropertyKind {
  Entity,     // an entity of one kind, picked in "Selektieren"; -1 is the placeholder
  Choice,     // one of Options
  Number,     // a decimal number in a unit (display value = stored value x Factor)
  Check,      // a flag
  Countdown,  // a countdown name from the names in use (FreeText: a new one may be typed)
};

struct TEventProperty {
  TEventPropertyKind Kind = TEventPropertyKind::Choice;
  std::string Caption;
  // Entity: which entities may be picked, and the text for -1 ("Alle Loks"; empty: "Leer").
  std::function<bool(const TRREntity&)> Accepts;
  std::string Placeholder;
  // Choice: captions with the values they write. Countdown: the names offered.
  std::vector<std::pair<std::string, int32_t>> Options;
  std::vector<std::string> Names;
  bool FreeText = false;
  // Number: the range in display units, the unit label and the display factor.
  double Min = 0, Max = 0, Factor = 1;
  std::string Unit;
  // Changing the value changes the rows (the list of a track's routes).
  bool Rebuilds = false;
  // Entity, Choice and Check (0/1).
  std::function<int32_t()> GetInt;
  std::function<void(int32_t)> SetInt;
  // Number (stored units).
  std::function<double()> GetNumber;
  std::function<void(double)> SetNumber;
  // Countdown.
  std::function<std::string()> GetText;
  std::function<void(const std::string&)> SetText;
};

// Where the rows take their choices from: the layout's entities (null: none), the events being
// edited (for the event lists and countdown names) and the user's length unit.
struct TEventPropertyContext {
  const TRREntityManager* Entities = nullptr;
  const TRREventManager* Events = nullptr;
  std::string LengthUnit = "cm";
  double LengthFactor = 1;
};

std::vector<TEventProperty> RRConditionProperties(TRRCondition& condition, const TEventPropertyContext& context);
std::vector<TEventProperty> RRActionProperties(TRRAction& action, const TEventPropertyContext& context);

// The option shown for value: the one carrying it; otherwise, for lists that start with "any"
// (-1), value + 1 held within the list; otherwise none (-1), as for an empty list.
int RRChoiceIndex(const TEventProperty& property, int32_t value);
// The entities a property accepts, by name (equal names by ID).
std::vector<const TRREntity*> RRPropertyEntities(const TEventProperty& property, const TRREntityManager* entities);
// What an entity button shows: the entity's name, "[placeholder]" for -1 (or "[Leer]"), or
// "[Leer]" for an ID no entity of the kind has.
std::string RRPropertyEntityText(const TEventProperty& property, int32_t id, const TRREntityManager* entities);
// A typed number in display units: "," or "." as decimal mark; nothing for text that is no
// finite number. The result is held within the property's range.
bool RRParsePropertyNumber(const TEventProperty& property, const std::string& text, double& stored);

}  // namespace rr
