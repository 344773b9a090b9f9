#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/core/GXException.h"
#include "engine/core/GXPackage.h"
#include "engine/core/GXSerialization.h"

using namespace gx;
namespace fs = std::filesystem;

namespace {

TGXMemoryStream Text(const std::string& s) {
  return TGXMemoryStream(std::vector<uint8_t>(s.begin(), s.end()));
}

std::string Content(TGXStream& s) {
  std::string out(static_cast<size_t>(s.Size()), '\0');
  s.SetPosition(0);
  s.ReadBuffer(out.data(), s.Size());
  return out;
}

// A package in memory with the three entries of the directory-order example.
std::vector<uint8_t> SamplePackage() {
  TGXMemoryStream archive;
  {
    TGXPackageWriter w(archive);
    auto b = Text("bbbb"), a = Text("Hallo Welt"), d = Text(std::string(1000, 'd'));
    w.AddFile(b, "b.dds");
    w.AddFile(a, "A.txt", 0);
    w.AddFile(d, " c\\..\\d.png ", 12);
    w.Finish();
  }
  return archive.Data();
}

int32_t ReadInt32At(const std::vector<uint8_t>& data, size_t pos) {
  return static_cast<int32_t>(data[pos] | data[pos + 1] << 8 | data[pos + 2] << 16 |
                              uint32_t(data[pos + 3]) << 24);
}

// Rebuilds the trailing directory of a package with a forged content (for the hostile cases).
std::vector<uint8_t> WithDirectory(std::vector<uint8_t> package, const std::vector<uint8_t>& directory) {
  size_t dirPos = static_cast<size_t>(ReadInt32At(package, package.size() - 4));
  package.resize(dirPos);
  uLongf len = compressBound(directory.size());
  std::vector<uint8_t> packed(len);
  compress2(packed.data(), &len, directory.data(), directory.size(), 9);
  package.insert(package.end(), packed.begin(), packed.begin() + len);
  for (int i = 0; i < 4; ++i) package.push_back(static_cast<uint8_t>(dirPos >> (8 * i)));
  return package;
}

std::string ReaderError(std::vector<uint8_t> bytes) {
  TGXMemoryStream s(std::move(bytes));
  try {
    TGXPackageReader r(s);
    for (int i = 0; i < r.FileCount(); ++i) r.ExtractAt(i);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

// A stream that only counts: a package that starts just below 2 GiB without writing gigabytes.
class TFarStream : public TGXStream {
 public:
  explicit TFarStream(int64_t start) : FPos(start), FSize(start) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    FPos += count;
    FSize = std::max(FSize, FPos);
    return count;
  }
  int64_t Seek(int64_t offset, TGXSeekOrigin origin) override {
    FPos = (origin == TGXSeekOrigin::Begin ? 0 : origin == TGXSeekOrigin::Current ? FPos : FSize) + offset;
    return FPos;
  }
  int64_t Size() const override { return FSize; }
  void SetSize(int64_t size) override { FSize = size; }

 private:
  int64_t FPos, FSize;
};

class TTempDir {
 public:
  TTempDir() {
    std::string templ = (fs::temp_directory_path() / "gxpackage-XXXXXX").string();
    FPath = mkdtemp(templ.data());
  }
  ~TTempDir() { fs::remove_all(FPath); }
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(FPath)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string FPath;
};

}  // namespace

TEST(GXPackage, CanonicalNamesStayInsideThePackage) {
  EXPECT_EQ(TGXPackage::CanonicalName(" c\\..\\d.png "), "d.png");
  EXPECT_EQ(TGXPackage::CanonicalName("a\\.\\b\\\\c.txt"), "a\\b\\c.txt");
  EXPECT_EQ(TGXPackage::CanonicalName("..\\..\\x"), "x");
  EXPECT_EQ(TGXPackage::CanonicalName("a/../../b/x"), "b\\x");
  EXPECT_EQ(TGXPackage::CanonicalName("Texturen/Gleis.DDS"), "Texturen\\Gleis.DDS");
  EXPECT_EQ(TGXPackage::CanonicalName(".."), "");
  // Segments dropped at the front must not leave blanks or a new "." behind (found by fuzzing:
  // a stored name that its own lookup could not find).
  EXPECT_EQ(TGXPackage::CanonicalName(".\\ x"), "x");
  EXPECT_EQ(TGXPackage::CanonicalName("\\ .\\x"), "x");
  EXPECT_EQ(TGXPackage::CanonicalName("a\\..\\ \t"), "");
}

TEST(GXPackage, DirectoryOrderAndByteLayout) {
  std::vector<uint8_t> data = SamplePackage();
  ASSERT_GE(data.size(), 20u);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 16, TGXPackage::Signature()));

  // The entries follow the signature in the order they were added, each one zlib stream.
  TGXMemoryStream s(data);
  TGXPackageReader r(s);
  ASSERT_EQ(r.FileCount(), 3);
  EXPECT_EQ(r.FileName(0), "A.txt");
  EXPECT_EQ(r.FileName(1), "b.dds");
  EXPECT_EQ(r.FileName(2), "d.png");
  const TGXPackageFile& b = r.File(1);
  const TGXPackageFile& a = r.File(0);
  const TGXPackageFile& d = r.File(2);
  EXPECT_EQ(b.Offset, 16);
  EXPECT_EQ(a.Offset, b.Offset + b.CompressedSize);
  EXPECT_EQ(d.Offset, a.Offset + a.CompressedSize);
  EXPECT_EQ(a.Size, 10);
  EXPECT_EQ(a.CompressedSize, 10 + 11);  // stored: zlib header, one stored block, Adler-32
  EXPECT_EQ(data[b.Offset], 0x78);
  EXPECT_EQ(data[b.Offset + 1], 0xDA);  // level 9
  EXPECT_EQ(d.Size, 1000);
  EXPECT_EQ(GXDigestToHex(a.Digest), GXDigestToHex(GXMD5("Hallo Welt")));

  // Directory: level-9 zlib stream right after the data, trailer points at it.
  int32_t dirPos = ReadInt32At(data, data.size() - 4);
  EXPECT_EQ(dirPos, d.Offset + d.CompressedSize);
  EXPECT_EQ(data[dirPos], 0x78);
  EXPECT_EQ(data[dirPos + 1], 0xDA);
  std::vector<uint8_t> dir(4096);
  uLongf len = dir.size();
  ASSERT_EQ(uncompress(dir.data(), &len, data.data() + dirPos, data.size() - 4 - dirPos), Z_OK);
  dir.resize(len);
  TGXMemoryStream ds(dir);
  EXPECT_EQ(ReadInteger(ds), 3);
  EXPECT_EQ(ReadInteger(ds), 10);  // "A.txt" in UTF-16LE
  EXPECT_EQ(ReadWideString((ds.Seek(-4, TGXSeekOrigin::Current), ds)), "A.txt");
  EXPECT_EQ(ReadInteger(ds), a.Offset);
  EXPECT_EQ(ReadInteger(ds), 10);
  EXPECT_EQ(ReadInteger(ds), a.CompressedSize);
  uint8_t digest[16];
  ds.ReadBuffer(digest, 16);
  EXPECT_TRUE(std::equal(digest, digest + 16, a.Digest.begin()));
  EXPECT_EQ(ReadWideString(ds), "b.dds");
  EXPECT_EQ(static_cast<int64_t>(dir.size()), 4 + 3 * (4 + 4 + 4 + 4 + 16) + 2 * (5 + 5 + 5));
}

