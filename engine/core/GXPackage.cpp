#include "engine/core/GXPackage.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXStrings.h"

namespace gx {

const char* const kGXWrongPackageSignature = "Wrong package signature.";
const char* const kGXPackageFileExists = "File already exists.";
const char* const kGXCorruptPackageDirectory = "Corrupt package directory.";
const char* const kGXCorruptPackageEntry = "Corrupt package entry: ";
const char* const kGXPackageTooLarge = "Package would exceed 2 GiB.";
const char* const kGXInvalidPackageFileName = "Invalid file name: ";

namespace {

// {EDDD04C5-D19B-43CB-83C3-B6AB1415C208} in binary form.
constexpr uint8_t kSignature[16] = {0xC5, 0x04, 0xDD, 0xED, 0x9B, 0xD1, 0xCB, 0x43,
                                    0x83, 0xC3, 0xB6, 0xAB, 0x14, 0x15, 0xC2, 0x08};

constexpr size_t kChunk = 256 * 1024;

// Every zlib stream takes at least 8 bytes (2 header, 2 for the shortest deflate block, 4
// Adler-32), which bounds how many entries the data area can hold.
constexpr int64_t kMinZlibStream = 8;
// Deflate cannot expand data by more than 1032:1, so a larger stated size is a lie that would
// only cost memory.
constexpr int64_t kMaxInflateRatio = 1032;

// Inflates a zlib stream of at most inputSize bytes from the source's position on demand, so a
// directory is checked record by record and never held in memory as a whole. Small reads are
// served from an output buffer (one inflate call per record field would be slow); large reads
// inflate straight into the caller's memory.
class TInflateStream : public TGXStream {
 public:
  TInflateStream(TGXStream& source, int64_t inputSize, std::vector<uint8_t>& buffer)
      : FSource(source), FInputLeft(inputSize), FBuffer(buffer) {
    if (FBuffer.size() < kChunk) FBuffer.resize(kChunk);
    if (inflateInit(&FZ) != Z_OK) throw std::bad_alloc();
  }
  ~TInflateStream() override { inflateEnd(&FZ); }

  // Stops early at the end of the zlib stream and at damaged or missing input.
  int64_t Read(void* buffer, int64_t count) override {
    auto* dst = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
      if (FOutPos < FOut.size()) {
        size_t n = static_cast<size_t>(std::min<int64_t>(count - done, FOut.size() - FOutPos));
        std::memcpy(dst + done, FOut.data() + FOutPos, n);
        FOutPos += n;
        done += n;
        continue;
      }
      if (FEnded || FFailed) break;
      if (count - done >= kOutChunk) {
        done += Inflate(dst + done, count - done);
      } else {
        FOut.resize(kOutChunk);
        FOut.resize(static_cast<size_t>(Inflate(FOut.data(), kOutChunk)));
        FOutPos = 0;
      }
    }
    FProduced += done;
    return done;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, TGXSeekOrigin) override { return FProduced; }
  int64_t Size() const override { return FProduced; }
  // True once the zlib stream ended with a correct checksum.
  bool Ended() const { return FEnded; }

 private:
  static constexpr int64_t kOutChunk = 64 * 1024;

  int64_t Inflate(uint8_t* dst, int64_t count) {
    FZ.next_out = dst;
    FZ.avail_out = static_cast<uInt>(std::min<int64_t>(count, UINT32_MAX));
    uInt wanted = FZ.avail_out;
    while (FZ.avail_out > 0) {
      if (FZ.avail_in == 0 && FInputLeft > 0) {
        int64_t n =
            FSource.Read(FBuffer.data(), std::min<int64_t>(FInputLeft, static_cast<int64_t>(FBuffer.size())));
        FInputLeft = n > 0 ? FInputLeft - n : 0;
        FZ.next_in = FBuffer.data();
        FZ.avail_in = static_cast<uInt>(std::max<int64_t>(n, 0));
      }
      int rc = inflate(&FZ, Z_NO_FLUSH);
      if (rc == Z_STREAM_END) {
        FEnded = true;
        break;
      }
      bool starved = rc == Z_BUF_ERROR && FZ.avail_in == 0 && FInputLeft == 0;  // input ended early
      if ((rc != Z_OK && rc != Z_BUF_ERROR) || starved) {
        FFailed = true;
        break;
      }
    }
    return wanted - FZ.avail_out;
  }

