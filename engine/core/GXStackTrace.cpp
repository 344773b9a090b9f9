#include "engine/core/GXStackTrace.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <typeinfo>
#include <unordered_map>

namespace gx {

namespace {

constexpr int kMaxFrames = 48;

struct TThrowRecord {
  std::array<void*, kMaxFrames> Frames;
  int Count = 0;
  void (*Destructor)(void*) = nullptr;
};

// Exceptions may be rethrown and destroyed on other threads (std::exception_ptr), so the table
// is shared and locked. It is created on first use and never destroyed: throws can happen while
// static objects are torn down.
std::mutex& TableLock() {
  static auto* m = new std::mutex;
  return *m;
}
std::unordered_map<const void*, TThrowRecord>& Table() {
  static auto* t = new std::unordered_map<const void*, TThrowRecord>;
  return *t;
}

// Runs when the runtime frees the exception object: forgets its record, then runs the object's
// own destructor.
void DestroyRecorded(void* object) {
  void (*destructor)(void*) = nullptr;
  {
    std::lock_guard<std::mutex> lock(TableLock());
    auto it = Table().find(object);
    if (it != Table().end()) {
      destructor = it->second.Destructor;
      Table().erase(it);
    }
  }
  if (destructor) destructor(object);
}

std::string Demangle(const char* name) {
  int status = 0;
  char* out = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  if (status != 0 || !out) return name;
  std::string s(out);
  std::free(out);
  return s;
}

std::string FrameLine(void* address) {
  // A return address points behind the call; one byte back lies inside the calling function.
  void* inside = static_cast<char*>(address) - 1;
  Dl_info info{};
  char offset[32];
  if (dladdr(inside, &info) && info.dli_fname) {
    std::string module = info.dli_fname;
    size_t slash = module.rfind('/');
    if (slash != std::string::npos) module.erase(0, slash + 1);
    if (info.dli_sname && info.dli_saddr) {
      std::snprintf(offset, sizeof offset, " + 0x%zx",
                    static_cast<size_t>(static_cast<char*>(address) - static_cast<char*>(info.dli_saddr)));
      return Demangle(info.dli_sname) + offset + " [" + module + "]";
    }
    std::snprintf(offset, sizeof offset, "+0x%zx",
                  static_cast<size_t>(static_cast<char*>(address) - static_cast<char*>(info.dli_fbase)));
    return module + offset;
  }
  std::snprintf(offset, sizeof offset, "%p", address);
  return offset;
}

// The symbol a return address falls in, or empty.
std::string SymbolOf(void* address) {
  Dl_info info{};
  if (dladdr(static_cast<char*>(address) - 1, &info) && info.dli_sname) return info.dli_sname;
  return {};
}

// The frames behind the recording function. How many frames the recording adds depends on the
// build (a sanitizer wraps backtrace), so the recording function is recognised by name.
std::vector<std::string> Lines(void* const* frames, int count, const char* ownSymbol) {
  int first = 0;
  for (int i = 0; i < count && i < 8; ++i)
    if (SymbolOf(frames[i]).find(ownSymbol) != std::string::npos) first = i + 1;
  std::vector<std::string> out;
  out.reserve(count - first);
  for (int i = first; i < count; ++i) out.push_back(FrameLine(frames[i]));
  return out;
}

using TCxaThrow = void (*)(void*, std::type_info*, void (*)(void*));

TCxaThrow RealCxaThrow() {
  static std::atomic<TCxaThrow> real{nullptr};
  TCxaThrow f = real.load(std::memory_order_acquire);
  if (!f) {
    f = reinterpret_cast<TCxaThrow>(dlsym(RTLD_NEXT, "__cxa_throw"));
    if (!f) std::abort();
    real.store(f, std::memory_order_release);
  }
  return f;
}

}  // namespace

std::vector<std::string> GXExceptionStackTrace(const std::exception& e) {
  // The record is keyed by the whole thrown object; a reference to a base class may point into
  // its middle.
  const void* object = dynamic_cast<const void*>(&e);
  TThrowRecord copy;
  {
    std::lock_guard<std::mutex> lock(TableLock());
    auto it = Table().find(object);
    if (it == Table().end()) return {};
    copy = it->second;
  }
  return Lines(copy.Frames.data(), copy.Count, "__cxa_throw");
}

std::vector<std::string> GXCurrentStackTrace(int maxFrames) {
  std::array<void*, 128> frames;
  int n = backtrace(frames.data(), std::min<int>(maxFrames + 2, frames.size()));
  auto lines = Lines(frames.data(), n, "GXCurrentStackTrace");
  if (static_cast<int>(lines.size()) > maxFrames) lines.resize(maxFrames);
  return lines;
}

}  // namespace gx

// Every throw passes through here on its way to the C++ runtime. The program's definition takes
// precedence over the runtime's; the runtime's (or a sanitizer's wrapper of it) is found as the
// next definition.
namespace __cxxabiv1 {
namespace {
// Set while a throw is being recorded, so an exception from the recording itself (no memory for
// the table) is not recorded again.
thread_local bool GRecording = false;
}  // namespace

extern "C" void __cxa_throw(void* object, std::type_info* type, void (*destructor)(void*)) {
  if (GRecording) gx::RealCxaThrow()(object, type, destructor);
  gx::TThrowRecord record;
  void* frames[gx::kMaxFrames + 1];
  int n = backtrace(frames, gx::kMaxFrames + 1);
  // The frames of this function are dropped when the stack is read (by name).
  for (int i = 0; i < n && i < gx::kMaxFrames; ++i) record.Frames[record.Count++] = frames[i];
  record.Destructor = destructor;
  GRecording = true;
  try {
    std::lock_guard<std::mutex> lock(gx::TableLock());
    gx::Table()[object] = record;
    destructor = gx::DestroyRecorded;
  } catch (...) {
    // Without memory for the record the exception goes on without its stack.
  }
  GRecording = false;
  gx::RealCxaThrow()(object, type, destructor);
  __builtin_unreachable();
}
}  // namespace __cxxabiv1
