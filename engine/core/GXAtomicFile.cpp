#include "engine/core/GXAtomicFile.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/core/GXException.h"

namespace gx {

// One registered temporary file name. Slots are never freed, only reused, so the signal handler
// can walk the list at any moment without locks.
struct TGXTemporaryFileSlot {
  enum : int { Free = 0, Writing = 1, Armed = 2 };
  std::atomic<int> State{Writing};
  char Path[PATH_MAX] = {};
  TGXTemporaryFileSlot* Next = nullptr;
};

namespace {

static_assert(std::atomic<int>::is_always_lock_free &&
                  std::atomic<TGXTemporaryFileSlot*>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

constinit std::atomic<TGXTemporaryFileSlot*> GSlots{nullptr};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RemoveRegisteredFiles() noexcept {
  for (TGXTemporaryFileSlot* s = GSlots.load(std::memory_order_acquire); s; s = s->Next)
    if (s->State.load(std::memory_order_acquire) == TGXTemporaryFileSlot::Armed) unlink(s->Path);
}

extern "C" void GXAtomicFileOnSignal(int signal) {
  int saved = errno;
  RemoveRegisteredFiles();
  // The signal then does what it would have done without us: end the process.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);
  errno = saved;
}

// Takes over only signals that would end the process as they are: a program that handles or
// ignores one has its own plans (a clean shut-down runs the destructors, which remove the files).
void InstallSignalHandlers() {
  for (int signal : kSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0) continue;
    if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) continue;
    struct sigaction ours {};
    ours.sa_handler = GXAtomicFileOnSignal;
    sigemptyset(&ours.sa_mask);
    ours.sa_flags = SA_RESTART;
    sigaction(signal, &ours, nullptr);
  }
}

// Null when the name does not fit (such a path cannot be created anyway).
TGXTemporaryFileSlot* Register(const std::string& path) {
  if (path.size() >= PATH_MAX) return nullptr;
  InstallSignalHandlers();
  TGXTemporaryFileSlot* slot = nullptr;
  for (TGXTemporaryFileSlot* s = GSlots.load(std::memory_order_acquire); s && !slot; s = s->Next) {
    int expected = TGXTemporaryFileSlot::Free;
    if (s->State.compare_exchange_strong(expected, TGXTemporaryFileSlot::Writing)) slot = s;
  }
  if (!slot) {
    slot = new TGXTemporaryFileSlot;
    slot->Next = GSlots.load(std::memory_order_relaxed);
    while (!GSlots.compare_exchange_weak(slot->Next, slot, std::memory_order_release,
                                         std::memory_order_relaxed)) {
    }
  }
  std::memcpy(slot->Path, path.c_str(), path.size() + 1);
  slot->State.store(TGXTemporaryFileSlot::Armed, std::memory_order_release);
  return slot;
}

void Unregister(TGXTemporaryFileSlot* slot) noexcept {
  if (slot) slot->State.store(TGXTemporaryFileSlot::Free, std::memory_order_release);
}

struct TRegistration {
  explicit TRegistration(const std::string& path) : Slot(Register(path)) {}
  ~TRegistration() { Unregister(Slot); }
  TRegistration(const TRegistration&) = delete;
  TRegistration& operator=(const TRegistration&) = delete;
  TGXTemporaryFileSlot* Slot;
};

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// ".<name>.<16 hex digits>.tmp" beside the file.
std::string TemporaryNameFor(const std::string& file) {
  uint64_t random = 0;
  if (getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
    static std::atomic<uint64_t> counter{0};
    random = (static_cast<uint64_t>(getpid()) << 32) ^ counter.fetch_add(0x9E3779B97F4A7C15ull) ^
             static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&random));
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random));
  size_t slash = file.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
  return folder + "." + base + "." + hex + ".tmp";
}

// -1 until decided: the environment is read on first use.
std::atomic<int> GUnnamedAllowed{-1};

bool ProcFileLinksWork() {
  // linkat through /proc/self/fd needs /proc; without it an unnamed file could never get a name.
  static const bool works = access("/proc/self/fd", X_OK) == 0;
  return works;
}

// The path with its folder written without links, "." or ".." (for messages after following a
// link such as "../Sicherung/x.xml"); unchanged when the folder does not exist.
std::string Canonical(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  char* real = realpath(folder.c_str(), nullptr);
  if (!real) return path;
  std::string out = real;
  std::free(real);
  if (out.back() != '/') out += '/';
  return out + (slash == std::string::npos ? path : path.substr(slash + 1));
}

void SyncFolder(const std::string& folder) noexcept {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // the new name survives a power cut; a failure here loses nothing written
  close(fd);
}

}  // namespace

void TGXAtomicFile::SetUnnamedAllowed(bool allowed) { GUnnamedAllowed.store(allowed ? 1 : 0); }

bool TGXAtomicFile::UnnamedAllowed() {
  int v = GUnnamedAllowed.load();
  if (v < 0) {
    const char* env = std::getenv("VELMORA_NAMED_TEMP_FILES");
    v = env && *env && std::strcmp(env, "0") != 0 ? 0 : 1;
    GUnnamedAllowed.store(v);
  }
  return v == 1;
}