TEST(GXPackage, LookupIgnoresCaseAndDotSegments) {
  TGXMemoryStream s(SamplePackage());
  TGXPackageReader r(s);
  EXPECT_EQ(r.IndexOf("A.TXT"), 0);
  EXPECT_TRUE(r.Contains("x\\..\\a.txt"));
  EXPECT_TRUE(r.Contains(".\\B.DDS"));
  EXPECT_FALSE(r.Contains("c.png"));
  auto e = r.Extract("x\\..\\A.TXT");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Position(), 0);
  EXPECT_EQ(Content(*e), "Hallo Welt");
  EXPECT_EQ(Content(*r.Extract("d.png")), std::string(1000, 'd'));
  EXPECT_EQ(r.Extract("nothing"), nullptr);
  EXPECT_EQ(r.Verify(2), "");
}

TEST(GXPackage, EmptyPackageAndWriterRules) {
  TGXMemoryStream archive;
  {
    TGXPackageWriter w(archive);
    w.Finish();
    EXPECT_THROW(w.Finish(), EInvalidCall);
  }
  // Signature, the compressed count 0, the trailer.
  uint8_t zero[4] = {};
  uLongf len = 64;
  std::vector<uint8_t> packed(len);
  compress2(packed.data(), &len, zero, 4, 9);
  EXPECT_EQ(archive.Size(), static_cast<int64_t>(16 + len + 4));
  archive.SetPosition(0);
  EXPECT_EQ(TGXPackageReader(archive).FileCount(), 0);

  TGXMemoryStream out;
  TGXPackageWriter w(out);
  auto src = Text("x");
  w.AddFile(src, "Ordner\\Datei.txt");
  int64_t size = out.Size();
  try {
    w.AddFile(src, "ordner/./DATEI.TXT");
    FAIL();
  } catch (const EGXPackageError& e) {
    EXPECT_STREQ(e.what(), "File already exists.");
  }
  EXPECT_EQ(out.Size(), size);  // nothing written for the duplicate
  EXPECT_THROW(w.AddFile(src, " .. "), EGXPackageError);
  EXPECT_THROW(w.AddFile(src, std::string(261, 'x')), EGXPackageError);
  EXPECT_THROW(w.AddFile(src, "y", 13), EInvalidParameter);
  w.AddFile(src, std::string(260, 'x'));

  EXPECT_EQ(TGXPackageWriter::ZlibLevel(0), 0);
  EXPECT_EQ(TGXPackageWriter::ZlibLevel(2), Z_DEFAULT_COMPRESSION);
  EXPECT_EQ(TGXPackageWriter::ZlibLevel(3), 9);
  EXPECT_EQ(TGXPackageWriter::ZlibLevel(4), 1);
  EXPECT_EQ(TGXPackageWriter::ZlibLevel(12), 9);
}

