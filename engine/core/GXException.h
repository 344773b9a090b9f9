#pragma once
// The engine's exceptions. Every failure carries an argument list - by convention the raising
// object, the operation, a reason and, for device calls, the result code - and produces the
// message "Exception <class> raised with args: <arguments>".

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace gx {

// One argument of an exception. Objects are represented by their class name, which is what the
// message shows for them.
class TGXExceptionArg {
 public:
  enum class Kind { Text, Integer, Float, Boolean, Object };

  TGXExceptionArg(const char* text) : FKind(Kind::Text), FText(text ? text : "") {}
  TGXExceptionArg(std::string text) : FKind(Kind::Text), FText(std::move(text)) {}
  TGXExceptionArg(std::string_view text) : FKind(Kind::Text), FText(text) {}
  TGXExceptionArg(int value) : FKind(Kind::Integer), FInteger(value) {}
  TGXExceptionArg(unsigned value) : FKind(Kind::Integer), FInteger(value) {}
  TGXExceptionArg(long value) : FKind(Kind::Integer), FInteger(value) {}
  TGXExceptionArg(long long value) : FKind(Kind::Integer), FInteger(value) {}
  TGXExceptionArg(unsigned long value) : FKind(Kind::Integer), FInteger(static_cast<long long>(value)) {}
  TGXExceptionArg(double value) : FKind(Kind::Float), FFloat(value) {}
  TGXExceptionArg(bool value) : FKind(Kind::Boolean), FInteger(value ? 1 : 0) {}

  // An object argument: the raising object, shown by its class name.
  static TGXExceptionArg Object(std::string className) {
    TGXExceptionArg a(std::move(className));
    a.FKind = Kind::Object;
    return a;
  }

  Kind GetKind() const { return FKind; }
  const std::string& Text() const { return FText; }
  long long Integer() const { return FInteger; }
  double Float() const { return FFloat; }

  // The argument as the message shows it.
  std::string Format() const;

 private:
  Kind FKind;
  std::string FText;
  long long FInteger = 0;
  double FFloat = 0;
};

using TGXExceptionArgs = std::vector<TGXExceptionArg>;

// Joins the arguments as the message shows them ("TGXMeshSerializer, ReadFileHeader, Wrong guid").
std::string FormatExceptionArgs(const TGXExceptionArgs& args);

class EGXException : public std::runtime_error {
 public:
  explicit EGXException(TGXExceptionArgs args) : EGXException("EGXException", std::move(args)) {}
  virtual ~EGXException() = default;

  const TGXExceptionArgs& Args() const { return FArgs; }
  const std::string& ClassName() const { return FClassName; }

 protected:
  EGXException(std::string className, TGXExceptionArgs args);

 private:
  std::string FClassName;
  TGXExceptionArgs FArgs;
};

#define GX_DECLARE_EXCEPTION(Name, Base)                                          \
  class Name : public Base {                                                      \
   public:                                                                        \
    explicit Name(TGXExceptionArgs args) : Base(#Name, std::move(args)) {}        \
                                                                                  \
   protected:                                                                     \
    Name(std::string className, TGXExceptionArgs args)                            \
        : Base(std::move(className), std::move(args)) {}                          \
  };

GX_DECLARE_EXCEPTION(EInvalidParameter, EGXException)
GX_DECLARE_EXCEPTION(EInvalidCall, EGXException)
GX_DECLARE_EXCEPTION(EDirectX, EGXException)
GX_DECLARE_EXCEPTION(EDirect3D, EDirectX)
GX_DECLARE_EXCEPTION(EDirectSound, EDirectX)
GX_DECLARE_EXCEPTION(EUnknownModel, EGXException)
GX_DECLARE_EXCEPTION(EInvalid32BitModel, EGXException)

// A violated internal invariant: "Assertion fehlges" with the source path and line.
class EGXAssertion : public std::logic_error {
 public:
  EGXAssertion(const std::string& file, int line);
  const std::string& File() const { return FFile; }
  int Line() const { return FLine; }

 private:
  std::string FFile;
  int FLine;
};

[[noreturn]] void GXAssertionFailed(const char* file, int line);

}  // namespace gx

// Checks an internal invariant in every build type (not only in debug builds): a broken
// invariant must surface as a reported failure, never as silent corruption.
#define GX_ASSERT(cond)                                 \
  do {                                                  \
    if (!(cond)) ::gx::GXAssertionFailed(__FILE__, __LINE__); \
  } while (0)
