#include "app/RRProjectSerializer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "app/RREntitySerializer.h"
#include "app/entities/RREntityGroup.h"
#include "app/entities/track/RRTrackParameters.h"
#include "engine/core/GXException.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXNode.h"
#include "tests/app/ProjectTestSupport.h"
#include "tests/app/entities/EntityTestSupport.h"

using namespace rr;
using prjtest::TFileDesc;
using rrtest::TBytes;

namespace {

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> out(size);
  compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
  out.resize(size);
  return out;
}

// Entity section of the current form around the given records, with any version.
std::vector<uint8_t> EntitySection(int32_t version, int32_t count, const std::vector<uint8_t>& records) {
  TBytes inner;
  inner.I32(count).Raw(records);
  TBytes b;
  b.U16(0x2305).Guid(RRGuidEntitySerializer).I32(version).Raw(Deflate(inner.Data));
  return b.Data;
}

// A project file written by hand: header, thumbnail block from version 9 on, three lists, the
// section, and an empty flat (version <= 9) or tree event section.
std::vector<uint8_t> ProjectFile(int32_t version, const std::vector<uint8_t>& section, bool thumbnailFlag = false,
                                 int32_t thumbnailSize = 0) {
  TBytes b;
  b.U16(0x2305).Guid(RRGuidProjectSerializer).I32(version);
  if (version >= 9) {
    b.U8(thumbnailFlag ? 1 : 0);
    if (thumbnailFlag) b.I32(thumbnailSize);
  }
  b.I32(1).Str("Hersteller").I32(0).I32(0);
  b.Raw(section);
  if (version <= 9) b.I32(0);
  else b.Str("Ereignisse").I32(77).U8(1).I32(0).I32(0).I32(0);
  return b.Data;
}

std::vector<uint8_t> Records(std::initializer_list<const TRREntityDescription*> list) {
  gx::TGXMemoryStream s;
  for (auto* d : list) TRREntityDescription::WriteRecord(*d, s);
  return s.Data();
}

