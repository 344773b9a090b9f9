#pragma once
// Package archives (.vma): one file of zlib-compressed entries with a compressed directory at its
// end. Layout (little-endian):
//
//   16 bytes   signature, the GUID {EDDD04C5-D19B-43CB-83C3-B6AB1415C208} in binary form
//   ...        one zlib stream per entry, in the order the entries were added
//   ...        the directory: one zlib stream (level 9) of: Integer count, then per entry in
//              directory order the name as a wide string, Integer offset, Integer size,
//              Integer compressed size and the 16-byte MD5 of the uncompressed data
//   4 bytes    Integer position of the directory's zlib stream
//
// Offsets are absolute 32-bit positions, so a package never grows past 2 GiB. Entry names are
// relative paths with backslashes; the directory is sorted by name ignoring case, and every name
// given to a lookup is put into canonical form first (CanonicalName).

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXAtomicFile.h"
#include "engine/core/GXDigest.h"
#include "engine/core/GXStream.h"

namespace gx {

// The package's own failures. The messages are the program's: "Wrong package signature.",
// "File already exists.", and for damaged archives "Corrupt package directory." or
// "Corrupt package entry: <name>".
class EGXPackageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

extern const char* const kGXWrongPackageSignature;
extern const char* const kGXPackageFileExists;
extern const char* const kGXCorruptPackageDirectory;
extern const char* const kGXCorruptPackageEntry;  // followed by the entry's name
extern const char* const kGXPackageTooLarge;
extern const char* const kGXInvalidPackageFileName;

// One directory entry.
struct TGXPackageFile {
  std::string Name;  // canonical relative path, at most 260 UTF-16 code units
  int32_t Offset = 0;
  int32_t Size = 0;
  int32_t CompressedSize = 0;
  TGXDigest Digest{};
};

// The entries, kept in directory order (by name, ignoring case).
class TGXPackageFileList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const TGXPackageFile& operator[](int index) const { return FItems[index].File; }
  // Binary search for a canonical name; -1 when absent.
  int IndexOf(std::string_view canonicalName) const;
  // Inserts at the entry's place in the order.
  void Insert(TGXPackageFile file);
  // Appends without ordering; Sort must follow (for reading a whole directory at once).
  void Append(TGXPackageFile file);
  void Sort();
  // After Sort: the index of the first entry whose name equals the one before it ignoring case,
  // or -1.
  int FindDuplicate() const;
  void Clear() { FItems.clear(); }

 private:
  struct TItem {
    TGXPackageFile File;
    std::string Key;  // the name folded to lower case
  };
  std::vector<TItem> FItems;
};

// The base of reader and writer: the archive stream and the directory.
class TGXPackage {
 public:
  static constexpr int MaxNameLength = 260;  // UTF-16 code units
  // Entry positions are signed 32-bit values: no byte of a package may lie beyond this.
  static constexpr int64_t MaxPackageSize = INT32_MAX;
  // The largest entry a reader inflates (the size a download may have): a directory may state
  // any size up to 2 GiB, and a few megabytes of deflate data can honestly expand to a gigabyte.
  static constexpr int64_t MaxEntrySize = int64_t(1) << 30;

  virtual ~TGXPackage();
  TGXPackage(const TGXPackage&) = delete;
  TGXPackage& operator=(const TGXPackage&) = delete;

  // Trims blanks, turns slashes into backslashes, drops empty and "." segments and removes each
  // ".." together with the segment before it; a ".." with nothing before it is dropped, so a
  // name never leaves the package. Case is kept.
  static std::string CanonicalName(std::string_view name);
  // The 16 signature bytes.
  static const uint8_t* Signature();

  // Position in the directory of the canonical form of name, or -1.
  int IndexOf(std::string_view name) const { return FFiles.IndexOf(CanonicalName(name)); }
  bool Contains(std::string_view name) const { return IndexOf(name) >= 0; }
  int FileCount() const { return FFiles.Count(); }
  const std::string& FileName(int index) const { return FFiles[index].Name; }
  const TGXPackageFile& File(int index) const { return FFiles[index]; }
  const TGXPackageFileList& Files() const { return FFiles; }

 protected:
  TGXPackage(std::unique_ptr<TGXStream> stream);
  TGXPackage(TGXStream& stream);