TEST(GXPackage, WriterRefusesToPassTwoGiB) {
  // Writing starts 300 bytes before the limit: one small entry fits, a second does not and is
  // cut off again, and the directory must still fit before Finish succeeds.
  TFarStream far(TGXPackage::MaxPackageSize - 300);
  TGXPackageWriter w(far);
  auto small = Text("kurz");
  w.AddFile(small, "a");
  int64_t afterFirst = far.Size();
  std::string noise;
  for (int i = 0; i < 400; ++i) noise += static_cast<char>((i * 7919) % 251);
  auto big = Text(noise);
  try {
    w.AddFile(big, "b", 0);
    FAIL();
  } catch (const EGXPackageError& e) {
    EXPECT_STREQ(e.what(), "Package would exceed 2 GiB.");
  }
  EXPECT_EQ(far.Size(), afterFirst);
  EXPECT_EQ(w.FileCount(), 1);
  w.Finish();
  EXPECT_LE(far.Size(), TGXPackage::MaxPackageSize);

  TFarStream beyond(TGXPackage::MaxPackageSize - 10);
  EXPECT_THROW(TGXPackageWriter{beyond}, EGXPackageError);
}

TEST(GXPackage, FileWriterReplacesTheDestinationOnlyWhenFinished) {
  TTempDir dir;
  std::string dest = dir / "Basis.vma";
  {
    // A named temporary file, so that it can be seen in the folder.
    TGXAtomicFile::SetUnnamedAllowed(false);
    std::ofstream(dest) << "old";
    TGXPackageWriter w(dest);
    TGXAtomicFile::SetUnnamedAllowed(true);
    auto src = Text("neu");
    w.AddFile(src, "neu.txt");
    EXPECT_EQ(dir.Files().size(), 2u);  // the old file and the temporary one
    // Abandoned: the old file stays, the temporary one goes.
  }
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"Basis.vma"});
  {
    std::ifstream in(dest);
    std::string s;
    in >> s;
    EXPECT_EQ(s, "old");
  }
  {
    TGXPackageWriter w(dest);
    auto src = Text("neu");
    w.AddFile(src, "neu.txt");
    w.Finish();
  }
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"Basis.vma"});
  TGXPackageReader r(dest);
  EXPECT_EQ(Content(*r.Extract("NEU.TXT")), "neu");

  EXPECT_THROW(TGXPackageWriter(dir / "fehlt/x.vma"), EGXFileOpenError);
  EXPECT_THROW(TGXPackageReader(dir / "fehlt.vma"), EGXFileOpenError);
}