  TGXStream& FSource;
  int64_t FInputLeft;
  std::vector<uint8_t>& FBuffer;
  z_stream FZ{};
  std::vector<uint8_t> FOut;
  size_t FOutPos = 0;
  int64_t FProduced = 0;
  bool FEnded = false, FFailed = false;
};

// Inflates one zlib stream of at most inputSize bytes from the stream's position into exactly
// size bytes. False for every kind of damage: bad data, a stream that ends early, more or less
// output than stated.
bool InflateExact(TGXStream& s, int64_t inputSize, int64_t size, std::vector<uint8_t>& out,
                  std::vector<uint8_t>& buffer) {
  out.resize(static_cast<size_t>(size));
  TInflateStream z(s, inputSize, buffer);
  if (z.Read(out.data(), size) != size) return false;
  uint8_t spare;
  return z.Read(&spare, 1) == 0 && z.Ended();  // nothing beyond the stated size, checksum good
}

// Writes the deflated source into dest; returns the bytes written. The source is read from its
// position to its end, its digest and length are reported. limitEnd is the stream position the
// output may not pass.
int64_t Deflate(TGXStream& source, TGXStream& dest, int level, int64_t limitEnd, TGXDigest& digest,
                int64_t& sourceSize) {
  z_stream z{};
  if (deflateInit(&z, level) != Z_OK) throw std::bad_alloc();
  struct Guard {
    z_stream* Z;
    ~Guard() { deflateEnd(Z); }
  } guard{&z};
  std::vector<uint8_t> in(kChunk), out(kChunk);
  TGXMD5 md5;
  int64_t written = 0, read = 0, start = dest.Position();
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    int64_t n = source.Read(in.data(), static_cast<int64_t>(in.size()));
    if (n < 0) throw EGXStreamReadError();
    if (n == 0) flush = Z_FINISH;
    md5.Update(in.data(), static_cast<size_t>(n));
    read += n;
    if (read > INT32_MAX) throw EGXPackageError(kGXPackageTooLarge);
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      int rc = deflate(&z, flush);
      if (rc == Z_STREAM_ERROR) throw std::runtime_error("zlib: deflate");
      int64_t have = static_cast<int64_t>(out.size() - z.avail_out);
      if (start + written + have > limitEnd) throw EGXPackageError(kGXPackageTooLarge);
      dest.WriteBuffer(out.data(), have);
      written += have;
    } while (z.avail_out == 0);
  }
  digest = md5.Final();
  sourceSize = read;
  return written;
}

}  // namespace

// ---- file list ----

int TGXPackageFileList::IndexOf(std::string_view canonicalName) const {
  std::string key = LowerCaseText(canonicalName);
  auto it = std::lower_bound(FItems.begin(), FItems.end(), key,
                             [](const TItem& item, const std::string& k) { return item.Key < k; });
  if (it == FItems.end() || it->Key != key) return -1;
  return static_cast<int>(it - FItems.begin());
}

void TGXPackageFileList::Insert(TGXPackageFile file) {
  std::string key = LowerCaseText(file.Name);
  auto it = std::upper_bound(FItems.begin(), FItems.end(), key,
                             [](const std::string& k, const TItem& item) { return k < item.Key; });
  FItems.insert(it, TItem{std::move(file), std::move(key)});
}

void TGXPackageFileList::Append(TGXPackageFile file) {
  std::string key = LowerCaseText(file.Name);
  FItems.push_back(TItem{std::move(file), std::move(key)});
}

void TGXPackageFileList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [](const TItem& a, const TItem& b) { return a.Key < b.Key; });
}

int TGXPackageFileList::FindDuplicate() const {
  for (size_t i = 1; i < FItems.size(); ++i)
    if (FItems[i].Key == FItems[i - 1].Key) return static_cast<int>(i);
  return -1;
}

// ---- package ----

TGXPackage::TGXPackage(std::unique_ptr<TGXStream> stream)
    : FOwnedStream(std::move(stream)), FStream(FOwnedStream.get()) {}
TGXPackage::TGXPackage(TGXStream& stream) : FStream(&stream) {}
TGXPackage::~TGXPackage() = default;