  TGXStream& Stream() { return *FStream; }
  // Closes an owned stream (a finished writer's file).
  void CloseStream() {
    FOwnedStream.reset();
    FStream = nullptr;
  }

  TGXPackageFileList FFiles;

 private:
  std::unique_ptr<TGXStream> FOwnedStream;
  TGXStream* FStream;
};

// Reads a package. The directory is read and checked when the reader is made; entries are
// inflated on demand.
class TGXPackageReader : public TGXPackage {
 public:
  // Opens a disk file (POSIX path) for reading.
  explicit TGXPackageReader(const std::string& fileName);
  explicit TGXPackageReader(std::unique_ptr<TGXStream> stream);
  // A package on a stream the caller keeps; the package starts at the stream's position.
  explicit TGXPackageReader(TGXStream& stream);

  // The entry's data in a new memory stream at position 0, or nullptr when the package holds no
  // such name. Raises EGXPackageError when the entry's data is damaged (does not inflate, ends
  // early, or inflates to another size than the directory states) or when the directory states
  // more than maxSize bytes (checked before anything is allocated). The digest is not checked
  // here (see Verify).
  std::unique_ptr<TGXMemoryStream> Extract(std::string_view name, int64_t maxSize = MaxEntrySize);
  std::unique_ptr<TGXMemoryStream> ExtractAt(int index, int64_t maxSize = MaxEntrySize);
  // Inflates the entry into dest in pieces, so memory stays bounded whatever the entry's size;
  // the same failures as ExtractAt, raised when the damage is reached (dest then holds the bytes
  // before it).
  void ExtractTo(int index, TGXStream& dest);
  // Inflates the entry in pieces and compares size and digest; returns an empty text when it is
  // sound, else the reason. Memory stays bounded whatever the entry's size.
  std::string Verify(int index);

 private:
  void ReadDirectory();
  // Checks the stated size against maxSize and what deflate could produce from the compressed
  // size, and positions the stream at the entry.
  const TGXPackageFile& Prepare(int index, int64_t maxSize);
  // Inflates the entry in pieces of at most 256 KB into sink and checks its size and checksum.
  template <class TSink>
  void Inflate(int index, TSink&& sink);

  int64_t FBase = 0;             // stream position of the signature
  std::vector<uint8_t> FBuffer;  // compressed input, reused between extracts
};

// Writes a package. Entries are compressed into the archive as they are added; Finish writes the
// directory and the trailer. A writer given a file name writes to a TGXAtomicFile that takes the
// file name in Finish, so the destination is never half-written; a writer destroyed before Finish,
// or a process killed while writing, leaves no temporary file.
class TGXPackageWriter : public TGXPackage {
 public:
  explicit TGXPackageWriter(const std::string& fileName);
  explicit TGXPackageWriter(std::unique_ptr<TGXStream> stream);
  // Writes the signature at the stream's position.
  explicit TGXPackageWriter(TGXStream& stream);
  ~TGXPackageWriter() override;

  // Level codes of AddFile: 0 stored, 1 fastest, 2 zlib's default, 3 best (what the program
  // uses), 4...12 the zlib levels 1...9.
  static int ZlibLevel(int levelCode);

  // Compresses the whole source (from position 0) as the entry name. Raises EGXPackageError
  // "File already exists." for a name already present (nothing is written), "Package too
  // large..." when the archive would pass 2 GiB, and the source's read errors; after a failure
  // the archive is as it was before the call.
  void AddFile(TGXStream& source, std::string_view name, int levelCode = 3);
  // Writes the directory and the trailer (and, for a file name, replaces the destination).
  void Finish();
  bool Finished() const { return FFinished; }

 private:
  TGXPackageWriter(std::unique_ptr<TGXAtomicFile> file, const std::string& fileName);
  void Start();
  void Rollback(int64_t position);
  void Abandon() noexcept;

  int64_t FBase = 0;      // stream position of the signature
  std::string FFileName;           // destination, empty for a stream
  TGXAtomicFile* FFile = nullptr;  // the owned stream of a writer given a file name, until Finish
  bool FFinished = false;
  bool FBroken = false;  // a failed entry could not be cut off the stream
};

}  // namespace gx
