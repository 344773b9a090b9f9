#include "engine/core/GXStream.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace gx {

void TGXStream::ReadBufferChecked(void* buffer, int64_t count) {
  if (count <= 0) return;
  if (Read(buffer, count) != count) throw EGXStreamReadError();
}

void TGXStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count <= 0) return;
  if (Write(buffer, count) != count) throw EGXStreamWriteError();
}

void TGXStream::SetSize(int64_t) { throw EGXStreamWriteError(); }

int64_t TGXStream::CopyFrom(TGXStream& source, int64_t count) {
  if (count < 0) count = source.Remaining();
  uint8_t buf[64 * 1024];
  int64_t done = 0;
  while (done < count) {
    int64_t n = std::min<int64_t>(sizeof buf, count - done);
    source.ReadBuffer(buf, n);
    WriteBuffer(buf, n);
    done += n;
  }
  return done;
}

// ---- memory stream ----

int64_t TGXMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || FPosition >= Size()) return 0;
  int64_t n = std::min(count, Size() - FPosition);
  std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TGXMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t end = FPosition + count;
  if (end > Size()) FData.resize(static_cast<size_t>(end));
  std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
  FPosition = end;
  return count;
}

int64_t TGXMemoryStream::Seek(int64_t offset, TGXSeekOrigin origin) {
  int64_t base = origin == TGXSeekOrigin::Begin ? 0 : origin == TGXSeekOrigin::Current ? FPosition : Size();
  FPosition = std::max<int64_t>(0, base + offset);
  return FPosition;
}

void TGXMemoryStream::SetSize(int64_t size) {
  FData.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
  FPosition = std::min(FPosition, Size());
}

// ---- adapter over foreign memory ----

TGXMemoryStreamAdapter::TGXMemoryStreamAdapter(void* memory, int64_t size)
    : FMemory(static_cast<uint8_t*>(memory)) {
  // An adapter over no memory still needs a block address for the inline read; it never copies
  // from or to it (size 0), and copies of the adapter stay valid.
  static uint8_t empty = 0;
  FBlockSize = FMemory && size > 0 ? size : 0;
  FBlock = FBlockSize > 0 ? FMemory : &empty;
}

int64_t TGXMemoryStreamAdapter::Read(void* buffer, int64_t count) {
  if (count <= 0 || FBlockPosition >= FBlockSize) return 0;
  int64_t n = std::min(count, FBlockSize - FBlockPosition);
  std::memcpy(buffer, FBlock + FBlockPosition, static_cast<size_t>(n));
  FBlockPosition += n;
  return n;
}

int64_t TGXMemoryStreamAdapter::Write(const void* buffer, int64_t count) {
  if (count <= 0 || FBlockPosition >= FBlockSize) return 0;
  int64_t n = std::min(count, FBlockSize - FBlockPosition);
  std::memcpy(FBlock + FBlockPosition, buffer, static_cast<size_t>(n));
  FBlockPosition += n;
  return n;
}

int64_t TGXMemoryStreamAdapter::Seek(int64_t offset, TGXSeekOrigin origin) {
  int64_t base = origin == TGXSeekOrigin::Begin ? 0 : origin == TGXSeekOrigin::Current ? FBlockPosition : FBlockSize;
  FBlockPosition = std::clamp<int64_t>(base + offset, 0, FBlockSize);
  return FBlockPosition;
}

// ---- file stream ----

TGXFileStream::TGXFileStream(const std::string& path, Mode mode) : FPath(path) {
  const char* m = mode == Mode::Read ? "rb" : mode == Mode::Create ? "w+b" : mode == Mode::CreateNew ? "w+bx" : "r+b";
  FFile = std::fopen(path.c_str(), m);
  if (!FFile) throw EGXFileOpenError("Datei kann nicht geöffnet werden: " + path);
  // A directory opens for reading on Linux but fails on the first read; refuse it here.
  struct stat st;
  if (fstat(fileno(FFile), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(FFile);
    FFile = nullptr;
    throw EGXFileOpenError("Datei kann nicht geöffnet werden: " + path);
  }
}

TGXFileStream::TGXFileStream(int descriptor, const std::string& path) : FPath(path) {
  FFile = fdopen(descriptor, "w+b");
  if (!FFile) {
    close(descriptor);
    throw EGXFileOpenError("Datei kann nicht geöffnet werden: " + path);
  }
}

TGXFileStream::~TGXFileStream() {
  if (FFile) std::fclose(FFile);
}

int64_t TGXFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  return static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), FFile));
}

int64_t TGXFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  return static_cast<int64_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), FFile));
}

int64_t TGXFileStream::Seek(int64_t offset, TGXSeekOrigin origin) {
  int whence = origin == TGXSeekOrigin::Begin ? SEEK_SET : origin == TGXSeekOrigin::Current ? SEEK_CUR : SEEK_END;
  if (fseeko(FFile, static_cast<off_t>(offset), whence) != 0) return static_cast<int64_t>(ftello(FFile));
  return static_cast<int64_t>(ftello(FFile));
}

int64_t TGXFileStream::Size() const {
  std::fflush(FFile);
  struct stat st;
  if (fstat(fileno(FFile), &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

void TGXFileStream::SetSize(int64_t size) {
  if (std::fflush(FFile) != 0 || ftruncate(fileno(FFile), static_cast<off_t>(std::max<int64_t>(0, size))) != 0)
    throw EGXStreamWriteError();
  if (ftello(FFile) > size) Seek(size, TGXSeekOrigin::Begin);
}

void TGXFileStream::Flush() {
  if (std::fflush(FFile) != 0) throw EGXStreamWriteError();
}

void TGXFileStream::Sync() {
  Flush();
  if (fsync(fileno(FFile)) != 0) throw EGXStreamWriteError();
}

}  // namespace gx