const uint8_t* TGXPackage::Signature() { return kSignature; }

namespace {

std::string CanonicalPass(std::string_view name) { return FoldPathSegments(TrimText(name), '\\'); }

}  // namespace

std::string TGXPackage::CanonicalName(std::string_view name) {
  // Dropping segments can bring blanks to the ends (".\ x" gives " x") or turn them into a "."
  // segment again; repeat until nothing changes, so that a canonical name stays canonical.
  std::string result = CanonicalPass(name);
  for (;;) {
    std::string again = CanonicalPass(result);
    if (again == result) return result;
    result = std::move(again);
  }
}

// ---- reader ----

TGXPackageReader::TGXPackageReader(const std::string& fileName)
    : TGXPackage(std::make_unique<TGXFileStream>(fileName, TGXFileStream::Mode::Read)) {
  ReadDirectory();
}

TGXPackageReader::TGXPackageReader(std::unique_ptr<TGXStream> stream) : TGXPackage(std::move(stream)) {
  ReadDirectory();
}

TGXPackageReader::TGXPackageReader(TGXStream& stream) : TGXPackage(stream) { ReadDirectory(); }

void TGXPackageReader::ReadDirectory() {
  TGXStream& s = Stream();
  FBase = s.Position();
  uint8_t signature[16];
  if (s.Read(signature, 16) != 16 || std::memcmp(signature, kSignature, 16) != 0)
    throw EGXPackageError(kGXWrongPackageSignature);

  auto corrupt = [] { throw EGXPackageError(kGXCorruptPackageDirectory); };
  int64_t size = s.Size();
  if (size - FBase < 16 + 4) corrupt();
  s.SetPosition(size - 4);
  int64_t dirPos = ReadInteger(s);
  if (dirPos < FBase + 16 || dirPos > size - 4) corrupt();

  // Every entry needs a zlib stream of its own in the data area, which bounds the count: a
  // forged count cannot claim more than a real package of this size could hold.
  int64_t maxCount = (dirPos - FBase - 16) / kMinZlibStream;
  s.SetPosition(dirPos);
  TInflateStream dir(s, size - 4 - dirPos, FBuffer);
  TGXPackageFileList files;
  try {
    int32_t count = ReadInteger(dir);
    if (count < 0 || count > maxCount) corrupt();
    std::u16string name;
    uint8_t raw[2 * MaxNameLength];
    for (int32_t i = 0; i < count; ++i) {
      int32_t nameBytes = ReadInteger(dir);
      if (nameBytes <= 0 || nameBytes % 2 != 0 || nameBytes > 2 * MaxNameLength) corrupt();
      dir.ReadBuffer(raw, nameBytes);
      name.resize(static_cast<size_t>(nameBytes / 2));
      for (size_t k = 0; k < name.size(); ++k) {
        name[k] = static_cast<char16_t>(raw[2 * k] | raw[2 * k + 1] << 8);
        // A NUL ends the name for every file system, so the entry could not be extracted as named.
        if (name[k] == 0) corrupt();
      }
      TGXPackageFile f;
      f.Name = CanonicalName(Utf16ToUtf8(name));
      f.Offset = ReadInteger(dir);
      f.Size = ReadInteger(dir);
      f.CompressedSize = ReadInteger(dir);
      dir.ReadBuffer(f.Digest.data(), 16);
      if (f.Name.empty() || f.Offset < FBase + 16 || f.Size < 0 || f.CompressedSize < kMinZlibStream ||
          int64_t(f.Offset) + f.CompressedSize > dirPos)
        corrupt();
      files.Append(std::move(f));
    }
  } catch (const EGXStreamReadError&) {
    corrupt();
  }
  // The directory ends with its last record, and its checksum must hold.
  uint8_t extra;
  if (dir.Read(&extra, 1) != 0 || !dir.Ended()) corrupt();
  // Two names the same ignoring case: lookups find only one, and extracting into a folder would
  // write one over the other. The writer never makes such a directory.
  files.Sort();
  if (files.FindDuplicate() >= 0) corrupt();
  // Every entry owns its bytes: streams that share bytes let a small file state many large
  // entries (each inflating the same data), which no writer produces.
  std::vector<std::pair<int64_t, int64_t>> ranges;
  ranges.reserve(static_cast<size_t>(files.Count()));
  for (int i = 0; i < files.Count(); ++i)
    ranges.emplace_back(files[i].Offset, int64_t(files[i].Offset) + files[i].CompressedSize);
  std::sort(ranges.begin(), ranges.end());
  for (size_t i = 1; i < ranges.size(); ++i)
    if (ranges[i].first < ranges[i - 1].second) corrupt();
  FFiles = std::move(files);
}

