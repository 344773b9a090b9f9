#include "app/RRUnits.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>

namespace rr {

std::string RRDecimalSeparator() {
  const std::lconv* lc = std::localeconv();
  return lc && lc->decimal_point && *lc->decimal_point ? lc->decimal_point : ".";
}

std::string RRFormatDecimal(double value, int decimals, const std::string& separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (decimals < 0) decimals = 0;
  // d.dddddddddddddde+XX: 15 significant digits, independent of the locale.
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  std::string text(buf, r.ptr);
  size_t e = text.find('e');
  std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
  int exponent = std::atoi(text.c_str() + e + 1);
  // digits stand for 0.d1d2... x 10^(pointPos): pointPos digits before the decimal point.
  int pointPos = exponent + 1;
  int keep = pointPos + decimals;
  if (keep < 0) {
    digits.clear();
  } else if (keep < static_cast<int>(digits.size())) {
    bool roundUp = digits[keep] >= '5';
    digits.resize(keep);
    for (int i = keep - 1; roundUp && i >= 0; --i) {
      if (digits[i] == '9') {
        digits[i] = '0';
      } else {
        ++digits[i];
        roundUp = false;
      }
    }
    if (roundUp) {
      digits.insert(digits.begin(), '1');
      ++pointPos;
    }
  }
  // Lay the digits out around the point.
  std::string integerPart, fraction;
  for (int i = 0; i < pointPos; ++i) integerPart += i < static_cast<int>(digits.size()) ? digits[i] : '0';
  // A point left of the digits puts zeros between them.
  for (int i = pointPos; i < static_cast<int>(digits.size()); ++i) fraction += i >= 0 ? digits[i] : '0';
  if (static_cast<int>(fraction.size()) > decimals) fraction.resize(decimals);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  size_t nonZero = integerPart.find_first_not_of('0');
  integerPart = nonZero == std::string::npos ? "0" : integerPart.substr(nonZero);
  bool zero = integerPart == "0" && fraction.empty();
  std::string out = (value < 0 && !zero) ? "-" : "";
  out += integerPart;
  if (!fraction.empty()) out += separator + fraction;
  return out;
}

std::string RRFormatNumber(double value) { return RRFormatDecimal(value, 3, RRDecimalSeparator()); }

std::string RRThousandsSeparator() {
  const std::lconv* lc = std::localeconv();
  return lc && lc->thousands_sep && *lc->thousands_sep ? lc->thousands_sep : ".";
}

std::string RRFormatInteger(uint64_t value, const std::string& separator) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string RRFormatInteger(uint64_t value) { return RRFormatInteger(value, RRThousandsSeparator()); }

}  // namespace rr
