#include "engine/core/GXStackTrace.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <typeinfo>
#include <unordered_map>
#include <vector>

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

// ---- symbols ----
//
// Names come from the module's own symbol table: it also names local functions and the cold
// parts GCC splits off functions (where most throws sit), which the dynamic symbols do not.

struct TSymbol {
  uintptr_t Start;
  uintptr_t Size;
  std::string Name;
};

struct TModuleSymbols {
  bool Relative = true;  // addresses count from the load address (shared objects, PIE)
  std::vector<TSymbol> Symbols;  // sorted by Start
};

bool ReadAt(int fd, void* buffer, size_t size, uint64_t offset) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = pread(fd, static_cast<char*>(buffer) + done, size - done, static_cast<off_t>(offset + done));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

TModuleSymbols ReadModuleSymbols(const std::string& path) {
  TModuleSymbols out;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  struct stat st;
  Elf64_Ehdr eh;
  bool ok = fstat(fd, &st) == 0 && ReadAt(fd, &eh, sizeof eh, 0) && std::memcmp(eh.e_ident, ELFMAG, SELFMAG) == 0 &&
            eh.e_ident[EI_CLASS] == ELFCLASS64 && eh.e_shentsize == sizeof(Elf64_Shdr) && eh.e_shnum > 0 &&
            eh.e_shoff + uint64_t(eh.e_shnum) * sizeof(Elf64_Shdr) <= uint64_t(st.st_size);
  std::vector<Elf64_Shdr> sections;
  if (ok) {
    sections.resize(eh.e_shnum);
    ok = ReadAt(fd, sections.data(), sections.size() * sizeof(Elf64_Shdr), eh.e_shoff);
  }
  if (ok) {
    out.Relative = eh.e_type == ET_DYN;
    const Elf64_Shdr* table = nullptr;
    for (const auto& sh : sections)
      if (sh.sh_type == SHT_SYMTAB) table = &sh;
    if (!table)
      for (const auto& sh : sections)
        if (sh.sh_type == SHT_DYNSYM) table = &sh;
    if (table && table->sh_link < sections.size() && table->sh_offset + table->sh_size <= uint64_t(st.st_size)) {
      const Elf64_Shdr& strings = sections[table->sh_link];
      std::vector<Elf64_Sym> syms(table->sh_size / sizeof(Elf64_Sym));
      std::string names(strings.sh_offset + strings.sh_size <= uint64_t(st.st_size) ? strings.sh_size : 0, '\0');
      if (!names.empty() && ReadAt(fd, syms.data(), syms.size() * sizeof(Elf64_Sym), table->sh_offset) &&
          ReadAt(fd, names.data(), names.size(), strings.sh_offset)) {
        for (const auto& sym : syms) {
          if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_value == 0 || sym.st_name >= names.size()) continue;
          out.Symbols.push_back({sym.st_value, sym.st_size ? sym.st_size : 1, names.c_str() + sym.st_name});
        }
        std::sort(out.Symbols.begin(), out.Symbols.end(),
                  [](const TSymbol& a, const TSymbol& b) { return a.Start < b.Start; });
      }
    }
  }
  close(fd);
  return out;
}

// The symbols of a module, read once per module.
const TModuleSymbols& ModuleSymbols(const std::string& path) {
  static auto* lock = new std::mutex;
  static auto* cache = new std::unordered_map<std::string, TModuleSymbols>;
  std::lock_guard<std::mutex> guard(*lock);
  auto it = cache->find(path);
  if (it == cache->end()) it = cache->emplace(path, ReadModuleSymbols(path)).first;
  return it->second;
}

// The function an address lies in: its name and start, if known.
bool FindSymbol(void* address, std::string& name, uintptr_t& start, std::string& module) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return false;
  module = info.dli_fname;
  // The main program may be named relative to a working folder that has changed since.
  std::string path = !module.empty() && module[0] == '/' ? module : "/proc/self/exe";
  size_t slash = module.rfind('/');
  if (slash != std::string::npos) module.erase(0, slash + 1);
  if (module.empty()) module.push_back('?');  // not = "?": GCC 12 warns of an overlap (-Wrestrict) there
  const TModuleSymbols& symbols = ModuleSymbols(path);
  uintptr_t base = symbols.Relative ? reinterpret_cast<uintptr_t>(info.dli_fbase) : 0;
  uintptr_t offset = reinterpret_cast<uintptr_t>(address) - base;
  auto it = std::upper_bound(symbols.Symbols.begin(), symbols.Symbols.end(), offset,
                             [](uintptr_t v, const TSymbol& s) { return v < s.Start; });
  if (it != symbols.Symbols.begin() && offset < std::prev(it)->Start + std::prev(it)->Size) {
    name = std::prev(it)->Name;
    start = std::prev(it)->Start + base;
    return true;
  }
  name.clear();
  start = reinterpret_cast<uintptr_t>(info.dli_fbase);
  return true;
}

std::string FrameLine(void* address) {
  // A return address points behind the call; one byte back lies inside the calling function.
  char* inside = static_cast<char*>(address) - 1;
  std::string name, module;
  uintptr_t start = 0;
  char text[48];
  if (!FindSymbol(inside, name, start, module)) {
    std::snprintf(text, sizeof text, "%p", address);
    return text;
  }
  size_t offset = reinterpret_cast<uintptr_t>(address) - start;
  if (name.empty()) {
    std::snprintf(text, sizeof text, "+0x%zx", offset);
    return module + text;
  }
  std::snprintf(text, sizeof text, " + 0x%zx", offset);
  return Demangle(name.c_str()) + text + " [" + module + "]";
}

// The symbol a return address falls in, or empty.
std::string SymbolOf(void* address) {
  std::string name, module;
  uintptr_t start;
  FindSymbol(static_cast<char*>(address) - 1, name, start, module);
  return name;
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
