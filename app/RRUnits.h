#pragma once
// The user's display units. Internally lengths are centimetres and angles radians; the user sees
// and types them in the unit chosen in the settings. Display values are formatted like the
// pattern "0.##": at most the unit's number of decimals, no trailing zeros, at least one digit
// before the decimal separator, which is the one of the process's number format.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rr {

struct TRRDisplayUnit {
  const char* Name;  // display suffix
  float Factor;      // display value = internal value x factor
  int Decimals;      // decimals shown at most
};

inline constexpr int RRLengthUnitCount = 5;
inline constexpr int RRAngleUnitCount = 2;
inline constexpr TRRDisplayUnit RRLengthUnits[RRLengthUnitCount] = {
    {"mm", 10.0f, 2}, {"cm", 1.0f, 3}, {"dm", 0.1f, 4}, {"m", 0.01f, 5}, {"\"", 0.3937008f, 4}};
inline constexpr TRRDisplayUnit RRAngleUnits[RRAngleUnitCount] = {{"°", 57.29578f, 2}, {"rad", 1.0f, 3}};

// The decimal separator of the process's number format (LC_NUMERIC), "." in the C locale.
std::string RRDecimalSeparator();
// value rounded half away from zero to at most `decimals` decimals (taken from its 15
// significant digits, so 0.125 gives "0.13" and binary noise does not count), trailing zeros
// removed; "-0" is written "0".
std::string RRFormatDecimal(double value, int decimals, const std::string& separator);
// A number the user typed: optional sign, digits and one decimal mark, which may be the
// separator given, a point or a comma (no thousands grouping), surrounded by blanks and
// optionally followed by the unit suffix given ("12,5 cm"). None for anything else, for an
// empty text and for values that are not finite ("inf", "1e999").
std::optional<double> RRParseDecimal(std::string_view text, const std::string& separator,
                                     std::string_view unit = {});
// A plain number without unit: "0.###" with the process's separator.
std::string RRFormatNumber(double value);
// The thousands separator of the process's number format, "." where it names none (the C locale).
std::string RRThousandsSeparator();
// value with its digits grouped by thousands: "1.234.567".
std::string RRFormatInteger(uint64_t value, const std::string& separator);
std::string RRFormatInteger(uint64_t value);

}  // namespace rr