std::unique_ptr<TGXMemoryStream> TGXPackageReader::Extract(std::string_view name, int64_t maxSize) {
  int index = IndexOf(name);
  return index < 0 ? nullptr : ExtractAt(index, maxSize);
}

const TGXPackageFile& TGXPackageReader::Prepare(int index, int64_t maxSize) {
  const TGXPackageFile& f = FFiles[index];
  if (f.Size > std::min(maxSize, MaxEntrySize) || f.Size > int64_t(f.CompressedSize) * kMaxInflateRatio + 64)
    throw EGXPackageError(kGXCorruptPackageEntry + f.Name);
  Stream().SetPosition(f.Offset);
  return f;
}

std::unique_ptr<TGXMemoryStream> TGXPackageReader::ExtractAt(int index, int64_t maxSize) {
  const TGXPackageFile& f = Prepare(index, maxSize);
  std::vector<uint8_t> data;
  if (!InflateExact(Stream(), f.CompressedSize, f.Size, data, FBuffer))
    throw EGXPackageError(kGXCorruptPackageEntry + f.Name);
  return std::make_unique<TGXMemoryStream>(std::move(data));
}

template <class TSink>
void TGXPackageReader::Inflate(int index, TSink&& sink) {
  const TGXPackageFile& f = Prepare(index, MaxEntrySize);
  TInflateStream z(Stream(), f.CompressedSize, FBuffer);
  // Small entries (most of a catalogue's) take a small piece: no 256 KB to clear for each.
  std::vector<uint8_t> chunk(static_cast<size_t>(std::clamp<int64_t>(f.Size, 1, kChunk)));
  int64_t left = f.Size;
  while (left > 0) {
    int64_t want = std::min<int64_t>(left, static_cast<int64_t>(chunk.size()));
    int64_t n = z.Read(chunk.data(), want);
    if (n > 0) sink(chunk.data(), static_cast<size_t>(n));
    if (n != want) throw EGXPackageError(kGXCorruptPackageEntry + f.Name);  // ended early or damaged
    left -= n;
  }
  uint8_t spare;
  if (z.Read(&spare, 1) != 0 || !z.Ended()) throw EGXPackageError(kGXCorruptPackageEntry + f.Name);
}

void TGXPackageReader::ExtractTo(int index, TGXStream& dest) {
  Inflate(index,
          [&](const uint8_t* data, size_t size) { dest.WriteBuffer(data, static_cast<int64_t>(size)); });
}

std::string TGXPackageReader::Verify(int index) {
  TGXMD5 md5;
  try {
    Inflate(index, [&](const uint8_t* data, size_t size) { md5.Update(data, size); });
  } catch (const EGXPackageError& e) {
    return e.what();
  }
  if (md5.Final() != FFiles[index].Digest) return kGXCorruptPackageEntry + FFiles[index].Name + " (MD5)";
  return {};
}

// ---- writer ----

namespace {

std::unique_ptr<TGXAtomicFile> OpenTemp(const std::string& fileName) {
  try {
    return std::make_unique<TGXAtomicFile>(fileName);
  } catch (const EGXFileOpenError&) {
    // The user knows the destination, not the temporary name.
    throw EGXFileOpenError("Datei kann nicht geöffnet werden: " + fileName);
  }
}

}  // namespace

TGXPackageWriter::TGXPackageWriter(const std::string& fileName)
    : TGXPackageWriter(OpenTemp(fileName), fileName) {}

TGXPackageWriter::TGXPackageWriter(std::unique_ptr<TGXAtomicFile> file, const std::string& fileName)
    : TGXPackage(std::move(file)), FFileName(fileName), FFile(&static_cast<TGXAtomicFile&>(Stream())) {
  Start();
}

TGXPackageWriter::TGXPackageWriter(std::unique_ptr<TGXStream> stream) : TGXPackage(std::move(stream)) {
  Start();
}