TEST(GXPackage, DamagedArchivesGiveClearErrors) {
  std::vector<uint8_t> good = SamplePackage();
  const std::string directory = "Corrupt package directory.";

  // The signature is checked before anything else.
  auto wrong = good;
  wrong[3] ^= 0xFF;
  EXPECT_EQ(ReaderError(wrong), "Wrong package signature.");
  EXPECT_EQ(ReaderError({0xC5, 0x04}), "Wrong package signature.");
  EXPECT_EQ(ReaderError(std::vector<uint8_t>(good.begin(), good.begin() + 16)), directory);

  // Trailer pointing outside the file, into the signature, or at garbage.
  for (int32_t pos : {-1, 0, 15, static_cast<int32_t>(good.size()), INT32_MAX, 20}) {
    auto bad = good;
    for (int i = 0; i < 4; ++i) bad[bad.size() - 4 + i] = static_cast<uint8_t>(pos >> (8 * i));
    EXPECT_EQ(ReaderError(bad), directory) << pos;
  }
  // Truncated directory stream, a damaged one (Adler-32), and records followed by stray bytes.
  auto truncated = good;
  truncated.erase(truncated.end() - 8, truncated.end() - 4);
  EXPECT_EQ(ReaderError(truncated), directory);
  auto flippedDir = good;
  flippedDir[flippedDir.size() - 6] ^= 0x01;
  EXPECT_EQ(ReaderError(flippedDir), directory);
  int32_t dirPos = ReadInt32At(good, good.size() - 4);
  std::vector<uint8_t> raw(4096);
  uLongf rawLen = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &rawLen, good.data() + dirPos, good.size() - 4 - dirPos), Z_OK);
  raw.resize(rawLen);
  EXPECT_EQ(ReaderError(WithDirectory(good, raw)), "");
  raw.push_back(0);
  EXPECT_EQ(ReaderError(WithDirectory(good, raw)), directory);

  // Forged directories: counts and lengths that the data cannot hold, entries outside the data.
  auto entry = [](std::vector<uint8_t>& d, int32_t nameBytes, int32_t offset, int32_t size, int32_t csize) {
    TGXMemoryStream s(d);
    s.Seek(0, TGXSeekOrigin::End);
    WriteInteger(s, nameBytes);
    for (int i = 0; i < std::max(0, std::min(nameBytes, 600)); ++i) WriteByte(s, i % 2 ? 0 : 'x');
    WriteInteger(s, offset), WriteInteger(s, size), WriteInteger(s, csize);
    for (int i = 0; i < 16; ++i) WriteByte(s, 0);
    d = s.Data();
  };
  auto count = [](int32_t n) {
    return std::vector<uint8_t>{uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(uint32_t(n) >> 24)};
  };
  EXPECT_EQ(ReaderError(WithDirectory(good, count(-1))), directory);
  EXPECT_EQ(ReaderError(WithDirectory(good, count(INT32_MAX))), directory);
  EXPECT_EQ(ReaderError(WithDirectory(good, count(2))), directory);  // no records
  struct Forged {
    int32_t NameBytes, Offset, Size, CompressedSize;
  };
  for (Forged f :
       {Forged{-2, 16, 1, 9}, Forged{3, 16, 1, 9}, Forged{600, 16, 1, 9}, Forged{0, 16, 1, 9},
        Forged{2, 0, 1, 9}, Forged{2, 16, -1, 9}, Forged{2, 16, 1, -9}, Forged{2, 16, 1, INT32_MAX}}) {
    auto d = count(1);
    entry(d, f.NameBytes, f.Offset, f.Size, f.CompressedSize);
    EXPECT_EQ(ReaderError(WithDirectory(good, d)), directory) << f.NameBytes << " " << f.Offset;
  }

  // Entries whose data does not match the directory: the error names the entry.
  TGXMemoryStream s(good);
  TGXPackageReader r(s);
  TGXPackageFile d = r.File(2);  // "d.png", 1000 bytes
  auto lie = [&](int32_t size, int32_t csize) {
    auto dir = count(1);
    TGXMemoryStream ds(dir);
    ds.Seek(0, TGXSeekOrigin::End);
    WriteWideString(ds, "d.png");
    WriteInteger(ds, d.Offset), WriteInteger(ds, size), WriteInteger(ds, csize);
    ds.WriteBuffer(d.Digest.data(), 16);
    return ReaderError(WithDirectory(good, ds.Data()));
  };
  const std::string bad = "Corrupt package entry: d.png";
  EXPECT_EQ(lie(d.Size, d.CompressedSize), "");
  EXPECT_EQ(lie(999, d.CompressedSize), bad);         // inflates to more
  EXPECT_EQ(lie(1001, d.CompressedSize), bad);        // inflates to less
  EXPECT_EQ(lie(d.Size, d.CompressedSize - 3), bad);  // stream ends early
  EXPECT_EQ(lie(INT32_MAX, d.CompressedSize), bad);   // more than deflate can expand to

  auto flipped = good;
  flipped[r.File(0).Offset + 9] ^= 0x55;  // inside the stored data of A.txt: Adler-32 fails
  EXPECT_EQ(ReaderError(flipped), "Corrupt package entry: A.txt");
}

