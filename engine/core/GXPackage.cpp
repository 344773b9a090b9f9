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
// A directory record: name length, name, offset, size, compressed size, digest.
constexpr int64_t kMinDirectoryRecord = 4 + 4 + 4 + 4 + 16;
constexpr int64_t kMaxDirectoryRecord = kMinDirectoryRecord + 2 * TGXPackage::MaxNameLength;
// Deflate cannot expand data by more than 1032:1, so a larger stated size is a lie that would
// only cost memory.
constexpr int64_t kMaxInflateRatio = 1032;

// Inflates one zlib stream of at most inputSize bytes from the stream's position. With a known
// size (expected >= 0) the output must have exactly that size; otherwise it grows up to limit.
// Returns false for every kind of damage: bad data, a stream that ends early, a wrong size.
bool Inflate(TGXStream& s, int64_t inputSize, int64_t expected, int64_t limit, std::vector<uint8_t>& out,
             std::vector<uint8_t>& buffer) {
  if (buffer.size() < kChunk) buffer.resize(kChunk);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw std::bad_alloc();
  struct Guard {
    z_stream* Z;
    ~Guard() { inflateEnd(Z); }
  } guard{&z};

  if (expected >= 0) {
    out.resize(static_cast<size_t>(expected));
    limit = expected;
  } else {
    out.resize(static_cast<size_t>(std::min<int64_t>(limit, 64 * 1024)));
  }
  int64_t produced = 0, inputLeft = inputSize;
  uint8_t spare;  // catches output beyond the expected size
  for (;;) {
    if (z.avail_in == 0 && inputLeft > 0) {
      int64_t n = s.Read(buffer.data(), std::min<int64_t>(inputLeft, static_cast<int64_t>(buffer.size())));
      if (n <= 0) return false;
      inputLeft -= n;
      z.next_in = buffer.data();
      z.avail_in = static_cast<uInt>(n);
    }
    if (produced == static_cast<int64_t>(out.size()) && expected < 0 && produced < limit)
      out.resize(static_cast<size_t>(std::min<int64_t>(limit, produced * 2)));
    bool full = produced == static_cast<int64_t>(out.size());
    z.next_out = full ? &spare : out.data() + produced;
    z.avail_out = full ? 1 : static_cast<uInt>(std::min<int64_t>(out.size() - produced, UINT32_MAX));
    uInt before = z.avail_out;
    int rc = inflate(&z, Z_NO_FLUSH);
    uInt made = before - z.avail_out;
    if (full && made > 0) return false;  // more data than the directory states or the limit allows
    produced += full ? 0 : made;
    if (rc == Z_STREAM_END) {
      if (expected >= 0 && produced != expected) return false;
      out.resize(static_cast<size_t>(produced));
      return true;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && inputLeft == 0) return false;  // input ended early
  }
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

std::string RandomHex() {
  std::random_device rd;
  char buf[17];
  std::snprintf(buf, sizeof buf, "%08x%08x", rd(), rd());
  return buf;
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
  std::stable_sort(FItems.begin(), FItems.end(), [](const TItem& a, const TItem& b) { return a.Key < b.Key; });
}

// ---- package ----

TGXPackage::TGXPackage(std::unique_ptr<TGXStream> stream) : FOwnedStream(std::move(stream)), FStream(FOwnedStream.get()) {}
TGXPackage::TGXPackage(TGXStream& stream) : FStream(&stream) {}
TGXPackage::~TGXPackage() = default;

const uint8_t* TGXPackage::Signature() { return kSignature; }

std::string TGXPackage::CanonicalName(std::string_view name) {
  name = TrimText(name);
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = name.size();
    std::string_view part = name.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '\\';
    out += parts[i];
  }
  return out;
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
  FDirectoryPos = dirPos;

  // Bound the directory by what the data area can hold, so a forged count or a directory that
  // inflates without end cannot claim more memory than a real package of this size would.
  int64_t maxCount = (dirPos - FBase - 16) / kMinZlibStream;
  int64_t compressed = size - 4 - dirPos;
  int64_t limit = std::min(4 + maxCount * kMaxDirectoryRecord, compressed * kMaxInflateRatio + 64);
  std::vector<uint8_t> raw;
  s.SetPosition(dirPos);
  if (!Inflate(s, compressed, -1, limit, raw, FBuffer)) corrupt();

  TGXMemoryStream dir(std::move(raw));
  TGXPackageFileList files;
  try {
    int32_t count = ReadInteger(dir);
    if (count < 0 || count > maxCount) corrupt();
    CheckCount(dir, count, kMinDirectoryRecord);
    for (int32_t i = 0; i < count; ++i) {
      int32_t nameBytes = ReadInteger(dir);
      if (nameBytes < 0 || nameBytes % 2 != 0 || nameBytes > 2 * MaxNameLength) corrupt();
      dir.Seek(-4, TGXSeekOrigin::Current);
      TGXPackageFile f;
      f.Name = CanonicalName(ReadWideString(dir));
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
  files.Sort();
  FFiles = std::move(files);
}

std::unique_ptr<TGXMemoryStream> TGXPackageReader::Extract(std::string_view name) {
  int index = IndexOf(name);
  return index < 0 ? nullptr : ExtractAt(index);
}

std::unique_ptr<TGXMemoryStream> TGXPackageReader::ExtractAt(int index) {
  const TGXPackageFile& f = FFiles[index];
  if (f.Size > int64_t(f.CompressedSize) * kMaxInflateRatio + 64)
    throw EGXPackageError(kGXCorruptPackageEntry + f.Name);
  TGXStream& s = Stream();
  s.SetPosition(f.Offset);
  std::vector<uint8_t> data;
  if (!Inflate(s, f.CompressedSize, f.Size, f.Size, data, FBuffer))
    throw EGXPackageError(kGXCorruptPackageEntry + f.Name);
  return std::make_unique<TGXMemoryStream>(std::move(data));
}

std::string TGXPackageReader::Verify(int index) {
  std::unique_ptr<TGXMemoryStream> data;
  try {
    data = ExtractAt(index);
  } catch (const EGXPackageError& e) {
    return e.what();
  }
  if (GXMD5(data->Memory(), data->Data().size()) != FFiles[index].Digest)
    return kGXCorruptPackageEntry + FFiles[index].Name + " (MD5)";
  return {};
}

// ---- writer ----

namespace {

std::string TempNameFor(const std::string& fileName) {
  size_t slash = fileName.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  return folder + "." + base + "." + RandomHex() + ".tmp";
}

std::unique_ptr<TGXStream> OpenTemp(const std::string& fileName, const std::string& tempName) {
  try {
    return std::make_unique<TGXFileStream>(tempName, TGXFileStream::Mode::CreateNew);
  } catch (const EGXFileOpenError&) {
    // The user knows the destination, not the temporary name.
    throw EGXFileOpenError("Datei kann nicht geöffnet werden: " + fileName);
  }
}

}  // namespace

TGXPackageWriter::TGXPackageWriter(const std::string& fileName) : TGXPackageWriter(fileName, TempNameFor(fileName)) {}

TGXPackageWriter::TGXPackageWriter(const std::string& fileName, const std::string& tempName)
    : TGXPackage(OpenTemp(fileName, tempName)), FFileName(fileName), FTempName(tempName) {
  Start();
}

TGXPackageWriter::TGXPackageWriter(std::unique_ptr<TGXStream> stream) : TGXPackage(std::move(stream)) { Start(); }

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
  if (FTempName.empty()) return;
  CloseStream();
  std::remove(FTempName.c_str());
  FTempName.clear();
}

int TGXPackageWriter::ZlibLevel(int levelCode) {
  switch (levelCode) {
    case 0: return 0;
    case 1: return 1;
    case 2: return Z_DEFAULT_COMPRESSION;
    case 3: return 9;
    default:
      if (levelCode >= 4 && levelCode <= 12) return levelCode - 3;
      throw EInvalidParameter({TGXExceptionArg::Object("TGXPackageWriter"), "AddFile", "Invalid level", levelCode});
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
    throw EInvalidCall({TGXExceptionArg::Object("TGXPackageWriter"), "AddFile", FFinished ? "Finished" : "Broken"});
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
    throw EInvalidCall({TGXExceptionArg::Object("TGXPackageWriter"), "Finish", FFinished ? "Finished" : "Broken"});
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
    if (!FFileName.empty()) static_cast<TGXFileStream&>(s).Sync();
  } catch (...) {
    Rollback(dirPos);
    throw;
  }
  if (!FFileName.empty()) {
    CloseStream();
    if (std::rename(FTempName.c_str(), FFileName.c_str()) != 0) {
      Abandon();
      FBroken = true;
      throw EGXStreamError("Datei kann nicht geschrieben werden: " + FFileName);
    }
    FTempName.clear();
  }
  FFinished = true;
}

}  // namespace gx
