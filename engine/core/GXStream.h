#pragma once
// The byte streams every binary reader and writer works on: an abstract stream with exact
// reads (a short read is an error, never a silently shortened value), a growing memory stream,
// a file stream and an adapter over memory owned by someone else.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace gx {

// Short read: "Stream-Lesefehler". Short write: "Stream-Schreibfehler".
class EGXStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EGXStreamReadError : public EGXStreamError {
 public:
  EGXStreamReadError() : EGXStreamError("Stream-Lesefehler") {}
  // A length or count read from the data that the remaining bytes cannot hold: the same error,
  // with the detail support needs ("Stream-Lesefehler: Länge 70000 an Position 12, 30 Bytes
  // übrig").
  explicit EGXStreamReadError(const std::string& detail) : EGXStreamError("Stream-Lesefehler: " + detail) {}
};
class EGXStreamWriteError : public EGXStreamError {
 public:
  EGXStreamWriteError() : EGXStreamError("Stream-Schreibfehler") {}
};
// A file that cannot be opened; the file system derives its own error for virtual paths from it.
class EGXFileOpenError : public EGXStreamError {
 public:
  using EGXStreamError::EGXStreamError;
};

enum class TGXSeekOrigin { Begin = 0, Current = 1, End = 2 };

class TGXStream {
 public:
  virtual ~TGXStream() = default;

  // Copy up to count bytes; return how many were copied (0 at the end or for count <= 0).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t offset, TGXSeekOrigin origin) = 0;
  virtual int64_t Size() const = 0;
  // Cuts or extends the stream to size bytes (the position stays within it). Streams that
  // cannot change their size raise the write error.
  virtual void SetSize(int64_t size);

  int64_t Position() { return FBlock ? FBlockPosition : Seek(0, TGXSeekOrigin::Current); }
  void SetPosition(int64_t pos) { Seek(pos, TGXSeekOrigin::Begin); }
  // Bytes between the position and the end; readers check counts and lengths against it.
  int64_t Remaining() { return FBlock ? FBlockSize - FBlockPosition : Size() - Position(); }

  // Exact forms: raise the read or write error when fewer bytes move. A read that the fixed
  // block of the stream holds in full is copied inline: readers take one value at a time, and a
  // virtual call per value cost more than the copy.
  void ReadBuffer(void* buffer, int64_t count) {
    if (FBlock && count > 0 && count <= FBlockSize - FBlockPosition) {
      std::memcpy(buffer, FBlock + FBlockPosition, static_cast<size_t>(count));
      FBlockPosition += count;
      return;
    }
    ReadBufferChecked(buffer, count);
  }
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes (all remaining when count < 0) from source; returns the number copied.
  int64_t CopyFrom(TGXStream& source, int64_t count);

 protected:
  // Streams over a fixed memory block set FBlock (never null for them) and keep their position
  // in FBlockPosition (0...FBlockSize) so the inline read above can serve them.
  uint8_t* FBlock = nullptr;
  int64_t FBlockSize = 0;
  int64_t FBlockPosition = 0;

 private:
  // The general exact read (any stream, short reads, counts <= 0).
  void ReadBufferChecked(void* buffer, int64_t count);
};

// A stream over memory it owns, growing as it is written.
class TGXMemoryStream : public TGXStream {
 public:
  TGXMemoryStream() = default;
  explicit TGXMemoryStream(std::vector<uint8_t> data) : FData(std::move(data)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TGXSeekOrigin origin) override;
  int64_t Size() const override { return static_cast<int64_t>(FData.size()); }

  void SetSize(int64_t size) override;
  void Clear() { FData.clear(); FPosition = 0; }
  const std::vector<uint8_t>& Data() const { return FData; }
  std::vector<uint8_t>& Data() { return FData; }
  const uint8_t* Memory() const { return FData.data(); }

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

// A stream over a fixed memory block it does not own. Reads and writes copy at most what is
// left of the block; writing never grows it. Seek clamps the position to 0...Size.
class TGXMemoryStreamAdapter : public TGXStream {
 public:
  TGXMemoryStreamAdapter(void* memory, int64_t size);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TGXSeekOrigin origin) override;
  int64_t Size() const override { return FBlockSize; }
  uint8_t* Memory() const { return FMemory; }

 private:
  uint8_t* FMemory;
};

// A stream over a disk file (POSIX path).
class TGXFileStream : public TGXStream {
 public:
  // CreateNew fails when the file exists already (for temporary files next to a destination).
  enum class Mode { Read, Create, ReadWrite, CreateNew };
  // Raises EGXFileOpenError with the German text "Datei kann nicht geöffnet werden: <path>" when
  // the file cannot be opened.
  TGXFileStream(const std::string& path, Mode mode);
  // Takes over an open descriptor for reading and writing (closed with the stream); path only
  // names it in messages.
  TGXFileStream(int descriptor, const std::string& path);
  ~TGXFileStream() override;
  TGXFileStream(const TGXFileStream&) = delete;
  TGXFileStream& operator=(const TGXFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TGXSeekOrigin origin) override;
  int64_t Size() const override;
  void SetSize(int64_t size) override;
  // Flushes buffered data to the operating system; raises the write error on failure.
  void Flush();
  // Flush and wait until the data is on the disk (before a finished file replaces another).
  void Sync();
  const std::string& Path() const { return FPath; }

 private:
  std::FILE* FFile = nullptr;
  std::string FPath;
};

}  // namespace gx