TEST(GXPackage, VerifyFindsDigestMismatch) {
  std::vector<uint8_t> data = SamplePackage();
  TGXMemoryStream s(data);
  TGXPackageReader r(s);
  // Rewrite the directory with a wrong digest for b.dds.
  TGXMemoryStream dir;
  WriteInteger(dir, 1);
  WriteWideString(dir, "b.dds");
  WriteInteger(dir, r.File(1).Offset), WriteInteger(dir, r.File(1).Size),
      WriteInteger(dir, r.File(1).CompressedSize);
  TGXDigest wrongDigest{};
  dir.WriteBuffer(wrongDigest.data(), 16);
  TGXMemoryStream forged(WithDirectory(data, dir.Data()));
  TGXPackageReader fr(forged);
  EXPECT_EQ(fr.Verify(0), "Corrupt package entry: b.dds (MD5)");
  EXPECT_EQ(Content(*fr.ExtractAt(0)), "bbbb");  // reading does not check the digest
}

namespace {

// A directory of the given records (names as UTF-8, may hold a NUL).
std::vector<uint8_t> DirectoryOf(const std::vector<TGXPackageFile>& files) {
  TGXMemoryStream d;
  WriteInteger(d, static_cast<int32_t>(files.size()));
  for (const TGXPackageFile& f : files) {
    WriteWideString(d, f.Name);
    WriteInteger(d, f.Offset), WriteInteger(d, f.Size), WriteInteger(d, f.CompressedSize);
    d.WriteBuffer(f.Digest.data(), 16);
  }
  return d.Data();
}

TGXPackageFile Renamed(TGXPackageFile f, std::string name) {
  f.Name = std::move(name);
  return f;
}
TGXPackageFile Longer(TGXPackageFile f) {
  ++f.CompressedSize;
  return f;
}

// Reads zeros up to a size, without holding them.
class TZeroStream : public TGXStream {
 public:
  explicit TZeroStream(int64_t size) : FSize(size) {}
  int64_t Read(void* buffer, int64_t count) override {
    int64_t n = std::max<int64_t>(0, std::min(count, FSize - FPos));
    std::memset(buffer, 0, static_cast<size_t>(n));
    FPos += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TGXSeekOrigin origin) override {
    FPos = (origin == TGXSeekOrigin::Begin ? 0 : origin == TGXSeekOrigin::Current ? FPos : FSize) + offset;
    return FPos;
  }
  int64_t Size() const override { return FSize; }

 private:
  int64_t FSize, FPos = 0;
};

// Peak resident memory since the last reset, in KiB (VmHWM; writing 5 to clear_refs resets it).
int64_t PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6);
  return -1;
}
void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace

