#include "engine/core/GXException.h"

#include <cstdio>

namespace gx {

std::string TGXExceptionArg::Format() const {
  switch (FKind) {
    case Kind::Text:
    case Kind::Object:
      return FText;
    case Kind::Integer:
      return std::to_string(FInteger);
    case Kind::Boolean:
      return FInteger ? "True" : "False";
    case Kind::Float: {
      // Shortest form that reads back to the same value; independent of the C locale.
      char buf[64];
      for (int precision = 6; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, FFloat);
        if (std::strtod(buf, nullptr) == FFloat) break;
      }
      std::string s(buf);
      for (char& c : s)
        if (c == ',') c = '.';
      return s;
    }
  }
  return FText;
}

std::string FormatExceptionArgs(const TGXExceptionArgs& args) {
  std::string out;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) out += ", ";
    out += args[i].Format();
  }
  return out;
}

static std::string ExceptionMessage(const std::string& className, const TGXExceptionArgs& args) {
  return "Exception " + className + " raised with args: " + FormatExceptionArgs(args);
}

EGXException::EGXException(std::string className, TGXExceptionArgs args)
    : std::runtime_error(ExceptionMessage(className, args)),
      FClassName(std::move(className)),
      FArgs(std::move(args)) {}

EGXAssertion::EGXAssertion(const std::string& file, int line)
    : std::logic_error("Assertion fehlges (" + file + ", Zeile " + std::to_string(line) + ")"),
      FFile(file),
      FLine(line) {}

void GXAssertionFailed(const char* file, int line) { throw EGXAssertion(file, line); }

}  // namespace gx