std::string ReadError(const std::vector<uint8_t>& bytes) {
  gx::TGXMemoryStream s(bytes);
  TRRProjectSerializer ser(s);
  TRREntityDescriptionList list(true);
  try {
    ser.ReadProject("/tmp/x.vmp", nullptr, list);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(ProjectFile, EmptyProjectStartsWithTheFixedHeaderBytes) {
  gx::TGXNode root;
  gx::TGXMemoryStream s;
  prjtest::TEventStub events;
  TRRProjectSerializer(s).WriteProject(root, "/tmp/leer.vmp", {}, events, nullptr);
  const std::vector<uint8_t> expected = {
      0x05, 0x23,                                                                                     // header id
      0xC7, 0xB3, 0xE7, 0xC6, 0x2C, 0xD7, 0x51, 0x44, 0x8C, 0x41, 0x03, 0x23, 0x23, 0xE8, 0xF9, 0x0D,  // project
      0x0C, 0, 0, 0,                                                                                  // version 12
      0,                                                                                              // no thumbnail
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                                             // three lists
      0x05, 0x23,                                                                                     // entity section
      0x72, 0x6C, 0xA9, 0xF5, 0x1D, 0xCB, 0xCA, 0x46, 0x92, 0xF7, 0x4D, 0x4F, 0xF9, 0xE5, 0x99, 0x55,
      0x03, 0, 0, 0,                                                                                  // version 3
      0x78, 0xDA};                                                                                    // zlib, level 9
  ASSERT_GE(s.Data().size(), expected.size());
  EXPECT_EQ(std::vector<uint8_t>(s.Data().begin(), s.Data().begin() + static_cast<long>(expected.size())), expected);
  // The event section follows the compressed block directly.
  gx::TGXMemoryStream in(s.Data());
  TRRProjectSerializer reader(in);
  TRREntityDescriptionList list(true);
  reader.ReadProject("/tmp/leer.vmp", nullptr, list);
  EXPECT_EQ(list.Count(), 0);
  reader.ReadEvents(events);
  EXPECT_EQ(events.Loaded, events.Saved);
  EXPECT_EQ(events.LoadedVersion, 12);
}

TEST(ProjectFile, OlderVersionsAndTheirThumbnailFields) {
  prjtest::RegisterKinds();
  TFileDesc d;
  d.SetID(4);
  d.Name().SetUserText("Altbau");
  std::vector<uint8_t> section = EntitySection(1, 1, Records({&d}));

  for (int32_t version : {8, 9, 10, 11, 12}) {
    std::vector<uint8_t> file = ProjectFile(version, section, version == 9, 0);
    gx::TGXMemoryStream s(file);
    TRRProjectSerializer ser(s);
    TRREntityDescriptionList list(true);
    TRRTrackParameters lists{TRRTrackCatalogueSource()};
    lists.AddManufacturer("Andere", false);
    lists.AddManufacturer("hersteller", false);
    ser.ReadProject("/tmp/alt.vmp", &lists, list);
    ASSERT_EQ(list.Count(), 1) << version;
    EXPECT_EQ(list.Item(0)->Name().GetText(), "Altbau");
    // Added once, ignoring case, in sorted order.
    EXPECT_EQ(lists.Manufacturers().Items(), (std::vector<std::string>{"Andere", "hersteller"}));
    EXPECT_FALSE(ser.HasThumbnail());
    prjtest::TEventStub events;
    ser.ReadEvents(events);
    EXPECT_EQ(events.LoadedVersion, version);
    EXPECT_EQ(s.Position(), s.Size());
  }
  EXPECT_NE(ReadError(ProjectFile(13, section)).find("Wrong version"), std::string::npos);
  EXPECT_NE(ReadError(ProjectFile(7, section)).find("Wrong version"), std::string::npos);
  // An entity section of version 4 is not taken for the old form.
  EXPECT_NE(ReadError(ProjectFile(12, EntitySection(4, 0, {}))).find("TRREntitySerializer, ReadFileHeader, Wrong version"),
            std::string::npos);
  // A thumbnail size beyond the file is refused before anything is allocated.
  EXPECT_NE(ReadError(ProjectFile(12, section, true, 0x7FFFFFF0)).find("Stream-Lesefehler"), std::string::npos);
}

TEST(ProjectFile, RandomAndTruncatedBytesEndInOneClearError) {
  std::vector<uint8_t> random(4096);
  uint32_t x = 12345;
  for (auto& b : random) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
  EXPECT_EQ(ReadError(random), "Exception EGXException raised with args: TRRProjectSerializer, ReadFileHeader, Wrong header id");

  prjtest::RegisterKinds();
  TFileDesc d;
  d.SetID(1);
  d.Texture = {"/tmp/a.dds", "{00000000-0000-0000-0000-000000000001}\\a.dds"};
  std::vector<uint8_t> file = ProjectFile(12, EntitySection(3, 1, Records({&d})));
  // Every cut before the event section (31 bytes here, the event manager's to check) fails.
  for (size_t n = 0; n + 31 < file.size(); ++n) {
    std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(n));
    EXPECT_NE(ReadError(cut), "") << n;
  }
}

TEST(EntitySection, ZlibStreamEndsExactlyAndIsBounded) {
  std::vector<uint8_t> raw(100000, 'a');
  TBytes b;
  b.Raw(Deflate(raw)).Raw({1, 2, 3});
  gx::TGXMemoryStream s(b.Data);
  EXPECT_EQ(RRInflateBlock(s, "T"), raw);
  EXPECT_EQ(s.Remaining(), 3);

  gx::TGXMemoryStream bomb(Deflate(raw));
  try {
    RRInflateBlock(bomb, "T", 4096);
    FAIL();
  } catch (const gx::EGXException& e) {
    EXPECT_NE(std::string(e.what()).find(RRTextEntitySectionTooLarge), std::string::npos);
  }
  std::vector<uint8_t> corrupt = Deflate(raw);
  corrupt[5] ^= 0xFF;
  gx::TGXMemoryStream bad(corrupt);
  EXPECT_THROW(RRInflateBlock(bad, "T"), gx::EGXException);

  // A count beyond what the block holds is refused before anything is read.
  gx::TGXMemoryStream huge(EntitySection(3, 1000000, {}));
  TRREntityDescriptionList list(true);
  EXPECT_THROW(TRREntitySerializer(huge, "/tmp/x.vme").ReadAll(list), gx::EGXStreamReadError);
}

TEST(EntitySection, FileNamesAreStoredRelativeAndReadAgainstTheNewFolder) {
  prjtest::RegisterKinds();
  gx::TGXFileSystem fs;
  namespace fsys = std::filesystem;
  fsys::path base = fsys::temp_directory_path() / "velmora-relnames";
  fsys::remove_all(base);
  fsys::create_directories(base / "alt" / "Texturen");

  TFileDesc d;
  d.SetID(1);
  d.Texture = {(base / "alt" / "Texturen" / "Holz.dds").string(), ""};
  d.Model.Model = {(base / "alt" / "Haus.x").string(), ""};
  d.Model.Companions = {{(base / "Gemeinsam" / "Dach.dds").string(), ""}};
  d.Other = {"Game:\\{00000000-0000-0000-0000-000000000001}\\Box.gxmesh",
             "{00000000-0000-0000-0000-000000000001}\\Box.gxmesh"};
  std::string file = (base / "alt" / "Anlage.vme").string();
  gx::TGXMemoryStream s;
  {
    TRREntitySerializer w(s, file, &fs);
    w.BeginWrite(1);
    w.WriteDescription(d);
    w.EndWrite();
  }
  // The caller's description is unchanged.
  EXPECT_EQ(d.Texture.FileName, (base / "alt" / "Texturen" / "Holz.dds").string());
  EXPECT_EQ(d.Model.Model.FileName, (base / "alt" / "Haus.x").string());
  EXPECT_EQ(d.Model.Companions[0].FileName, (base / "Gemeinsam" / "Dach.dds").string());
  EXPECT_EQ(d.Other.FileName, "Game:\\{00000000-0000-0000-0000-000000000001}\\Box.gxmesh");

  // Stored form: relative with backslashes; names under a root stay as they are.
  s.SetPosition(22);
  gx::TGXMemoryStream block(RRInflateBlock(s, "T"));
  gx::ReadInteger(block);
  auto stored = TRREntityDescription::ReadRecord(block);
  auto& sd = static_cast<TFileDesc&>(*stored);
  EXPECT_EQ(sd.Texture.FileName, "Texturen\\Holz.dds");
  EXPECT_EQ(sd.Model.Model.FileName, "Haus.x");
  EXPECT_EQ(sd.Model.Companions[0].FileName, "..\\Gemeinsam\\Dach.dds");
  EXPECT_EQ(sd.Other.FileName, d.Other.FileName);

  // The folder moved elsewhere: names follow it.
  std::string moved = (base / "neu" / "tiefer" / "Anlage.vme").string();
  s.SetPosition(0);
  TRREntityDescriptionList list(true);
  TRREntitySerializer(s, moved, &fs).ReadAll(list);
  auto& rd = static_cast<TFileDesc&>(*list.Item(0));
  EXPECT_EQ(rd.Texture.FileName, (base / "neu" / "tiefer" / "Texturen" / "Holz.dds").string());
  EXPECT_EQ(rd.Model.Model.FileName, (base / "neu" / "tiefer" / "Haus.x").string());
  EXPECT_EQ(rd.Model.Companions[0].FileName, (base / "neu" / "Gemeinsam" / "Dach.dds").string());
  EXPECT_EQ(rd.Other.RelativeName, d.Other.RelativeName);

  // Version 2 made only asset file names relative; version 1 none.
  sd.SetID(1);
  for (int32_t version : {1, 2}) {
    gx::TGXMemoryStream v(EntitySection(version, 1, Records({&sd})));
    TRREntityDescriptionList l(true);
    TRREntitySerializer(v, moved, &fs).ReadAll(l);
    auto& vd = static_cast<TFileDesc&>(*l.Item(0));
    EXPECT_EQ(vd.Texture.FileName, version == 1 ? "Texturen\\Holz.dds" : rd.Texture.FileName);
    EXPECT_EQ(vd.Model.Model.FileName, "Haus.x");
  }
  fsys::remove_all(base);
}

TEST(EntitySection, OldFormFallsBackAndPrefixesOnlyRelativeNames) {
  gx::TGXFileSystem fs;
  EXPECT_EQ(TRREntitySerializer_10::RewriteFileName("Texturen\\a.bmp", "/daten/anlage/", &fs), "/daten/anlage/Texturen/a.bmp");
  EXPECT_EQ(TRREntitySerializer_10::RewriteFileName("/opt/modelle/a.x", "/daten/anlage/", &fs), "/opt/modelle/a.x");
  EXPECT_EQ(TRREntitySerializer_10::RewriteFileName("C:\\Modelle\\a.x", "/daten/anlage/", &fs), "C:\\Modelle\\a.x");
  EXPECT_EQ(TRREntitySerializer_10::RewriteFileName("game:\\Box.x", "/daten/anlage/", &fs), fs.ResolvePath("Game:\\Box.x"));

  // A static group (ID 5) holding a model node of a class without a description: the group
  // loads, the model node is dropped.
  auto hash = [](const char* n) { return gx::GXTextChecksum(n); };
  TBytes nodes;
  nodes.I32(1);
  nodes.I32(hash("TRRStaticGroup")).I32(2);
  nodes.I32(hash("TRREntityIDProperty")).Str("ID").I32(4).I32(5);
  nodes.I32(hash("TRREntityFilenameProperty")).Str("Datei").I32(6).Raw({'a', '.', 'b', 'm', 'p', 0});
  nodes.I32(1);
  nodes.I32(hash("TRRCameraTarget")).I32(0).I32(0);
  TBytes section;
  section.U16(0x2305).Guid(RRGuidEntitySerializer_10).I32(65536).Raw(Deflate(nodes.Data)).Raw({9, 9});

  gx::TGXMemoryStream s(section.Data);
  TRREntitySerializer_10 old(s, "/daten/anlage/alt.vmp", &fs);
  auto read = old.ReadNodes();
  ASSERT_EQ(read.size(), 1u);
  std::string name;
  read[0]->GetFilename("Datei", name);
  EXPECT_EQ(name, "/daten/anlage/a.bmp");
  EXPECT_EQ(s.Remaining(), 2);

  s.SetPosition(0);
  TRREntityDescriptionList list(true);
  TRREntitySerializer(s, "/daten/anlage/alt.vmp", &fs).ReadAll(list);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_TRUE(list.Item(0)->Is<TRREntityGroupDesc>());
  EXPECT_EQ(list.Item(0)->ID(), 5);
  EXPECT_EQ(list.Item(0)->ChildCount(), 0);
}