std::string TGXAtomicFile::FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
      return hops == 0 ? current : Canonical(current);
    char text[PATH_MAX];
    ssize_t n = readlink(current.c_str(), text, sizeof text - 1);
    if (n <= 0) return hops == 0 ? current : Canonical(current);
    std::string link(text, static_cast<size_t>(n));
    if (link.front() != '/') {
      size_t slash = current.rfind('/');
      link = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + link;
    }
    current = std::move(link);
  }
  throw EGXFileOpenError("Datei kann nicht geöffnet werden: " + path);
}

TGXAtomicFile::TGXAtomicFile(const std::string& target) : FFileName(target), FTarget(FollowLinks(target)) {
  const std::string openError = "Datei kann nicht geöffnet werden: " + FFileName;
  struct stat st;
  const bool exists = stat(FTarget.c_str(), &st) == 0;
  // Only a regular file is replaced: a rename over a device, a pipe or a folder would put a file
  // where something else belongs.
  if (exists && !S_ISREG(st.st_mode)) throw EGXFileOpenError(openError);
  const std::string folder = FolderOf(FTarget);

  int fd = -1;
  if (UnnamedAllowed() && ProcFileLinksWork())
    fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) {
    // No unnamed files here (or not wanted): a hidden name, registered before the file exists so
    // that no moment is left in which a signal would leave it behind.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      std::string name = TemporaryNameFor(FTarget);
      TGXTemporaryFileSlot* slot = Register(name);
      fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        FTempName = std::move(name);
        FSlot = slot;
        break;
      }
      int error = errno;
      Unregister(slot);
      if (error != EEXIST) break;
    }
    if (fd < 0) throw EGXFileOpenError(openError);
  }
  if (exists) fchmod(fd, st.st_mode & 07777);
  FDescriptor = fd;
  try {
    FStream = std::make_unique<TGXFileStream>(fd, FTarget);
  } catch (...) {
    FDescriptor = -1;  // the stream closed it
    Discard();
    throw EGXFileOpenError(openError);
  }
}

TGXAtomicFile::~TGXAtomicFile() {
  if (!FCommitted) Discard();
}

TGXFileStream& TGXAtomicFile::Stream() const {
  if (!FStream)
    throw EInvalidCall(
        {TGXExceptionArg::Object("TGXAtomicFile"), "Stream", FCommitted ? "Committed" : "Discarded"});
  return *FStream;
}

int64_t TGXAtomicFile::Read(void* buffer, int64_t count) { return Stream().Read(buffer, count); }
int64_t TGXAtomicFile::Write(const void* buffer, int64_t count) { return Stream().Write(buffer, count); }
int64_t TGXAtomicFile::Seek(int64_t offset, TGXSeekOrigin origin) { return Stream().Seek(offset, origin); }
int64_t TGXAtomicFile::Size() const { return Stream().Size(); }
void TGXAtomicFile::SetSize(int64_t size) { Stream().SetSize(size); }

void TGXAtomicFile::Close() noexcept {
  FStream.reset();
  FDescriptor = -1;
}

void TGXAtomicFile::Discard() noexcept {
  Close();
  if (!FTempName.empty()) unlink(FTempName.c_str());
  Unregister(FSlot);
  FSlot = nullptr;
  FTempName.clear();
}

void TGXAtomicFile::Commit() {
  Stream();  // raises for a closed file
  bool ok = true;
  try {
    FStream->Sync();
  } catch (const EGXStreamError&) {
    ok = false;
  }
  if (ok && FTempName.empty()) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", FDescriptor);
    // A new file is linked straight in; linkat never replaces, so a file made meanwhile survives.
    if (linkat(AT_FDCWD, self, AT_FDCWD, FTarget.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      ok = errno == EEXIST;
      // Replacing takes a name of its own first, then the rename.
      for (int attempt = 0; ok && attempt < 100; ++attempt) {
        std::string name = TemporaryNameFor(FTarget);
        TRegistration registration(name);
        if (linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
          ok = errno == EEXIST && attempt + 1 < 100;
          continue;
        }
        ok = std::rename(name.c_str(), FTarget.c_str()) == 0;
        if (!ok) unlink(name.c_str());
        break;
      }
    }
  } else if (ok) {
    ok = std::rename(FTempName.c_str(), FTarget.c_str()) == 0;
  }
  if (!ok) {
    Discard();
    throw EGXStreamWriteError();
  }
  FCommitted = true;
  Close();
  Unregister(FSlot);
  FSlot = nullptr;
  FTempName.clear();
  SyncFolder(FolderOf(FTarget));
}

void TGXAtomicFile::WriteFile(const std::string& target, const void* data, size_t size) {
  TGXAtomicFile file(target);
  file.WriteBuffer(data, static_cast<int64_t>(size));
  file.Commit();
}

}  // namespace gx