TGXPackageWriter::TGXPackageWriter(TGXStream& stream) : TGXPackage(stream) { Start(); }

TGXPackageWriter::~TGXPackageWriter() {
  if (!FFinished) Abandon();
}

void TGXPackageWriter::Start() {
  try {
    FBase = Stream().Position();
    if (FBase + 16 > MaxPackageSize) throw EGXPackageError(kGXPackageTooLarge);
    Stream().WriteBuffer(kSignature, 16);
  } catch (...) {
    Abandon();  // the destructor does not run for a constructor that fails
    throw;
  }
}

void TGXPackageWriter::Abandon() noexcept {
  if (!FFile) return;
  FFile = nullptr;
  CloseStream();  // the uncommitted file takes its temporary file with it
}

int TGXPackageWriter::ZlibLevel(int levelCode) {
  switch (levelCode) {
    case 0:
      return 0;
    case 1:
      return 1;
    case 2:
      return Z_DEFAULT_COMPRESSION;
    case 3:
      return 9;
    default:
      if (levelCode >= 4 && levelCode <= 12) return levelCode - 3;
      throw EInvalidParameter(
          {TGXExceptionArg::Object("TGXPackageWriter"), "AddFile", "Invalid level", levelCode});
  }
}

void TGXPackageWriter::Rollback(int64_t position) {
  try {
    Stream().SetPosition(position);
    Stream().SetSize(position);
  } catch (const EGXStreamError&) {
    FBroken = true;  // the failed entry's bytes stay in the stream; Finish must not bless them
  }
}

void TGXPackageWriter::AddFile(TGXStream& source, std::string_view name, int levelCode) {
  if (FFinished || FBroken)
    throw EInvalidCall(
        {TGXExceptionArg::Object("TGXPackageWriter"), "AddFile", FFinished ? "Finished" : "Broken"});
  int level = ZlibLevel(levelCode);
  std::string canonical = CanonicalName(name);
  if (canonical.empty() || Utf16Length(canonical) > MaxNameLength)
    throw EGXPackageError(kGXInvalidPackageFileName + std::string(name));
  if (FFiles.IndexOf(canonical) >= 0) throw EGXPackageError(kGXPackageFileExists);

  TGXStream& s = Stream();
  int64_t offset = s.Position();
  TGXPackageFile f;
  f.Name = std::move(canonical);
  try {
    source.SetPosition(0);
    int64_t size = 0;
    int64_t written = Deflate(source, s, level, MaxPackageSize, f.Digest, size);
    f.Offset = static_cast<int32_t>(offset);
    f.Size = static_cast<int32_t>(size);
    f.CompressedSize = static_cast<int32_t>(written);
  } catch (...) {
    Rollback(offset);
    throw;
  }
  FFiles.Insert(std::move(f));
}

void TGXPackageWriter::Finish() {
  if (FFinished || FBroken)
    throw EInvalidCall(
        {TGXExceptionArg::Object("TGXPackageWriter"), "Finish", FFinished ? "Finished" : "Broken"});
  TGXStream& s = Stream();
  int64_t dirPos = s.Position();
  try {
    TGXMemoryStream dir;
    WriteInteger(dir, FFiles.Count());
    for (int i = 0; i < FFiles.Count(); ++i) {
      const TGXPackageFile& f = FFiles[i];
      WriteWideString(dir, f.Name);
      WriteInteger(dir, f.Offset);
      WriteInteger(dir, f.Size);
      WriteInteger(dir, f.CompressedSize);
      dir.WriteBuffer(f.Digest.data(), 16);
    }
    dir.SetPosition(0);
    TGXDigest digest;
    int64_t size;
    Deflate(dir, s, 9, MaxPackageSize - 4, digest, size);
    WriteInteger(s, static_cast<int32_t>(dirPos));
  } catch (...) {
    Rollback(dirPos);
    throw;
  }
  if (FFile) {
    try {
      FFile->Commit();
    } catch (const EGXStreamError&) {
      Abandon();
      FBroken = true;
      throw EGXStreamError("Datei kann nicht geschrieben werden: " + FFileName);
    }
    FFile = nullptr;
    CloseStream();
  }
  FFinished = true;
}

}  // namespace gx