TEST(GXPackage, ReaderRefusesDirectoriesNoWriterMakes) {
  std::vector<uint8_t> good = SamplePackage();
  TGXMemoryStream s(good);
  TGXPackageReader r(s);
  const TGXPackageFile a = r.File(0), b = r.File(1), d = r.File(2);
  TGXPackageFile inside = b;  // a short stream starting inside b's bytes
  inside.Offset = b.Offset + 2;
  inside.CompressedSize = 8;
  struct Case {
    const char* What;
    std::vector<TGXPackageFile> Files;
    bool Refused;
  };
  const Case cases[] = {
      {"the sample as written", {a, b, d}, false},
      {"same name ignoring case", {a, Renamed(b, "a.TXT")}, true},
      {"same name once canonical", {a, Renamed(b, "x\\..\\A.txt")}, true},
      {"same name with folded Latin letters", {Renamed(a, "Ä.txt"), Renamed(b, "ä.TXT")}, true},
      {"names differing in more than case", {a, Renamed(b, "a.txt2")}, false},
      {"NUL inside a name", {Renamed(a, std::string("A\0.txt", 6))}, true},
      {"NUL at the end of a name", {Renamed(a, std::string("A.txt\0", 6))}, true},
      {"two entries on the same bytes", {a, Renamed(a, "zweite.txt")}, true},
      {"a stream starting inside another", {b, Renamed(inside, "x")}, true},
      {"a stream reaching into the next", {Longer(b), a}, true},
      {"adjacent streams", {b, a}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReaderError(WithDirectory(good, DirectoryOf(c.Files))),
              c.Refused ? "Corrupt package directory." : "")
        << c.What;
}

TEST(GXPackage, StatedSizesAboveTheCapsAreRefusedBeforeInflating) {
  // One incompressible entry of 1.1 MB, stored: deflate could expand that many bytes past 1 GiB,
  // so only the cap refuses a size just above it.
  std::string noise(1100000, '\0');
  uint32_t x = 12345;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  TGXMemoryStream archive;
  {
    TGXPackageWriter w(archive);
    auto src = Text(noise), info = Text(std::string(1000, 'i'));
    w.AddFile(src, "gross.bin", 0);
    w.AddFile(info, "Info.dat");
    w.Finish();
  }
  std::vector<uint8_t> good = archive.Data();
  TGXMemoryStream gs(good);
  TGXPackageReader gr(gs);
  TGXPackageFile big = gr.File(0);
  ASSERT_EQ(big.Name, "gross.bin");
  ASSERT_GT(int64_t(big.CompressedSize) * 1032, TGXPackage::MaxEntrySize);

  for (int64_t size : {TGXPackage::MaxEntrySize + 1, int64_t(INT32_MAX)}) {
    big.Size = static_cast<int32_t>(size);
    TGXMemoryStream s(WithDirectory(good, DirectoryOf({big, gr.File(1)})));
    TGXPackageReader r(s);  // the directory itself is sound: the other entry stays readable
    EXPECT_EQ(r.Verify(1), "");
    try {
      r.ExtractAt(0);
      ADD_FAILURE() << size;
    } catch (const EGXPackageError& e) {
      EXPECT_STREQ(e.what(), "Corrupt package entry: gross.bin");
    }
    EXPECT_EQ(r.Verify(0), "Corrupt package entry: gross.bin");
    TGXMemoryStream sink;
    EXPECT_THROW(r.ExtractTo(0, sink), EGXPackageError);
    EXPECT_EQ(sink.Size(), 0);
  }

  // A caller's own smaller cap (the catalogue entry's) refuses before inflating too.
  EXPECT_EQ(gr.Extract("info.dat", 1000)->Size(), 1000);
  try {
    gr.Extract("info.dat", 999);
    FAIL();
  } catch (const EGXPackageError& e) {
    EXPECT_STREQ(e.what(), "Corrupt package entry: Info.dat");
  }
}

TEST(GXPackage, VerifyAndExtractToStreamInBoundedMemory) {
  // 256 MB of zeros deflate to about 256 KB: checking must not hold the entry.
  constexpr int64_t kSize = 256ll << 20;
  TGXMemoryStream archive;
  {
    TGXPackageWriter w(archive);
    TZeroStream zeros(kSize);
    w.AddFile(zeros, "null.bin", 1);
    auto tail = Text("Ende");
    w.AddFile(tail, "tail.txt");
    w.Finish();
  }
  TGXMemoryStream s(archive.Data());
  TGXPackageReader r(s);
  ASSERT_EQ(r.File(0).Size, kSize);

  ResetPeakResident();
  int64_t before = PeakResidentKiB();
  ASSERT_GT(before, 0);
  EXPECT_EQ(r.Verify(0), "");
  struct TCounting : TGXStream {
    int64_t Written = 0;
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t n) override { return Written += n, n; }
    int64_t Seek(int64_t, TGXSeekOrigin) override { return Written; }
    int64_t Size() const override { return Written; }
  } sink;
  r.ExtractTo(0, sink);
  EXPECT_EQ(sink.Written, kSize);
  EXPECT_LT(PeakResidentKiB() - before, 64 * 1024) << "KiB above the start";

  // Damage is found in the streamed path as in the whole one: a stated size one byte off.
  TGXPackageFile f = r.File(0);
  for (int32_t size : {f.Size - 1, f.Size + 1}) {
    TGXPackageFile lie = f;
    lie.Size = size;
    std::vector<uint8_t> bytes(s.Data());
    TGXMemoryStream forged(WithDirectory(bytes, DirectoryOf({lie, r.File(1)})));
    TGXPackageReader fr(forged);
    EXPECT_EQ(fr.Verify(0), "Corrupt package entry: null.bin") << size;
    EXPECT_EQ(fr.Verify(1), "");
  }
}
