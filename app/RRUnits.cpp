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

std::optional<double> RRParseDecimal(std::string_view text, const std::string& separator, std::string_view unit) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!unit.empty() && text.size() > unit.size() && text.ends_with(unit)) {
    text.remove_suffix(unit.size());
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  }
  std::string plain;
  bool negative = false, digits = false, mark = false;
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  while (i < text.size()) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      plain += c;
      digits = true;
      ++i;
    } else if (!mark && (c == '.' || c == ',')) {
      plain += '.';
      mark = true;
      ++i;
    } else if (!mark && !separator.empty() && text.substr(i).starts_with(separator)) {
      plain += '.';
      mark = true;
      i += separator.size();
    } else if ((c == 'e' || c == 'E') && digits && i + 1 < text.size()) {
      // An exponent: what follows must be a signed integer.
      plain += 'e';
      ++i;
      if (text[i] == '-' || text[i] == '+') plain += text[i++];
      if (i >= text.size()) return std::nullopt;
      for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        plain += text[i];
      }
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  double value = 0;
  const auto r = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (r.ec != std::errc() || r.ptr != plain.data() + plain.size() || !std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
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
