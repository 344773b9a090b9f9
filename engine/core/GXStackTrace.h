#pragma once
// Call stacks for error reports. The report of an unexpected error shows where the exception was
// raised, not where it was caught, so the stack is taken when the exception is thrown: every
// throw in a program that links the engine records the return addresses of its stack (a few
// microseconds), keyed by the exception object and dropped when that object is destroyed.
// Symbols are looked up only when a report asks for them, in the symbol table of each module, so
// local functions and the cold parts of functions show by name too; a module without symbols
// (stripped) shows as module + offset.

#include <exception>
#include <string>
#include <vector>

namespace gx {

// The stack recorded when the exception was thrown, innermost frame first, one demangled line
// per frame ("gx::TGXStream::ReadBuffer(void*, long) + 0x5c [velmora-cli]"); empty when the
// exception was not thrown through the C++ runtime (std::make_exception_ptr) or the object is
// not the thrown one (a copy).
std::vector<std::string> GXExceptionStackTrace(const std::exception& e);
// The stack of the caller, innermost frame first.
std::vector<std::string> GXCurrentStackTrace(int maxFrames = 64);

}  // namespace gx
